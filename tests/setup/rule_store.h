// Reading and writing the three rule lists straight through the registry, apart
// from the window, to seed a hive and to check what a save left in it.
#pragma once
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <windows.h>

inline const char* RuleListKey(int list) {
    static const char* const keys[] = {
        "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains",
        "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains",
        "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses",
    };
    return keys[list];
}

// Replaces the list's key with one REG_SZ value per name, data empty.
inline void StoreRuleList(int list, const std::vector<std::string>& names) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, RuleListKey(list));
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, RuleListKey(list), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create a rule list key");
    for (const std::string& name : names) RegSetValueExA(key, name.c_str(), 0, REG_SZ, nullptr, 0);
    RegCloseKey(key);
}

inline bool RuleListExists(int list) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RuleListKey(list), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The value names of the list's key, sorted bytewise; empty when the key is missing.
inline std::vector<std::string> StoredRuleList(int list) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RuleListKey(list), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    std::vector<char> buffer(32768);
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(buffer.size());
        if (RegEnumValueA(key, i, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), chars);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}
