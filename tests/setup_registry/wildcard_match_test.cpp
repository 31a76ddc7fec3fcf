#include "wildcard_match.h"

#include <gtest/gtest.h>

namespace {

TEST(WildcardMatch, WholeNameCaseSensitiveWithStarQuestionNumberAndLists) {
    // clang-format off
    const struct {
        std::string name;
        const char* pattern;
        bool matches;
    } cases[] = {
        // A star matches any run, including none, and gives back what it took.
        {"", "*", true}, {"anything at all", "*", true},
        {"@example.com", "@*", true}, {"@", "@*", true}, {"example.com", "@*", false},
        {"abcbc", "a*bc", true}, {"abcbd", "a*bc", false},
        {"ab", "a**b", true}, {"axxbyyc", "a*b*c", true}, {"axxbyy", "a*b*c", false},
        // The whole name, case sensitive.
        {"abc", "abc", true}, {"abcd", "abc", false}, {"xabc", "abc", false}, {"Abc", "abc", false},
        {"", "", true}, {"a", "", false}, {"ABCdef", "abc*", false}, {"abcdef", "abc*", true},
        // "?" one character, "#" one digit.
        {"a", "?", true}, {"", "?", false}, {"ab", "?", false},
        {"v7", "v#", true}, {"vx", "v#", false}, {"v12", "v#", false}, {"v12", "v##", true},
        {"2024-01", "####-##", true},
        // Character lists.
        {"b", "[abc]", true}, {"d", "[abc]", false}, {"B", "[abc]", false},
        {"m", "[a-z]", true}, {"M", "[a-z]", false}, {"5", "[0-3x]", false}, {"x", "[0-3x]", true},
        {"d", "[!abc]", true}, {"a", "[!abc]", false}, {"", "[!abc]", false},
        {"-", "[-a]", true}, {"-", "[a-]", true}, {"b", "[-a]", false},
        // Specials inside a list stand for themselves.
        {"*", "[*]", true}, {"x", "[*]", false}, {"?", "[?]", true}, {"[", "[[]", true}, {"a]", "a]", true},
        {"ab", "a[]b", true},  // an empty list is the empty run
        {"m", "[z-a]", false}, {"[ab", "[ab", true},  // unclosed: a plain character
        {"xy7", "[wx][!a-c]#", true},
        // A character is a code point: é is one, É is not é, a stray byte still counts once.
        {"\xC3\xA9", "?", true}, {"\xC3\xA9t\xC3\xA9", "?t?", true}, {"\xC3\xA9", "[\xC3\xA0-\xC3\xBF]", true},
        {"\xC3\x89", "\xC3\xA9", false}, {"\xFF", "?", true},
        // A long name does not blow up the backtracking.
        {std::string(5000, 'a'), "*a*a*a*a*a*a*b", false}, {std::string(5000, 'a') + "b", "*a*a*a*a*a*a*b", true},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.matches) << '"' << c.name << "\" against \"" << c.pattern << '"';
}

}  // namespace
