#include <string>

#include <gtest/gtest.h>

#include "utf.h"
#include "winbase.h"

namespace {

std::u16string widen(const std::string& text) {
    int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(needed), u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), needed), needed);
    return wide;
}

// The ANSI code page is UTF-8; malformed bytes become U+FFFD unless the caller asks to fail.
TEST(CodePage, Utf8BothWaysWithReplacementsForMalformedBytes) {
    const struct {
        std::string bytes;
        std::u16string wide;
        bool roundTrips;
    } cases[] = {
        {"IStream", u"IStream", true},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00E9 \U0001F600", true},
        {"a\xFF!", u"a\uFFFD!", false},
        {"\xC3", u"\uFFFD", false},  // truncated sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(widen(c.bytes), c.wide) << c.bytes;
        EXPECT_EQ(platform::Utf16FromUtf8(c.bytes), c.wide) << c.bytes;
        if (!c.roundTrips) continue;
        int size = static_cast<int>(c.wide.size());
        std::string bytes(c.bytes.size(), '\0');
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c.wide.data(), size, bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, nullptr),
                  static_cast<int>(c.bytes.size()));
        EXPECT_EQ(bytes, c.bytes);
    }
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, nullptr, 0), 0) << "an unknown code page fails";
}

// A length of -1 counts the terminator; text converts whole or not at all, never past the target.
TEST(CodePage, TerminatedTextConvertsWholeOrNotAtAll) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    char bytes[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, bytes, 4, nullptr, nullptr), 4);
    EXPECT_STREQ(bytes, "abc");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, bytes, 3, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab\u00E9", -1, bytes, 5, nullptr, nullptr), 5);
    EXPECT_STREQ(bytes, "ab\xC3\xA9");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab\u00E9", -1, bytes, 4, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9", 1, bytes, 1, nullptr, nullptr), 0);
    char16_t target[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", 4, target, 2), 0);
    EXPECT_EQ(target[2], u'x');
}

TEST(CodePage, UnpairedSurrogateIsReplacedAndReported) {
    BOOL usedDefault = FALSE;
    char bytes[4] = {};
    std::u16string lone(1, static_cast<char16_t>(0xD800));
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone.data(), 1, bytes, 4, nullptr, &usedDefault), 1);
    EXPECT_EQ(bytes[0], '?');
    EXPECT_TRUE(usedDefault);
}

}  // namespace
