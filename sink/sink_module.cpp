// The module record and its lock count, apart from the exports that read them,
// so that the objects which lock the module include nothing above themselves.
#include "sink_module.h"

_ATL_MODULE _Module;

void LockModule() { InterlockedIncrement(&_Module.m_nLockCnt); }
void UnlockModule() { InterlockedDecrement(&_Module.m_nLockCnt); }
LONG ModuleLockCount() { return __atomic_load_n(&_Module.m_nLockCnt, __ATOMIC_SEQ_CST); }
