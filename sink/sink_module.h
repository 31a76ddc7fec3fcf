// The sink library's module record and its lock count: the library may be
// unloaded only while no Sink, no outside class factory reference and no server
// lock exists.
#pragma once
#include "atlbase.h"

extern _ATL_MODULE _Module;

void LockModule();
void UnlockModule();
LONG ModuleLockCount();
