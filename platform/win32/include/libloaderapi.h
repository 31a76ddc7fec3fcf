// The platform's module services, and the library entry point as Windows calls
// it: DllMain, which the C runtime's start-up code of a DLL calls by that name.
// Windows build only; the Linux build turns the same declaration into ELF
// constructor and destructor.
#pragma once
#include_next <libloaderapi.h>

#define DECLARE_DLL_ENTRY_POINT(entry)                                                  \
    namespace {                                                                         \
    constexpr BOOL(WINAPI* dllEntryPoint)(HINSTANCE, DWORD, LPVOID) = &entry;           \
    }                                                                                   \
    extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { \
        return dllEntryPoint(instance, reason, reserved);                               \
    }
