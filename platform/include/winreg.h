// The machine registry. Keys and values live in one SQLite database (the hive);
// PELLICOR_REGISTRY names another file than /var/lib/pellicor/registry.sqlite.
// Key and value names compare without regard to case and keep the case they were
// first written with. Results are the platform's error codes (0 success).
#pragma once
#include "windef.h"
#include "winerror.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

// Sign-extended, as the platform's 64-bit headers define them.
#define HKEY_CLASSES_ROOT ((HKEY)(LONG_PTR)(LONG)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(LONG_PTR)(LONG)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(LONG_PTR)(LONG)0x80000002)
#define HKEY_USERS ((HKEY)(LONG_PTR)(LONG)0x80000003)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

EXTERN_C LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result);
EXTERN_C LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result);
EXTERN_C LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                        REGSAM sam, const SECURITY_ATTRIBUTES* security, PHKEY result,
                                        LPDWORD disposition);
EXTERN_C LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                        REGSAM sam, const SECURITY_ATTRIBUTES* security, PHKEY result,
                                        LPDWORD disposition);
EXTERN_C LSTATUS WINAPI RegCloseKey(HKEY key);
EXTERN_C LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey);
EXTERN_C LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
EXTERN_C LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName);
EXTERN_C LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);
EXTERN_C LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                                      LPSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime);
EXTERN_C LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                                      LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime);
EXTERN_C LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameChars, LPDWORD reserved,
                                      LPDWORD type, LPBYTE data, LPDWORD dataBytes);
EXTERN_C LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars, LPDWORD reserved,
                                      LPDWORD type, LPBYTE data, LPDWORD dataBytes);
EXTERN_C LSTATUS WINAPI RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                                         LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                                         LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                                         PFILETIME lastWriteTime);
EXTERN_C LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                                         LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                                         LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                                         PFILETIME lastWriteTime);
EXTERN_C LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                         LPDWORD dataBytes);
EXTERN_C LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                         LPDWORD dataBytes);
EXTERN_C LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                       DWORD dataBytes);
EXTERN_C LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                       DWORD dataBytes);

// Transacted forms: a key opened or created with a transaction handle (ktmw32.h)
// carries it, and every write through that key is part of the transaction.
EXTERN_C LSTATUS WINAPI RegCreateKeyTransactedA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                                REGSAM sam, const SECURITY_ATTRIBUTES* security, PHKEY result,
                                                LPDWORD disposition, HANDLE transaction, PVOID extended);
EXTERN_C LSTATUS WINAPI RegCreateKeyTransactedW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                                DWORD options, REGSAM sam, const SECURITY_ATTRIBUTES* security,
                                                PHKEY result, LPDWORD disposition, HANDLE transaction, PVOID extended);
EXTERN_C LSTATUS WINAPI RegOpenKeyTransactedA(HKEY key, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result,
                                              HANDLE transaction, PVOID extended);
EXTERN_C LSTATUS WINAPI RegOpenKeyTransactedW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result,
                                              HANDLE transaction, PVOID extended);
EXTERN_C LSTATUS WINAPI RegDeleteKeyTransactedA(HKEY key, LPCSTR subKey, REGSAM sam, DWORD reserved, HANDLE transaction,
                                                PVOID extended);
EXTERN_C LSTATUS WINAPI RegDeleteKeyTransactedW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD reserved,
                                                HANDLE transaction, PVOID extended);
