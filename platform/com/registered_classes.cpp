// Classes outside the process's class table. The hive's HKEY_CLASSES_ROOT\CLSID
// entries (InprocServer32) are not consulted yet, so only the table's classes exist.
#include "class_table.h"

namespace platform::com {

HRESULT LocateRegisteredClass(REFCLSID clsid, IClassFactory** factory) {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    return REGDB_E_CLASSNOTREG;
}

}  // namespace platform::com
