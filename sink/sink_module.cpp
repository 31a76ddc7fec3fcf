// The module record and its lock count, apart from the exports that read them,
// so that the objects which lock the module include nothing above themselves.
#include "sink_module.h"

#include <cassert>

_ATL_MODULE _Module;

void LockModule() { InterlockedIncrement(&_Module.m_nLockCnt); }
void UnlockModule() {
    LONG count = InterlockedDecrement(&_Module.m_nLockCnt);
    assert(count >= 0 && "the module unlocked more often than locked");
    (void)count;
}
LONG ModuleLockCount() { return __atomic_load_n(&_Module.m_nLockCnt, __ATOMIC_SEQ_CST); }
