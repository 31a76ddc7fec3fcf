// In-process servers registered in the machine registry: a class's
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 names the shared library that
// serves it. Each library is loaded once per process and stays loaded until
// CoFreeUnusedLibraries finds that it may be unloaded.
#pragma once
#include "unknwn.h"

namespace platform::com {

// Loads (once) the library registered for `clsid` and returns an added reference
// to its class factory. REGDB_E_CLASSNOTREG when the class is not registered,
// CO_E_DLLNOTFOUND when its library cannot be loaded or lacks DllGetClassObject.
HRESULT LoadInprocServerClass(REFCLSID clsid, IClassFactory** factory);

}  // namespace platform::com
