// Writes an entry into one of the sink's rule lists in the test hive.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "winreg.h"

inline void AddRule(const char* list, const char* entry) {
    HKEY key = nullptr;
    std::string path = std::string("SOFTWARE\\Orlenby\\Pellicor\\") + list;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_SUCCESS);
    RegCloseKey(key);
}
