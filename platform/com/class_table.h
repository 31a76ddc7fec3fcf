// The process's class table: the classes CoCreateInstance and CoGetClassObject can
// create. The platform's own classes are in it from the first lookup; a class the
// table does not hold is looked for with LocateRegisteredClass.
#pragma once
#include <span>

#include "unknwn.h"

namespace platform::com {

// Makes `clsid` creatable through `factory` in this process. The table keeps one
// reference to the factory; registering a class again replaces the old factory.
HRESULT RegisterClassFactory(REFCLSID clsid, IClassFactory* factory);

// Takes a class out of the table and releases its factory. S_FALSE when it was not there.
HRESULT RevokeClassFactory(REFCLSID clsid);

// Returns an added reference to the class's factory: from the table, else from
// LocateRegisteredClass. REGDB_E_CLASSNOTREG when neither knows the class.
HRESULT GetClassFactory(REFCLSID clsid, IClassFactory** factory);

// Finds a class outside the table (classes registered in the machine registry).
// Returns S_OK with an added reference to the factory, or a failure status.
HRESULT LocateRegisteredClass(REFCLSID clsid, IClassFactory** factory);

// The platform's own classes, put in the table before its first use. `factory`
// returns an added reference to the class's factory.
struct BuiltinClass {
    CLSID clsid;
    IClassFactory* (*factory)();
};
std::span<const BuiltinClass> BuiltinClasses();

}  // namespace platform::com
