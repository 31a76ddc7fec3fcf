// pellicor-submit against rule lists written by pellicor-reg in a throwaway hive:
// every combination of the rule, each in a fresh hive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_program.h"
#include "temp_hive.h"

namespace {

const std::string kRoot = "HKLM\\SOFTWARE\\Orlenby\\Pellicor\\";
const char* kLists[] = {"ExtOOFdisabledDomains", "ExtOOFenabledRecipientDomains", "ExtOOFEnabledSenderAddresses"};

class EndToEnd : public ::testing::Test {
protected:
    void addEntry(int list, const std::string& entry) {
        ProgramResult r = RunProgram(
            {PELLICOR_REG, "add", kRoot + kLists[list], "/v", entry, "/t", "REG_SZ", "/d", "", "/f"}, *hive_);
        ASSERT_EQ(r.status, 0) << "pellicor-reg add " << entry;
    }
    // The verdict on `message` from the null sender to bob@partner.example.
    std::string submit(const std::string& message) {
        ProgramResult r =
            RunProgram({PELLICOR_SUBMIT, "--register", "--from", "", "--to", "bob@partner.example"}, *hive_, message);
        EXPECT_EQ(r.status, 0);
        return r.out;
    }
    std::unique_ptr<TempHive> hive_ = std::make_unique<TempHive>();
};

const char kAutoReply[] =
    "From: Ann <ann@example.com>\r\nTo: bob@partner.example\r\nSubject: Out of Office: plans\r\n"
    "Auto-Submitted: auto-replied\r\n\r\nI am away until Monday.\r\n";
const char kOrdinary[] =
    "From: Ann <ann@example.com>\r\nTo: bob@partner.example\r\nSubject: plans\r\n\r\nSee you Monday.\r\n";

// Entries per list for one case: an entry that matches, one that does not, or no list at all.
enum class List0 { SenderDomain, AnyDomain, OtherDomain, Missing };
enum class Entry { Matching, Other, Missing };

TEST_F(EndToEnd, EveryCombinationOfTheRule) {
    for (bool outOfOffice : {true, false})
        for (List0 list0 : {List0::SenderDomain, List0::AnyDomain, List0::OtherDomain, List0::Missing})
            for (Entry list1 : {Entry::Matching, Entry::Other, Entry::Missing})
                for (Entry list2 : {Entry::Matching, Entry::Other, Entry::Missing}) {
                    hive_.reset();  // the old hive's clean-up must not undo the new one's
                    hive_ = std::make_unique<TempHive>();
                    if (list0 == List0::SenderDomain) addEntry(0, "@EXAMPLE.com");
                    if (list0 == List0::AnyDomain) addEntry(0, "*");
                    if (list0 == List0::OtherDomain) addEntry(0, "@elsewhere.example");
                    if (list1 != Entry::Missing)
                        addEntry(1, list1 == Entry::Matching ? "@partner.example" : "@other.example");
                    if (list2 != Entry::Missing)
                        addEntry(2, list2 == Entry::Matching ? "ann@example.com" : "carl@example.com");

                    bool condemned = outOfOffice && (list0 == List0::SenderDomain || list0 == List0::AnyDomain) &&
                                     list1 != Entry::Matching && list2 != Entry::Matching;
                    std::string verdict = submit(outOfOffice ? kAutoReply : kOrdinary);
                    EXPECT_EQ(verdict, condemned ? "deleted\n" : "delivered\n")
                        << "oof=" << outOfOffice << " list0=" << int(list0) << " list1=" << int(list1)
                        << " list2=" << int(list2);
                }
}

// Refused on the command line or when the message is read: the hive is never opened.
TEST_F(EndToEnd, BadInputGetsOneLineAndStatus2) {
    const struct {
        std::vector<std::string> args;
        std::string input;
    } cases[] = {
        {{PELLICOR_SUBMIT, "--from", "a@example.com"}, kOrdinary},
        {{PELLICOR_SUBMIT, "--from", "a@example.com", "--to", "b@partner.example", "/nonexistent.eml"}, ""},
    };
    for (const auto& c : cases) {
        ProgramResult r = RunProgram(c.args, *hive_, c.input);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(!r.err.empty() && r.err.find('\n') == r.err.size() - 1) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(hive_->path())) << "bad input leaves the hive alone";
}

}  // namespace
