// Writes rule lists into the test hive the way the configuration tool does: by
// its own key paths, one REG_SZ value per entry with empty data.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "windows.h"

inline LPCWSTR ToolListPath(int list) {
    if (list == 0) return OLESTR("SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains");
    if (list == 1) return OLESTR("SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains");
    return OLESTR("SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses");
}

inline std::basic_string<WCHAR> Wide(const std::string& text) {
    std::basic_string<WCHAR> wide(text.size(), OLESTR('\0'));
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size()));
    wide.resize(chars > 0 ? chars : 0);
    return wide;
}

// Adds one value of any type and data to a list, creating the key when needed.
inline void AddValue(int list, const std::basic_string<WCHAR>& name, DWORD type = REG_SZ,
                     const std::string& data = "") {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ToolListPath(list), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// Replaces a list whole, as a save does.
inline void WriteRuleList(int list, const std::vector<std::string>& entries) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, ToolListPath(list));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ToolListPath(list), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    for (const std::string& entry : entries) AddValue(list, Wide(entry));
}
