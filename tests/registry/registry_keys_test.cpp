// Keys: paths, case, creation and deletion, subkey enumeration, handles.
#include <gtest/gtest.h>

#include "registry_test_util.h"

namespace {

using Names = std::vector<std::string>;

class RegistryKeys : public StoreTest {};
INSTANTIATE_STORES(RegistryKeys);

TEST_P(RegistryKeys, CreateMakesMissingLevelsAndNamesCompareWithoutCaseKeepingTheirFirstCase) {
    for (auto [path, disposition] :
         {std::pair<const char*, DWORD>{"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains",
                                        REG_CREATED_NEW_KEY},
          {"software\\orlenby\\PELLICOR\\ExtOOFenabledRecipientDomains", REG_OPENED_EXISTING_KEY}}) {
        HKEY key;
        DWORD given = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &given),
                  ERROR_SUCCESS);
        EXPECT_EQ(given, disposition) << path;
        RegCloseKey(key);
    }
    EXPECT_EQ(subkeysAt("Software\\ORLENBY"), Names{"Pellicor"});
    EXPECT_EQ(subkeysAt("SOFTWARE\\Orlenby\\pellicor"), Names{"ExtOOFEnabledRecipientDomains"});
    EXPECT_TRUE(subkeysAt("SOFTWARE\\Orlenby\\Pellicor\\EXTOOFENABLEDRECIPIENTDOMAINS").empty());
    // Outside ASCII too, and the same name as 8-bit (UTF-8) text.
    HKEY key;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Ärger", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\ärger", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(subkeysAt("SOFTWARE\\\xC3\xA4rger"), Names{});
}

TEST_P(RegistryKeys, MissingKeysAndBadPaths) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(openKey("SOFTWARE\\Nobody", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(openKey("SOFTWARE\\\\Double", key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(openKey("\\Leading", key), ERROR_INVALID_PARAMETER);
    std::string tooLong = "SOFTWARE\\" + std::string(256, 'k');
    LSTATUS rc;
    EXPECT_EQ(createKey(tooLong.c_str(), &rc), nullptr);
    EXPECT_EQ(rc, ERROR_INVALID_PARAMETER);
    std::string longest = "SOFTWARE\\" + std::string(255, 'k');
    HKEY made = createKey(longest.c_str(), &rc);
    EXPECT_EQ(rc, ERROR_SUCCESS);
    RegCloseKey(made);
    HKEY trailing = createKey("SOFTWARE\\Trailing\\", &rc);
    EXPECT_EQ(rc, ERROR_SUCCESS);
    RegCloseKey(trailing);
}

TEST_P(RegistryKeys, NullPointersAndBadHandles) {
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(nullptr, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);

    HKEY open = createKey("SOFTWARE\\Closed");
    ASSERT_NE(open, nullptr);
    ASSERT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(open), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setString(open, "v", ""), ERROR_INVALID_HANDLE);
    EXPECT_EQ(valueCount(open), ERROR_INVALID_HANDLE);
    // A new handle in the freed slot is not the old one.
    HKEY reused = createKey("SOFTWARE\\Closed");
    EXPECT_NE(reused, open);
    EXPECT_EQ(RegCloseKey(open), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reused), ERROR_SUCCESS);
}

TEST_P(RegistryKeys, DeleteRefusesKeysWithSubkeysAndTakesValuesAlong) {
    ASSERT_EQ(setAt("SOFTWARE\\Orlenby\\Pellicor\\List", "@example.com"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orlenby\\Pellicor"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\orlenby\\pellicor\\LIST"), ERROR_SUCCESS);
    EXPECT_EQ(valuesAt("SOFTWARE\\Orlenby\\Pellicor\\List"), Names{"<cannot open>"});
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orlenby\\Pellicor\\List"), ERROR_FILE_NOT_FOUND);
    // Created anew, the key has none of the old values.
    RegCloseKey(createKey("SOFTWARE\\Orlenby\\Pellicor\\List"));
    EXPECT_EQ(valuesAt("SOFTWARE\\Orlenby\\Pellicor\\List"), Names{});
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
}

TEST_P(RegistryKeys, HandleOfADeletedKeyFailsUntilTheKeyIsCreatedAgain) {
    HKEY key = createKey("SOFTWARE\\Gone");
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone"), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, "v", ""), ERROR_KEY_DELETED);
    EXPECT_EQ(valueCount(key), ERROR_KEY_DELETED);
    // A save deletes a list and makes it anew; a handle by that path reads the new key.
    ASSERT_EQ(setAt("SOFTWARE\\Gone", "new"), ERROR_SUCCESS);
    EXPECT_EQ(valueNames(key), Names{"new"});
    RegCloseKey(key);
}

TEST_P(RegistryKeys, SubkeysEnumerateInCreationOrderWithNamesThatMustFit) {
    HKEY parent = createKey("SOFTWARE\\Order");
    for (const char* name : {"zeta", "Alpha", "mid"}) {
        HKEY child;
        ASSERT_EQ(RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(child);
    }
    EXPECT_EQ(subkeyNames(parent), (Names{"zeta", "Alpha", "mid"}));
    char name[4];
    DWORD chars = 4;  // "zeta" needs 5 with its terminator
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    WCHAR wide[5];
    chars = 5;
    FILETIME written{};
    EXPECT_EQ(RegEnumKeyExW(parent, 0, wide, &chars, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(wide), u"zeta");
    EXPECT_EQ(chars, 4u);
    EXPECT_NE(written.dwHighDateTime, 0u);
    chars = 5;
    EXPECT_EQ(RegEnumKeyExW(parent, 3, wide, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    DWORD subkeys = 0, longest = 0;
    ASSERT_EQ(RegQueryInfoKeyW(parent, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(longest, 5u);
    RegCloseKey(parent);
}

TEST_P(RegistryKeys, ClassesRootIsSoftwareClasses) {
    HKEY clsid;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-000000000001}", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &clsid, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(setString(clsid, "", "A class"), ERROR_SUCCESS);
    RegCloseKey(clsid);
    DWORD type;
    std::string data;
    ASSERT_EQ(readValue("Software\\Classes\\clsid\\{00000000-0000-0000-0000-000000000001}", nullptr, type, data),
              ERROR_SUCCESS);
    EXPECT_EQ(data, "A class");
    EXPECT_EQ(subkeyNames(HKEY_CLASSES_ROOT), Names{"CLSID"});
    EXPECT_EQ(subkeysAt("SOFTWARE"), Names{"Classes"});
}

TEST_P(RegistryKeys, AccessRightsOfTheHandleAreEnforced) {
    RegCloseKey(createKey("SOFTWARE\\Rights"));
    HKEY reader;
    ASSERT_EQ(openKey("SOFTWARE\\Rights", reader, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(setString(reader, "v", ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
    HKEY writer;
    ASSERT_EQ(openKey("SOFTWARE\\Rights", writer, KEY_SET_VALUE), ERROR_SUCCESS);
    EXPECT_EQ(setString(writer, "v", ""), ERROR_SUCCESS);
    DWORD bytes = 0;
    EXPECT_EQ(RegQueryValueExA(writer, "v", nullptr, nullptr, nullptr, &bytes), ERROR_ACCESS_DENIED);
    RegCloseKey(writer);
}

}  // namespace
