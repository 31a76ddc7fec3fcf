// Writes rule lists into the test hive the way the configuration tool does: by
// its own key paths, one REG_SZ value per entry with empty data.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "windows.h"

inline const char16_t* ToolListPath(int list) {
    if (list == 0) return u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains";
    if (list == 1) return u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains";
    return u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses";
}

inline std::u16string Wide(const std::string& text) {
    std::u16string wide(text.size(), u'\0');
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size()));
    wide.resize(chars > 0 ? chars : 0);
    return wide;
}

// Adds one value of any type and data to a list, creating the key when needed.
inline void AddValue(int list, const std::u16string& name, DWORD type = REG_SZ, const std::string& data = "") {
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
