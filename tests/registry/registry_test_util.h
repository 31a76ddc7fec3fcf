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

inline LSTATUS openKey(const char* path, HKEY& key, REGSAM sam = KEY_READ) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, sam, &key);
}

inline LSTATUS setString(HKEY key, const char* name, const std::string& data) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

// RegQueryInfoKeyA asked for the number of values only.
inline LSTATUS valueCount(HKEY key, DWORD* count = nullptr) {
    DWORD ignored;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count ? count : &ignored,
                            nullptr, nullptr, nullptr, nullptr);
}

// The names RegEnumValueA or RegEnumKeyExA give, in enumeration order.
template <typename Enumerate>
std::vector<std::string> enumeratedNames(HKEY key, Enumerate enumerate) {
    std::vector<std::string> names;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(name.size());
        if (enumerate(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), chars);
    }
    return names;
}
inline std::vector<std::string> valueNames(HKEY key) { return enumeratedNames(key, RegEnumValueA); }
inline std::vector<std::string> subkeyNames(HKEY key) { return enumeratedNames(key, RegEnumKeyExA); }

// The subkeys of the key at path below HKEY_LOCAL_MACHINE; {"<cannot open>"} when it does not open.
inline std::vector<std::string> subkeysAt(const char* path) {
    HKEY key;
    if (openKey(path, key) != ERROR_SUCCESS) return {"<cannot open>"};
    std::vector<std::string> names = subkeyNames(key);
    RegCloseKey(key);
    return names;
}
