// The component runtime: creating objects by class identifier.
#pragma once
#include "oaidl.h"
#include "objidl.h"
#include "oleauto.h"
#include "unknwn.h"

enum CLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
};
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

enum COINIT { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };

STDAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
EXTERN_C void STDAPICALLTYPE CoUninitialize();
STDAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID iid, LPVOID* result);
STDAPI CoGetClassObject(REFCLSID clsid, DWORD clsContext, LPVOID serverInfo, REFIID iid, LPVOID* result);
STDAPI CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
STDAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
STDAPI OleRun(LPUNKNOWN object);
EXTERN_C void STDAPICALLTYPE CoFreeUnusedLibraries();
