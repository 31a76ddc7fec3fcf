#include "message_filter.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_mail_message.h"
#include "memory_rule_store.h"
#include "rule_lists.h"
#include "temp_hive.h"

namespace {

// An out-of-office reply from ooo@away.example to friend@home.example, which "*"
// in list 0 condemns unless a test says otherwise.
class FilterMessageTest : public ::testing::Test {
protected:
    FilterMessageTest() {
        reply.MakeReply();
        WriteRuleList(0, {"*"});
    }

    // Judges afresh: a verdict from an earlier round is wiped first.
    bool Judge(FakeMailMessage& message) {
        message.dwords.clear();
        int writesBefore = message.putDwordCalls, recipientReadsBefore = message.recipientReads;
        FilterMessage(&message);
        EXPECT_EQ(message.references, 1) << "every interface the filter asked for is released";
        EXPECT_LE(message.putDwordCalls - writesBefore, 1);
        EXPECT_LE(message.dwords.size(), 1u) << "the status is the only write";
        EXPECT_LE(message.recipientReads - recipientReadsBefore, 1) << "only the first recipient is read";
        return message.Condemned();
    }

    TempHive hive;
    FakeMailMessage reply;
};

TEST_F(FilterMessageTest, TheRuleOverSenderDomainRecipientDomainAndSenderAddress) {
    const struct {
        std::vector<std::string> lists[3];  // an empty list is a missing key
        const char* sender;
        std::vector<std::string> recipients;
        bool condemned;
    } cases[] = {
        {{{"@away.example"}, {}, {}}, "ooo@away.example", {"friend@home.example"}, true},
        {{{"@away.example"}, {"@HOME.example"}, {}}, "ooo@away.example", {"friend@home.example"}, false},
        {{{"@AWAY.EXAMPLE"}, {}, {"ooo@away.example"}}, "OOO@Away.Example", {"friend@elsewhere.example"}, false},
        {{{}, {}, {}}, "ooo@away.example", {"friend@home.example"}, false},
        // "*" condemns every reply not exempted, whatever its sender.
        {{{"*"}, {"@home.example"}, {"vip@corp.example"}}, "anyone@corp.example", {"x@partner.example"}, true},
        {{{"*"}, {"@home.example"}, {"vip@corp.example"}}, "no-at-sign", {"x@partner.example"}, true},
        {{{"*"}, {"@home.example"}, {"vip@corp.example"}}, "anyone@corp.example", {"x@home.example"}, false},
        {{{"*"}, {"@home.example"}, {"vip@corp.example"}}, "vip@corp.example", {"x@partner.example"}, false},
        // A sender without "@" is its own domain; a domain starts at the first "@".
        {{{"@away.example"}, {}, {}}, "postmaster", {"friend@home.example"}, false},
        {{{"POSTMASTER"}, {}, {}}, "postmaster", {"friend@home.example"}, true},
        {{{"@away.example"}, {}, {}}, "a@b@away.example", {"friend@home.example"}, false},
        {{{"@b@away.example"}, {}, {}}, "a@b@away.example", {"friend@home.example"}, true},
        {{{"@away.example"}, {"@b@home.example"}, {}}, "ooo@away.example", {"friend@b@home.example"}, false},
        // Only the first recipient counts.
        {{{"@away.example"}, {"@home.example"}, {}},
         "ooo@away.example",
         {"boss@work.example", "friend@home.example"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sender) + " to " + c.recipients[0]);
        for (int list = 0; list < 3; ++list) {
            if (c.lists[list].empty()) {
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, ToolListPath(list));
            } else {
                WriteRuleList(list, c.lists[list]);
            }
        }
        FakeMailMessage message;
        message.MakeReply(c.sender);
        message.recipients = c.recipients;
        EXPECT_EQ(Judge(message), c.condemned);
    }
}

// Without the exact marker, a usable first recipient, the sender or any interface
// the filter asks for there is no verdict, and nothing is written.
TEST_F(FilterMessageTest, NoVerdictWithoutTheExactMarkerARecipientTheSenderOrTheInterfaces) {
    ASSERT_TRUE(Judge(reply)) << "the reply as it comes is condemned";
    const struct {
        const char* spoiled;
        std::function<void(FakeMailMessage&)> spoil;
    } cases[] = {
        {"marker exoof", [](auto& m) { m.MarkOutOfOffice("exoof"); }},
        {"marker EXOOF", [](auto& m) { m.MarkOutOfOffice("EXOOF"); }},
        {"marker 'ExOOF '", [](auto& m) { m.MarkOutOfOffice("ExOOF "); }},
        {"marker ExOOFx", [](auto& m) { m.MarkOutOfOffice("ExOOFx"); }},
        {"marker ExOO", [](auto& m) { m.MarkOutOfOffice("ExOO"); }},
        {"empty marker", [](auto& m) { m.MarkOutOfOffice(""); }},
        {"no marker", [](auto& m) { m.strings.erase(FakeMailMessage::kRangeStart + 27); }},
        {"no recipient", [](auto& m) { m.recipients = {}; }},
        {"first recipient without a domain", [](auto& m) { m.recipients.insert(m.recipients.begin(), "nobody"); }},
        {"no sender", [](auto& m) { m.strings.erase(IMMPID_MP_SENDER_ADDRESS_SMTP); }},
        {"count", [](auto& m) { m.countResult = E_FAIL; }},
        {"recipient read", [](auto& m) { m.recipientReadResult = E_FAIL; }},
        {"recipient list", [](auto& m) { m.recipientsQueryResult = E_NOINTERFACE; }},
        {"property management", [](auto& m) { m.managementQueryResult = E_NOINTERFACE; }},
        {"marker range", [](auto& m) { m.allocRangeResult = S_FALSE; }},  // only S_OK counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spoiled);
        FakeMailMessage message;
        message.MakeReply();
        c.spoil(message);
        EXPECT_FALSE(Judge(message));
        EXPECT_EQ(message.putDwordCalls, 0);
    }
}

TEST_F(FilterMessageTest, AddressesLongerThan1023CharactersAreUnreadableNeverCut) {
    auto address = [](std::size_t length) { return std::string(length - 13, 's') + "@away.example"; };
    for (std::size_t length : {1023u, 1024u, 4095u}) {
        SCOPED_TRACE(length);
        reply.SetSender(address(length));
        reply.recipients = {"friend@home.example"};
        EXPECT_EQ(Judge(reply), length == 1023);
        reply.SetSender("ooo@away.example");
        reply.recipients = {address(length)};
        EXPECT_EQ(Judge(reply), length == 1023);
    }
}

TEST(FilterMessageLookups, StopAsSoonAsTheOutcomeIsSettled) {
    auto lookupsFor = [](MemoryRuleStore& store, bool marked) {
        FakeMailMessage message;
        message.MakeReply();
        if (!marked) message.strings.erase(FakeMailMessage::kRangeStart + 27);
        store.opened.clear();
        FilterMessage(&message, store);
        return store.opened;
    };
    MemoryRuleStore store;
    EXPECT_EQ(lookupsFor(store, false), std::vector<int>{}) << "no marker, no registry access";
    EXPECT_EQ(lookupsFor(store, true), (std::vector<int>{0}));
    store.lists[0] = {OLESTR("@away.example")};
    store.lists[1] = {OLESTR("@home.example")};
    EXPECT_EQ(lookupsFor(store, true), (std::vector<int>{0, 1}));
    store.lists[1].clear();
    EXPECT_EQ(lookupsFor(store, true), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(store.closes, 6);
}

}  // namespace
