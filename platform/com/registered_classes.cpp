// Classes outside the process's class table: those registered in the hive under
// HKEY_CLASSES_ROOT\CLSID with an InprocServer32 library.
#include "class_table.h"
#include "inproc_servers.h"

namespace platform::com {

HRESULT LocateRegisteredClass(REFCLSID clsid, IClassFactory** factory) { return LoadInprocServerClass(clsid, factory); }

}  // namespace platform::com
