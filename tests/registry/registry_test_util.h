// Small helpers shared by the registry tests.
#pragma once
#include <string>
#include <vector>

#include "windows.h"
#include "winreg.h"

// Creates (or opens) a key below HKEY_LOCAL_MACHINE; the caller closes it.
inline HKEY createKey(const char* path, LSTATUS* status = nullptr) {
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status) *status = rc;
    return rc == ERROR_SUCCESS ? key : nullptr;
}

inline LSTATUS setString(HKEY key, const char* name, const std::string& data) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

// The value names of a key in enumeration order, through the 8-bit functions.
inline std::vector<std::string> valueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD chars = sizeof name;
        if (RegEnumValueA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    return names;
}

inline std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD chars = sizeof name;
        if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    return names;
}

inline LSTATUS openKey(const char* path, HKEY& key, REGSAM sam = KEY_READ) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, sam, &key);
}
