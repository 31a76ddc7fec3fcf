// Reads a registry subtree as sorted lines "key path [value name] = data", for
// comparing what registration wrote with what was meant.
#pragma once
#include <cstring>
#include <set>
#include <string>

#include "winreg.h"

inline void DumpRegistryKey(HKEY parent, const std::string& path, const std::string& shown,
                            std::set<std::string>& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out.insert(shown);
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[4096];
        DWORD nameChars = sizeof name, bytes = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nameChars, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
        std::string text =
            type == REG_SZ ? std::string(reinterpret_cast<char*>(data), strnlen(reinterpret_cast<char*>(data), bytes))
                           : "<type " + std::to_string(type) + ">";
        out.insert(shown + " [" + std::string(name, nameChars) + "] = " + text);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD chars = sizeof name;
        if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::string child(name, chars);
        DumpRegistryKey(key, child, shown + "\\" + child, out);
    }
    RegCloseKey(key);
}

inline std::set<std::string> DumpRegistry(HKEY root, const std::string& path) {
    std::set<std::string> out;
    DumpRegistryKey(root, path, path, out);
    return out;
}

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}
