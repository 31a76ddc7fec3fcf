#include <string>

#include <gtest/gtest.h>

#include "winbase.h"

namespace {

std::u16string widen(const std::string& text, DWORD flags = 0) {
    int needed = MultiByteToWideChar(CP_ACP, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(needed), u'\0');
    int written = MultiByteToWideChar(CP_ACP, flags, text.data(), static_cast<int>(text.size()), wide.data(), needed);
    EXPECT_EQ(written, needed);
    return wide;
}

std::string narrow(const std::u16string& text) {
    int needed =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), needed, nullptr, nullptr);
    return bytes;
}

TEST(CodePage, AsciiAndUtf8RoundTripWithOrWithoutALength) {
    EXPECT_EQ(widen("IStream"), u"IStream");
    EXPECT_EQ(widen("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"caf\u00E9 \U0001F600");
    EXPECT_EQ(narrow(u"caf\u00E9 \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    // A length of -1 counts the terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
}

TEST(CodePage, MalformedBytesBecomeReplacementOrFailWhenAskedUnknownCodePagesFail) {
    EXPECT_EQ(widen("a\xFF"
                    "b"),
              u"a\uFFFD"
              "b");
    EXPECT_EQ(widen("\xC3"), u"\uFFFD");  // truncated sequence
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, nullptr, 0), 0) << "an unknown code page fails";
}

TEST(CodePage, TerminatedTextConvertsWholeOrNotAtAll) {
    char bytes[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, bytes, 4, nullptr, nullptr), 4);
    EXPECT_STREQ(bytes, "abc");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, bytes, 3, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab\u00E9", -1, bytes, 5, nullptr, nullptr), 5);
    EXPECT_STREQ(bytes, "ab\xC3\xA9");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab\u00E9", -1, bytes, 4, nullptr, nullptr), 0);
}

TEST(CodePage, TooSmallTargetFailsWithoutOverrun) {
    char16_t target[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", 4, target, 2), 0);
    EXPECT_EQ(target[2], u'x');
    char bytes[2] = {'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9", 1, bytes, 1, nullptr, nullptr), 0);
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
