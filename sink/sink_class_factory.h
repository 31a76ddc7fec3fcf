// The Sink class factory: one per process, cached by the module. The module's
// reference is the first; only references beyond it hold the module lock.
#pragma once
#include "atlbase.h"

// The class table's factory creator: `creator` is the object creator to use.
HRESULT WINAPI CreateSinkClassFactory(void* creator, REFIID riid, LPVOID* ppv);
