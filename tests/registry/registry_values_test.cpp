// Values: types and data, case, order, buffer sizes and the 8-bit conversions.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include <gtest/gtest.h>

#include "registry_test_util.h"

namespace {

const char* const kPath = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains";

class RegistryValues : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        key = createKey(kPath);
    }
    void TearDown() override { RegCloseKey(key); }
    HKEY key = nullptr;
};
INSTANTIATE_STORES(RegistryValues);

TEST_P(RegistryValues, EmptyDataKeepsItsTypeAndTheNullNameIsTheDefaultValue) {
    ASSERT_EQ(setString(key, "@example.com", ""), ERROR_SUCCESS);  // a rule list entry
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    for (auto [name, expectedType] : {std::pair<const char*, DWORD>{"@EXAMPLE.COM", REG_SZ}, {"", REG_BINARY}}) {
        DWORD type = 0, bytes = 99;
        ASSERT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes), ERROR_SUCCESS) << name;
        EXPECT_EQ(type, expectedType) << name;
        EXPECT_EQ(bytes, 0u) << name;
    }
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"@example.com", ""}));
}

TEST_P(RegistryValues, OverwriteDifferingInCaseKeepsNameAndPlace) {
    ASSERT_EQ(setString(key, "@First.com", "1"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "@second.com", "2"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "@FIRST.COM", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\5\0\0\0"), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"@First.com", "@second.com"}));
    DWORD type;
    std::string data;
    ASSERT_EQ(readValue(kPath, "@first.com", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, std::string("\5\0\0\0", 4));
}

TEST_P(RegistryValues, DeletedValueLeavesAndReturnsAtTheEnd) {
    for (const char* name : {"a", "b", "c"}) ASSERT_EQ(setString(key, name, ""), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, "A"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "a"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(setString(key, "a", ""), ERROR_SUCCESS);
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"b", "c", "a"}));
    DWORD type;
    std::string data;
    EXPECT_EQ(readValue(kPath, "missing", type, data), ERROR_FILE_NOT_FOUND);
}

TEST_P(RegistryValues, WideAndEightBitTextConvert) {
    const char16_t text[] = u"Grüße";
    ASSERT_EQ(RegSetValueExW(key, u"Wide", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
    const BYTE binary[] = {0xFF, 0x00, 0x80};
    ASSERT_EQ(RegSetValueExA(key, "Binary", 0, REG_BINARY, binary, 3), ERROR_SUCCESS);
    DWORD type;
    std::string data;
    ASSERT_EQ(readValue(kPath, "wide", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, std::string("Gr\xC3\xBC\xC3\x9F"
                                "e\0",
                                8));
    ASSERT_EQ(readValue(kPath, "Binary", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, std::string("\xFF\0\x80", 3));

    ASSERT_EQ(setString(key, "Narrow", std::string("abc\0", 4)), ERROR_SUCCESS);
    char16_t wide[8];
    DWORD bytes = sizeof wide;
    ASSERT_EQ(RegQueryValueExW(key, u"NARROW", nullptr, &type, reinterpret_cast<BYTE*>(wide), &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(std::u16string(wide), u"abc");
}

TEST_P(RegistryValues, SmallBuffersGetMoreDataWithTheSizeNeeded) {
    ASSERT_EQ(setString(key, "name", std::string("0123456789\0", 11)), ERROR_SUCCESS);
    BYTE data[4];
    DWORD bytes = sizeof data, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, &type, data, &bytes), ERROR_MORE_DATA);
    EXPECT_EQ(bytes, 11u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    bytes = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, nullptr, data, &bytes), ERROR_MORE_DATA);
    EXPECT_EQ(bytes, 22u);

    char name[4];
    DWORD chars = sizeof name;  // "name" needs 5
    bytes = 64;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &chars, nullptr, nullptr, nullptr, &bytes), ERROR_MORE_DATA);
    WCHAR wide[5];
    chars = 5;
    bytes = 2;
    EXPECT_EQ(RegEnumValueW(key, 0, wide, &chars, nullptr, nullptr, data, &bytes), ERROR_MORE_DATA);
    EXPECT_EQ(bytes, 22u);
    EXPECT_EQ(std::u16string(wide, chars), u"name");  // the name was delivered
    chars = 5;
    bytes = 0;
    EXPECT_EQ(RegEnumValueW(key, 0, wide, &chars, nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, 22u);  // size asked for without a buffer
}

TEST_P(RegistryValues, QueryInfoReportsCountsAndLongestInCharactersAndBytes) {
    ASSERT_EQ(setString(key, "short", ""), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "a longer name", "xyz"), ERROR_SUCCESS);
    DWORD values = 0, longestName = 0, largestData = 0, subkeys = 9, classChars = 7;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, &classChars, nullptr, &subkeys, nullptr, nullptr, &values, &longestName,
                               &largestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longestName, 13u);
    EXPECT_EQ(largestData, 6u);  // "xyz" as UTF-16
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(classChars, 0u);
}

TEST_P(RegistryValues, NullAndOverlongArguments) {
    DWORD bytes = 4;
    BYTE data[4];
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &bytes, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    char name[8];
    EXPECT_EQ(RegEnumValueA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueA(key, 0, name, &bytes, nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);

    std::string longest(16383, 'v'), tooLong(16384, 'v');
    EXPECT_EQ(setString(key, longest.c_str(), ""), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, tooLong.c_str(), ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(valueNames(key), std::vector<std::string>{longest});
}

// Every step of a walk, not only the first, hands out name and data whole whatever
// their lengths and writes nothing past them; a buffer one short gets ERROR_MORE_DATA
// with the size needed. Once for a key whose values are all as short as rules are,
// once for one with longer values too (which the registry walks another way).
TEST_P(RegistryValues, EveryStepOfAWalkHandsOutNamesAndDataOfAnyLengthExactly) {
    constexpr int kLongest = 80;
    auto nameOf = [](int length) {
        std::u16string name;
        for (int i = 0; i < length; ++i) name += static_cast<char16_t>(u'a' + (length + i) % 26);
        return name;
    };
    auto dataOf = [](int length) {
        std::string data;
        for (int i = 0; i < length; ++i) data += static_cast<char>(length * 7 + i);
        return data;
    };
    for (int longest : {64, kLongest}) {
        SCOPED_TRACE(longest);
        HKEY walked = createKey(("SOFTWARE\\Orlenby\\Walk" + std::to_string(longest)).c_str());
        ASSERT_NE(walked, nullptr);
        for (int length = 0; length <= longest; ++length) {
            ASSERT_EQ(RegSetValueExW(walked, nameOf(length).c_str(), 0, REG_BINARY,
                                     reinterpret_cast<const BYTE*>(dataOf(length).data()), length),
                      ERROR_SUCCESS);
        }
        DWORD values = 0;
        ASSERT_EQ(valueCount(walked, &values), ERROR_SUCCESS);
        ASSERT_EQ(values, static_cast<DWORD>(longest + 1));
        WCHAR name[kLongest + 8];
        BYTE data[kLongest + 8];
        for (DWORD index = 0; index < values; ++index) {
            SCOPED_TRACE(index);
            const int length = static_cast<int>(index);  // the values were written in order of length
            std::fill(std::begin(name), std::end(name), 0xFFFF);
            std::fill(std::begin(data), std::end(data), 0xEE);
            DWORD chars = length + 1, bytes = length, type = 0;
            ASSERT_EQ(RegEnumValueW(walked, index, name, &chars, nullptr, &type, data, &bytes), ERROR_SUCCESS);
            EXPECT_EQ(std::u16string(name, chars), nameOf(length));
            EXPECT_EQ(name[length], 0);
            EXPECT_EQ(name[length + 1], 0xFFFF);
            EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), bytes), dataOf(length));
            EXPECT_EQ(data[length], 0xEE);

            chars = length;  // no room for the terminator
            bytes = length;
            EXPECT_EQ(RegEnumValueW(walked, index, name, &chars, nullptr, nullptr, data, &bytes), ERROR_MORE_DATA);
            if (length > 0) {
                chars = length + 1;
                bytes = length - 1;
                EXPECT_EQ(RegEnumValueW(walked, index, name, &chars, nullptr, nullptr, data, &bytes), ERROR_MORE_DATA);
                EXPECT_EQ(bytes, static_cast<DWORD>(length));
            }
            chars = length + 1;
            bytes = 0;
            ASSERT_EQ(RegEnumValueW(walked, index, name, &chars, nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
            EXPECT_EQ(bytes, static_cast<DWORD>(length));  // the size alone, asked without a buffer
            EXPECT_EQ(chars, static_cast<DWORD>(length));
        }
        DWORD chars = kLongest + 1;
        EXPECT_EQ(RegEnumValueW(walked, values, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
        RegCloseKey(walked);
    }
}

// A step past the first is checked as the first is: a closed or forged handle, a key
// that may not read values, and a walk after the handle's own write, which reads the
// key as written.
TEST_P(RegistryValues, AStepOfAWalkChecksItsHandleAndFollowsTheHandlesOwnWrites) {
    for (const char* name : {"a", "b", "c"}) ASSERT_EQ(setString(key, name, ""), ERROR_SUCCESS);
    WCHAR name[8];
    DWORD chars = 8;
    auto step = [&](HKEY handle, DWORD index) {
        chars = 8;
        return RegEnumValueW(handle, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    };
    ASSERT_EQ(valueCount(key), ERROR_SUCCESS);
    ASSERT_EQ(step(key, 0), ERROR_SUCCESS);
    auto handle = reinterpret_cast<uintptr_t>(key);
    for (uintptr_t forged : {handle & 0xFFFFFFFF, handle ^ (uintptr_t{1} << 62)}) {
        EXPECT_EQ(step(reinterpret_cast<HKEY>(forged), 1), ERROR_INVALID_HANDLE) << std::hex << forged;
    }
    ASSERT_EQ(step(key, 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, "a"), ERROR_SUCCESS);
    ASSERT_EQ(step(key, 1), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, chars), u"c");
    EXPECT_EQ(step(key, 2), ERROR_NO_MORE_ITEMS);

    HKEY subkeysOnly;
    ASSERT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains", subkeysOnly, KEY_ENUMERATE_SUB_KEYS),
              ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyExW(subkeysOnly, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(step(subkeysOnly, 1), ERROR_ACCESS_DENIED);
    RegCloseKey(subkeysOnly);

    HKEY closed;
    ASSERT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains", closed), ERROR_SUCCESS);
    ASSERT_EQ(valueCount(closed), ERROR_SUCCESS);
    ASSERT_EQ(step(closed, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(step(closed, 1), ERROR_INVALID_HANDLE);
}

}  // namespace
