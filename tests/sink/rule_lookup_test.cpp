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

std::vector<std::string> Numbered(const std::string& prefix, int count) {
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) entries.push_back(prefix + std::to_string(i) + ".example");
    return entries;
}

TEST_F(RuleLookup, MissingOrEmptyListMatchesNothing) {
    EXPECT_FALSE(IsInRuleList("@example.com", 0));
    WriteRuleList(0, {});
    EXPECT_FALSE(IsInRuleList("@example.com", 0));
    EXPECT_FALSE(IsInRuleList("", 0));
}

TEST_F(RuleLookup, AnyDomainEntryMatchesEveryTextInEveryList) {
    for (int list : {0, 1, 2}) {
        WriteRuleList(list, {"@other.example", "*"});
        EXPECT_TRUE(IsInRuleList("@example.com", list));
        EXPECT_TRUE(IsInRuleList("no-at-sign", list));
    }
}

TEST_F(RuleLookup, StarIsTheAnyDomainEntryOnlyAsAStringNamedExactlyStar) {
    AddValue(0, OLESTR("*"), REG_DWORD, std::string(4, '\0'));
    AddValue(0, OLESTR("*@example.com"));
    EXPECT_FALSE(IsInRuleList("@example.com", 0));
    EXPECT_FALSE(IsInRuleList("x@example.com", 0));
    EXPECT_TRUE(IsInRuleList("*@EXAMPLE.com", 0));
}

TEST_F(RuleLookup, FoldsOnlyTheLettersAToZ) {
    WriteRuleList(0, {"@Example.COM", "@b\xC3\x84r.example"});  // "@bÄr.example"
    EXPECT_TRUE(IsInRuleList("@example.com", 0));
    EXPECT_TRUE(IsInRuleList("@EXAMPLE.COM", 0));
    EXPECT_TRUE(IsInRuleList("@B\xC3\x84R.EXAMPLE", 0));
    EXPECT_FALSE(IsInRuleList("@b\xC3\xA4r.example", 0)) << "ä is not folded to Ä";
}

TEST_F(RuleLookup, OnlyWholeEntriesMatch) {
    WriteRuleList(0, {"@example.com"});
    EXPECT_FALSE(IsInRuleList("@mail.example.com", 0));
    EXPECT_FALSE(IsInRuleList("@example.co", 0));
    EXPECT_FALSE(IsInRuleList("@example.com.", 0));
    EXPECT_FALSE(IsInRuleList("user@example.com", 0));
}

TEST_F(RuleLookup, FindsAMatchAfterManyOthersInEachList) {
    for (int list : {0, 1, 2}) {
        std::vector<std::string> entries = Numbered("@d" + std::to_string(list) + "-", 500);
        entries.push_back("@last.example");
        WriteRuleList(list, entries);
        EXPECT_TRUE(IsInRuleList("@LAST.example", list));
        EXPECT_FALSE(IsInRuleList("@absent.example", list));
    }
}

TEST_F(RuleLookup, DataAndOtherTypesPlayNoPart) {
    AddValue(2, OLESTR("boss@example.com"), REG_SZ, std::string("ignored", 8));
    AddValue(2, OLESTR("clerk@example.com"), REG_EXPAND_SZ);
    EXPECT_TRUE(IsInRuleList("boss@example.com", 2));
    EXPECT_FALSE(IsInRuleList("clerk@example.com", 2));
}

TEST_F(RuleLookup, ListNumbersSelectTheirOwnKeysAndAnyOtherNumberMeansList2) {
    WriteRuleList(0, {"@zero.example"});
    WriteRuleList(1, {"@one.example"});
    WriteRuleList(2, {"two@example.com"});
    EXPECT_TRUE(IsInRuleList("@zero.example", 0));
    EXPECT_FALSE(IsInRuleList("@one.example", 0));
    // The tool writes "ExtOOFEnabled...", the sink reads "ExtOOFenabled...": one key.
    EXPECT_TRUE(IsInRuleList("@one.example", 1));
    EXPECT_TRUE(IsInRuleList("two@example.com", 2));
    EXPECT_TRUE(IsInRuleList("two@example.com", 7));
    EXPECT_TRUE(IsInRuleList("two@example.com", -1));
}

TEST_F(RuleLookup, NamesLongerThan1023CharactersAreSkipped) {
    std::string fits = "@" + std::string(1022, 'a');
    std::string tooLong = "@" + std::string(1023, 'b');
    WriteRuleList(0, {tooLong, fits});
    EXPECT_TRUE(IsInRuleList(fits.c_str(), 0));
    EXPECT_FALSE(IsInRuleList(tooLong.c_str(), 0));
    EXPECT_FALSE(IsInRuleList(tooLong.substr(0, 1023).c_str(), 0)) << "never compared cut short";
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
