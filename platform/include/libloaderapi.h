// Modules: loading shared libraries, their file names and the resources they
// carry. A module handle is the address the module is loaded at. Resources are
// found by type and identifier (an integer made with MAKEINTRESOURCE, or a name).
#pragma once
#include "windef.h"

typedef struct HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;
typedef LONG_PTR(WINAPI* FARPROC)();

#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)(WORD)(i))
#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)(WORD)(i))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4

EXTERN_C HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
EXTERN_C HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
EXTERN_C BOOL WINAPI FreeLibrary(HMODULE module);
EXTERN_C FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, `name` is an address inside the module.
EXTERN_C BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module);
// The module's full path; a null module is the program itself.
EXTERN_C DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
EXTERN_C DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
EXTERN_C BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);
// The text of the last failed LoadLibrary in this thread, for messages.
EXTERN_C LPCSTR WINAPI GetLastLoadLibraryError();

EXTERN_C HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
EXTERN_C HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
EXTERN_C HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
EXTERN_C LPVOID WINAPI LockResource(HGLOBAL data);
EXTERN_C DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);

// A shared library's entry point: `entry` (a DllMain) runs with process attach
// when the library is loaded and with process detach when it is unloaded.
#define DECLARE_DLL_ENTRY_POINT(entry)                                                                            \
    namespace {                                                                                                   \
    HMODULE dllEntryModule() {                                                                                    \
        HMODULE module = nullptr;                                                                                 \
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, \
                           reinterpret_cast<LPCWSTR>(&dllEntryModule), &module);                                  \
        return module;                                                                                            \
    }                                                                                                             \
    __attribute__((constructor)) void dllEntryAttach() { entry(dllEntryModule(), DLL_PROCESS_ATTACH, nullptr); }  \
    __attribute__((destructor)) void dllEntryDetach() { entry(dllEntryModule(), DLL_PROCESS_DETACH, nullptr); }   \
    }
