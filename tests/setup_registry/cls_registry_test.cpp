#include "clsRegistry.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <ktmw32.h>

#include "registry_test_util.h"
#include "temp_hive.h"

namespace {

const int32_t kMachine = PredefinedKeyArgument(HKEY_LOCAL_MACHINE);
const std::string kKey = "SOFTWARE\\Orlenby\\Pellicor\\Test";

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class ClsRegistryTest : public ::testing::Test {
protected:
    TempHive hive;
    clsRegistry registry;
};

TEST_F(ClsRegistryTest, BaseKeyComesFromTheVersionInformation) {
    EXPECT_EQ(registry.BaseKey(), "Software\\Orlenby\\Pellicor setup\\1.1");
}

TEST_F(ClsRegistryTest, CreateCheckAndDeleteKeysAndValues) {
    EXPECT_EQ(registry.CheckKey(kMachine, kKey), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.CreateNewKey(kMachine, kKey + "\\Deep\\Down"), ERROR_SUCCESS);
    EXPECT_EQ(registry.CheckKey(kMachine, kKey), ERROR_SUCCESS);
    EXPECT_EQ(registry.CheckKey(kMachine, kKey + "\\Deep\\Down"), ERROR_SUCCESS);

    // An existing key is opened, its values untouched.
    ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, "kept", REG_SZ, std::string("yes")), ERROR_SUCCESS);
    EXPECT_EQ(registry.CreateNewKey(kMachine, kKey), ERROR_SUCCESS);
    EXPECT_EQ(registry.QueryValue(kMachine, kKey, "kept", {}), RegistryVariant(std::string("yes")));

    // A key with subkeys is not deleted; a leaf goes with its values.
    EXPECT_NE(registry.DeleteKey(kMachine, kKey), ERROR_SUCCESS);
    EXPECT_EQ(registry.CheckKey(kMachine, kKey), ERROR_SUCCESS);
    ASSERT_EQ(registry.SetKeyValue(kMachine, kKey + "\\Deep\\Down", "v", REG_DWORD, 1), ERROR_SUCCESS);
    EXPECT_EQ(registry.DeleteKey(kMachine, kKey + "\\Deep\\Down"), ERROR_SUCCESS);
    EXPECT_EQ(registry.CheckKey(kMachine, kKey + "\\Deep\\Down"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.CheckKey(kMachine, kKey + "\\Deep"), ERROR_SUCCESS);
    EXPECT_EQ(registry.DeleteKey(kMachine, kKey + "\\Missing"), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, "gone", REG_SZ, std::string()), ERROR_SUCCESS);
    EXPECT_EQ(registry.DeleteValue(kMachine, kKey, "gone"), ERROR_SUCCESS);
    EXPECT_EQ(registry.DeleteValue(kMachine, kKey, "gone"), ERROR_FILE_NOT_FOUND);
    // The failed open shows only as the deletion's failure.
    EXPECT_NE(registry.DeleteValue(kMachine, kKey + "\\Missing", "gone"), ERROR_SUCCESS);
}

TEST_F(ClsRegistryTest, EnumerationFindingNothing) {
    std::vector<std::string> names = {"keep", "these", "three"};
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"keep", "these", "three"}));
    EXPECT_EQ(registry.EnumKeys(kMachine, kKey, names, "*"), 0);
    EXPECT_EQ(names.size(), 3u);

    std::vector<std::string> never;
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, never, "*"), 0);
    EXPECT_TRUE(never.empty());

    // An existing key with nothing found leaves one empty slot.
    ASSERT_EQ(registry.CreateNewKey(kMachine, kKey), ERROR_SUCCESS);
    names = {"old", "list"};
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 0);
    EXPECT_EQ(names, std::vector<std::string>{""});

    ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, "abc", REG_SZ, std::string()), ERROR_SUCCESS);
    names = {"old"};
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "x*"), 0);
    EXPECT_EQ(names, std::vector<std::string>{""});
    EXPECT_EQ(registry.EnumKeys(kMachine, kKey, names, "*"), 0);
    EXPECT_EQ(names, std::vector<std::string>{""});
}

// Around each step of the list's growth (101 slots, then 100 more at a time) and
// the 250 values of a large rule list, every name comes back once and the list is
// cut to exactly the count.
TEST_F(ClsRegistryTest, EnumValuesGrowsTheListAndCutsItToTheCount) {
    for (int count : {100, 101, 102, 200, 201, 202, 250}) {
        const std::string key = kKey + "\\" + std::to_string(count);
        std::vector<std::string> expected;
        for (int i = 0; i < count; ++i) {
            char name[32];
            snprintf(name, sizeof name, "@d%03d.example", i);
            expected.push_back(name);
            ASSERT_EQ(registry.SetKeyValue(kMachine, key, name, REG_SZ, std::string()), ERROR_SUCCESS);
        }
        std::vector<std::string> names;
        EXPECT_EQ(registry.EnumValues(kMachine, key, names, "*"), count);
        EXPECT_EQ(Sorted(names), expected) << count << " values";
    }
}

TEST_F(ClsRegistryTest, EnumerationFiltersByPattern) {
    for (const char* name : {"abc1", "abc22", "ABC3", "abd", "xabc"}) {
        ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, name, REG_SZ, std::string()), ERROR_SUCCESS);
        ASSERT_EQ(registry.CreateNewKey(kMachine, kKey + "\\" + name + "key"), ERROR_SUCCESS);
    }
    std::vector<std::string> names;
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "abc*"), 2);
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"abc1", "abc22"}));
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "[!a]*"), 2);
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"ABC3", "xabc"}));

    // Subkeys only, values never.
    EXPECT_EQ(registry.EnumKeys(kMachine, kKey, names, "abc*"), 2);
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"abc1key", "abc22key"}));
    EXPECT_EQ(registry.EnumKeys(kMachine, kKey, names, "*"), 5);
}

// The enumeration buffer holds 254 characters and a terminator; longer names must
// come back whole, or the next save would replace them by a cut-off copy.
TEST_F(ClsRegistryTest, LongNamesComeBackWhole) {
    std::vector<std::string> expected;
    for (size_t length : {254, 255, 256, 300, 5000}) {
        std::string name = std::string(length - 4, 'v') + std::to_string(1000 + length % 1000);
        expected.push_back(name);
        ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, name, REG_SZ, std::string()), ERROR_SUCCESS);
    }
    std::vector<std::string> names;
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 5);
    EXPECT_EQ(Sorted(names), Sorted(expected));

    const std::string subkey(254, 'k');
    ASSERT_EQ(registry.CreateNewKey(kMachine, kKey + "\\" + subkey), ERROR_SUCCESS);
    EXPECT_EQ(registry.EnumKeys(kMachine, kKey, names, "*"), 1);
    EXPECT_EQ(names, std::vector<std::string>{subkey});
}

// Text with or without its terminator, numbers, and binary data in the default's form;
// the default for what is missing or of a type not handled.
TEST_F(ClsRegistryTest, QueryValueReadsStoredDataOrFallsBackToTheDefault) {
    const std::string blob("\x00\xFFz", 3);
    const struct {
        const char* name;
        DWORD type;
        std::string stored;
        RegistryVariant fallback, expected;
    } cases[] = {
        {"with", REG_SZ, std::string("abc\0", 4), std::string("d"), std::string("abc")},
        {"without", REG_SZ, "abc", std::string("d"), std::string("abc")},
        {"early", REG_SZ, std::string("ab\0cd", 5), std::string("d"), std::string("ab")},
        {"empty", REG_SZ, "", std::string("d"), std::string()},
        {"expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), std::string("d"), std::string("%TEMP%\\x")},
        {"five", REG_DWORD, std::string("\x05\0\0\0", 4), {}, 5},
        {"minus", REG_DWORD, std::string("\xFE\xFF\xFF\xFF", 4), {}, -2},
        {"blob", REG_BINARY, blob, std::string("d"), blob},
        {"blob", REG_BINARY, blob, std::vector<uint8_t>{9}, std::vector<uint8_t>{0x00, 0xFF, 'z'}},
        {"blob", REG_BINARY, blob, 7, RegistryVariant()},  // any other default: empty, not the default
        {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), 42, 42},
        {"qword", REG_QWORD, std::string(8, '\1'), 42, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HKEY key = createKey(kKey.c_str());  // data the class itself would never write
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.stored.data()),
                                 static_cast<DWORD>(c.stored.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(registry.QueryValue(kMachine, kKey, c.name, c.fallback), c.expected);
    }
    EXPECT_EQ(registry.QueryValue(kMachine, kKey, "missing", 42), RegistryVariant(42));
    EXPECT_EQ(registry.QueryValue(kMachine, kKey + "\\Missing", "multi", 42), RegistryVariant(42));
}

// Text without a terminator; numbers as text or as DWORDs, text read as a number.
TEST_F(ClsRegistryTest, SetKeyValueWritesTheTypeAndItsData) {
    const struct {
        const char* name;
        int32_t type;
        RegistryVariant value;
        std::string stored;
    } cases[] = {
        {"@example.com", REG_SZ, std::string(), ""},
        {"path", REG_EXPAND_SZ, std::string("%TEMP%"), "%TEMP%"},
        {"number", REG_SZ, -17, "-17"},
        {"blob", REG_BINARY, std::vector<uint8_t>{1, 0, 255}, std::string("\x01\x00\xFF", 3)},
        {"n", REG_DWORD, -5, std::string("\xFB\xFF\xFF\xFF", 4)},
        {"n", REG_DWORD, std::string(" 12 "), std::string("\x0C\0\0\0", 4)},
        {"n", REG_DWORD, std::string("2.5"), std::string("\x02\0\0\0", 4)},
        {"n", REG_DWORD, RegistryVariant(), std::string(4, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(registry.SetKeyValue(kMachine, kKey, c.name, c.type, c.value), ERROR_SUCCESS);
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(readValue(kKey.c_str(), c.name, type, data), ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(c.type));
        EXPECT_EQ(data, c.stored);
    }
}

TEST_F(ClsRegistryTest, SetKeyValueRaisesForAValueThatDoesNotFitItsType) {
    auto kindOf = [&](int32_t type, const RegistryVariant& value) {
        try {
            registry.SetKeyValue(kMachine, kKey, "bad", type, value);
        } catch (const RegistryValueError& e) {
            return static_cast<int>(e.kind());
        }
        return 0;
    };
    EXPECT_EQ(kindOf(REG_BINARY, std::string("text")), RegistryValueError::TypeMismatch);
    EXPECT_EQ(kindOf(REG_BINARY, 5), RegistryValueError::TypeMismatch);
    EXPECT_EQ(kindOf(REG_BINARY, std::vector<uint8_t>{}), RegistryValueError::SubscriptOutOfRange);
    EXPECT_EQ(kindOf(REG_DWORD, std::string("five")), RegistryValueError::TypeMismatch);
    EXPECT_EQ(kindOf(REG_DWORD, std::string("")), RegistryValueError::TypeMismatch);
    EXPECT_EQ(kindOf(REG_DWORD, std::vector<uint8_t>{5}), RegistryValueError::TypeMismatch);
    EXPECT_EQ(kindOf(REG_DWORD, std::string("3000000000")), RegistryValueError::Overflow);
    EXPECT_EQ(kindOf(REG_DWORD, std::string("-2147483649")), RegistryValueError::Overflow);
    EXPECT_EQ(registry.QueryValue(kMachine, kKey, "bad", std::string("none")), RegistryVariant(std::string("none")));
}

// Every other test's first write makes the levels missing in a fresh hive.
TEST_F(ClsRegistryTest, SetKeyValueWritesNoUnhandledType) {
    EXPECT_EQ(registry.SetKeyValue(kMachine, kKey, "multi", REG_MULTI_SZ, std::string("a")), -1);
    EXPECT_EQ(registry.SetKeyValue(kMachine, kKey, "none", REG_NONE, std::string("a")), -1);
    std::vector<std::string> names;
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 0);
}

// A save, as the window makes it, in a transaction over an old list: seen inside
// at once, outside only once committed; a rollback leaves the old list whole.
TEST_F(ClsRegistryTest, TransactedWritesAreSeenOnlyAfterCommit) {
    auto expectState = [](clsRegistry& through, bool isNew) {
        std::vector<std::string> names;
        EXPECT_EQ(through.EnumValues(kMachine, kKey, names, "*"), 1);
        EXPECT_EQ(names, std::vector<std::string>{isNew ? "@new.example" : "@old.example"});
        if (isNew) EXPECT_EQ(through.QueryValue(kMachine, kKey + "\\Sub", "n", {}), RegistryVariant(3));
        else EXPECT_EQ(through.CheckKey(kMachine, kKey + "\\Sub"), ERROR_FILE_NOT_FOUND);
    };
    ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, "@old.example", REG_SZ, std::string()), ERROR_SUCCESS);
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        ASSERT_TRUE(transaction != INVALID_HANDLE_VALUE && transaction != nullptr);
        clsRegistry inside(transaction);
        EXPECT_EQ(inside.DeleteKey(kMachine, kKey), ERROR_SUCCESS);
        EXPECT_EQ(inside.CreateNewKey(kMachine, kKey), ERROR_SUCCESS);
        EXPECT_EQ(inside.SetKeyValue(kMachine, kKey, "@new.example", REG_SZ, std::string()), ERROR_SUCCESS);
        EXPECT_EQ(inside.SetKeyValue(kMachine, kKey + "\\Sub", "n", REG_DWORD, 3), ERROR_SUCCESS);
        expectState(inside, true);
        expectState(registry, false);
        ASSERT_TRUE(commit ? CommitTransaction(transaction) : RollbackTransaction(transaction));
        CloseHandle(transaction);
        expectState(registry, commit);
    }
}

}  // namespace
