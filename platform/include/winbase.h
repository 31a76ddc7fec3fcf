// Kernel services: interlocked counts, critical sections, the system time, handles
// and the code page conversions. The ANSI code page (CP_ACP) is UTF-8 here; ASCII
// converts unchanged either way.
#pragma once
#include "windef.h"

inline LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }

// Opaque storage for a recursive lock, like the platform's record.
typedef struct _RTL_CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

EXTERN_C void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
EXTERN_C void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);
EXTERN_C void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
EXTERN_C void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);

EXTERN_C void WINAPI GetSystemTimeAsFileTime(LPFILETIME time);

// Closes a handle made by the platform layer (a registry transaction, say).
EXTERN_C BOOL WINAPI CloseHandle(HANDLE handle);
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008

// Return the count of characters (or bytes) written, or needed when the output
// size is 0; 0 on failure. A source length of -1 includes the terminator.
EXTERN_C int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceBytes, LPWSTR target,
                                        int targetChars);
EXTERN_C int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH source, int sourceChars, LPSTR target,
                                        int targetBytes, LPCCH defaultChar, BOOL* usedDefaultChar);
