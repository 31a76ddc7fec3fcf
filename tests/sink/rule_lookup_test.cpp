#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory_rule_store.h"
#include "rule_lists.h"
#include "rule_store.h"
#include "temp_hive.h"

namespace {

class RuleLookup : public ::testing::Test {
protected:
    TempHive hive;
};

// Each case in a fresh hive: the lists as the tool writes them, then the lookups.
TEST_F(RuleLookup, MatchesWholeEntriesFoldingAToZWithStarForAnyText) {
    std::vector<std::string> many;
    for (int i = 0; i < 500; ++i) many.push_back("@d-" + std::to_string(i) + ".example");
    many.push_back("@last.example");
    const std::string fits = "@" + std::string(1022, 'a'), tooLong = "@" + std::string(1023, 'b');
    const struct {
        const char* name;
        std::vector<std::string> lists[3];  // an empty list is a missing key
        int list;
        std::vector<std::pair<std::string, bool>> lookups;
    } cases[] = {
        {"missing list", {}, 0, {{"@example.com", false}, {"", false}}},
        {"any domain in list 0", {{"@other.example", "*"}}, 0, {{"@example.com", true}, {"no-at-sign", true}}},
        {"any domain in list 1", {{}, {"*"}}, 1, {{"@example.com", true}}},
        {"any domain in list 2", {{}, {}, {"*"}}, 2, {{"no-at-sign", true}}},
        {"case", {{"@Example.COM"}}, 0, {{"@example.com", true}, {"@EXAMPLE.COM", true}}},
        {"whole entries",
         {{"@example.com"}},
         0,
         {{"@mail.example.com", false}, {"@example.co", false}, {"@example.com.", false}, {"user@example.com", false}}},
        {"many in list 0", {many}, 0, {{"@LAST.example", true}, {"@absent.example", false}}},
        {"many in list 2", {{}, {}, many}, 2, {{"@LAST.example", true}, {"@absent.example", false}}},
        // The tool writes "ExtOOFEnabled...", the sink reads "ExtOOFenabled...": one key.
        {"list 1 by its own key", {{"@zero.example"}, {"@one.example"}}, 1, {{"@one.example", true}}},
        {"list 0 by its own key", {{"@zero.example"}, {"@one.example"}}, 0, {{"@one.example", false}}},
        {"list 7 is list 2", {{}, {}, {"two@example.com"}}, 7, {{"two@example.com", true}}},
        {"list -1 is list 2", {{}, {}, {"two@example.com"}}, -1, {{"two@example.com", true}}},
        // Most names are refused at their first two characters; these must not be.
        {"the first two characters in either case",
         {{"@Ab.example", "xY@example.com"}},
         0,
         {{"@aB.EXAMPLE", true}, {"XY@EXAMPLE.COM", true}, {"@ac.example", false}, {"x@example.com", false}}},
        {"characters a case apart that are not letters",
         {{"`[.example", "@{"}},
         0,
         {{"@[.example", false}, {"@[", false}}},
        {"names of one character and none",
         {{"@", "x", ""}},
         0,
         {{"@", true}, {"X", true}, {"", true}, {"@ ", false}, {"x ", false}, {"xx", false}}},
        {"a space after the first character", {{"@ "}}, 0, {{"@", false}, {"@ ", true}}},
        {"names over 1023 characters are skipped",
         {{tooLong, fits}},
         0,
         {{fits, true}, {tooLong, false}, {tooLong.substr(0, 1023), false}}},  // never compared cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int list = 0; list < 3; ++list) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, ToolListPath(list));
            if (!c.lists[list].empty()) WriteRuleList(list, c.lists[list]);
        }
        for (const auto& [text, found] : c.lookups) EXPECT_EQ(IsInRuleList(text.c_str(), c.list), found) << text;
    }
}

TEST_F(RuleLookup, EmptyListMatchesNothing) {
    WriteRuleList(0, {});
    EXPECT_FALSE(IsInRuleList("@example.com", 0));
}

// Left out under Windows, whose ANSI code page is not UTF-8.
TEST_F(RuleLookup, FoldsOnlyTheLettersAToZ) {
    WriteRuleList(0, {"@b\xC3\x84r.example"});  // "@bÄr.example"
    EXPECT_TRUE(IsInRuleList("@B\xC3\x84R.EXAMPLE", 0));
    EXPECT_FALSE(IsInRuleList("@b\xC3\xA4r.example", 0)) << "ä is not folded to Ä";
    WriteRuleList(1, {"@\xC3\x84r.example", "\xC3\x84r@example.com"});  // not ASCII at the first two
    EXPECT_TRUE(IsInRuleList("@\xC3\x84R.example", 1));
    EXPECT_TRUE(IsInRuleList("\xC3\x84r@EXAMPLE.com", 1));
    EXPECT_FALSE(IsInRuleList("@\xC3\xA4r.example", 1));
}

// Only a REG_SZ value counts, by its name alone: "*" of another type is no wildcard.
TEST_F(RuleLookup, OnlyStringValuesCountByTheirNamesAlone) {
    AddValue(0, OLESTR("*"), REG_DWORD, std::string(4, '\0'));
    AddValue(0, OLESTR("*@example.com"));
    AddValue(2, OLESTR("boss@example.com"), REG_SZ, std::string("ignored", 8));
    AddValue(2, OLESTR("clerk@example.com"), REG_EXPAND_SZ);
    EXPECT_FALSE(IsInRuleList("@example.com", 0));
    EXPECT_FALSE(IsInRuleList("x@example.com", 0));
    EXPECT_TRUE(IsInRuleList("*@EXAMPLE.com", 0));
    EXPECT_TRUE(IsInRuleList("boss@example.com", 2));
    EXPECT_FALSE(IsInRuleList("clerk@example.com", 2));
}

TEST(RuleLookupStore, AReadFailingPartWayEndsTheLookupWithoutAMatch) {
    MemoryRuleStore store;
    store.lists[0] = {OLESTR("@one.example"), OLESTR("@two.example"), OLESTR("@three.example")};
    store.failReadAt = 1;
    EXPECT_TRUE(IsInRuleList("@one.example", 0, store));
    EXPECT_FALSE(IsInRuleList("@three.example", 0, store));
    EXPECT_EQ(store.opened.size(), 2u);
    EXPECT_EQ(store.closes, 2);
}

TEST(RuleLookupStore, NamesThatDoNotFitAsEightBitTextAreSkipped) {
    MemoryRuleStore store;
    // 600 characters of "é" take 1200 bytes as 8-bit text: more than an entry holds.
    store.lists[0] = {OLESTR("@") + std::basic_string<WCHAR>(600, OLESTR('\u00E9')), OLESTR("@fits.example")};
    std::string cutShort = "@";
    for (int i = 0; i < 511; ++i) cutShort += "\xC3\xA9";  // what a conversion cut at 1023 bytes would give
    EXPECT_FALSE(IsInRuleList(cutShort.c_str(), 0, store));
    EXPECT_TRUE(IsInRuleList("@fits.example", 0, store));
}

}  // namespace
