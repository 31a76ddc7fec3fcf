// Enumeration statuses other than success and "no more items", injected by wrapping
// the platform's RegEnumValueA at link time (-Wl,--wrap).
#include <atomic>
#include <functional>

#include <gtest/gtest.h>

#include "clsRegistry.h"
#include "temp_hive.h"

namespace {
// Runs before each forwarded call with the entry index; may answer in its place.
std::function<LSTATUS(DWORD index, LPDWORD nameChars)> beforeEnum;
int enumCalls = 0;
}  // namespace

extern "C" LSTATUS WINAPI __real_RegEnumValueA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
extern "C" LSTATUS WINAPI __wrap_RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                                               LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
    ++enumCalls;
    if (beforeEnum) {
        LSTATUS injected = beforeEnum(index, nameChars);
        if (injected != ERROR_SUCCESS) return injected;
    }
    return __real_RegEnumValueA(key, index, name, nameChars, reserved, type, data, dataBytes);
}

namespace {

const int32_t kMachine = PredefinedKeyArgument(HKEY_LOCAL_MACHINE);
const std::string kKey = "SOFTWARE\\Orlenby\\Pellicor\\Test";

class EnumerationFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c", "d", "e"})
            ASSERT_EQ(registry.SetKeyValue(kMachine, kKey, name, REG_SZ, std::string()), ERROR_SUCCESS);
        enumCalls = 0;
    }
    void TearDown() override { beforeEnum = nullptr; }

    TempHive hive;
    clsRegistry registry;
};

// The key goes away between the open and the first read: the walk ends at once.
TEST_F(EnumerationFaultTest, KeyDeletedAfterTheOpen) {
    beforeEnum = [&](DWORD index, LPDWORD) -> LSTATUS {
        if (index == 0) {
            clsRegistry other;
            EXPECT_EQ(other.DeleteKey(kMachine, kKey), ERROR_SUCCESS);
        }
        return ERROR_SUCCESS;
    };
    std::vector<std::string> names = {"old"};
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 0);
    EXPECT_EQ(names, std::vector<std::string>{""});
    EXPECT_LE(enumCalls, 2);
}

// Any other status part-way ends the walk with the names found so far.
TEST_F(EnumerationFaultTest, UnexpectedStatusEndsTheWalkWithTheNamesSoFar) {
    beforeEnum = [](DWORD index, LPDWORD) -> LSTATUS { return index == 3 ? ERROR_KEY_DELETED : ERROR_SUCCESS; };
    std::vector<std::string> names;
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 3);
    EXPECT_EQ(names.size(), 3u);

    beforeEnum = [](DWORD index, LPDWORD) -> LSTATUS { return ERROR_ACCESS_DENIED; };
    names = {"old"};
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 0);
    EXPECT_EQ(names, std::vector<std::string>{""});
}

// A platform that keeps answering "more data" must not keep the walk going.
TEST_F(EnumerationFaultTest, EndlessMoreDataEnds) {
    beforeEnum = [](DWORD index, LPDWORD nameChars) -> LSTATUS {
        if (index < 1) return ERROR_SUCCESS;
        *nameChars = 0;
        return ERROR_MORE_DATA;
    };
    std::vector<std::string> names;
    EXPECT_EQ(registry.EnumValues(kMachine, kKey, names, "*"), 1);
    EXPECT_LT(enumCalls, 40);
}

}  // namespace
