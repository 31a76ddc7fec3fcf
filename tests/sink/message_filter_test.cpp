#include "message_filter.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fake_mail_message.h"
#include "memory_rule_store.h"
#include "rule_lists.h"
#include "temp_hive.h"

namespace {

// An out-of-office reply from ooo@away.example to friend@home.example; list 0
// holds the sender's domain, so the rules condemn it unless a test says otherwise.
class FilterMessageTest : public ::testing::Test {
protected:
    FilterMessageTest() {
        reply.SetSender("ooo@away.example");
        reply.MarkOutOfOffice();
        reply.recipients = {"friend@home.example"};
        WriteRuleList(0, {"@away.example"});
    }

    // Judges afresh: a verdict from an earlier round is wiped first.
    bool Judge(FakeMailMessage& message) {
        message.dwords.clear();
        int writesBefore = message.putDwordCalls;
        FilterMessage(&message);
        EXPECT_EQ(message.references, 1) << "every interface the filter asked for is released";
        EXPECT_LE(message.putDwordCalls - writesBefore, 1);
        return message.Condemned();
    }

    TempHive hive;
    FakeMailMessage reply;
};

TEST_F(FilterMessageTest, CondemnsAReplyFromAListedDomain) {
    EXPECT_TRUE(Judge(reply));
    EXPECT_EQ(reply.dwords.size(), 1u) << "the status is the only write";
}

TEST_F(FilterMessageTest, OnlyTheExactMarkerMakesAReply) {
    for (const char* marker : {"exoof", "EXOOF", "ExOOF ", "ExOOFx", "ExOO", ""}) {
        FakeMailMessage message;
        message.SetSender("ooo@away.example");
        message.recipients = {"friend@home.example"};
        message.MarkOutOfOffice(marker);
        EXPECT_FALSE(Judge(message)) << '"' << marker << '"';
        EXPECT_EQ(message.putDwordCalls, 0);
    }
    FakeMailMessage unmarked;
    unmarked.SetSender("ooo@away.example");
    unmarked.recipients = {"friend@home.example"};
    EXPECT_FALSE(Judge(unmarked));
}

TEST_F(FilterMessageTest, RecipientDomainOrSenderAddressInTheExemptListsSavesTheReply) {
    WriteRuleList(1, {"@HOME.example"});
    EXPECT_FALSE(Judge(reply));

    FakeMailMessage other;
    other.SetSender("OOO@Away.Example");
    other.MarkOutOfOffice();
    other.recipients = {"friend@elsewhere.example"};
    WriteRuleList(0, {"@AWAY.EXAMPLE"});
    WriteRuleList(2, {"ooo@away.example"});
    EXPECT_FALSE(Judge(other));
}

TEST_F(FilterMessageTest, AnyDomainEntryCondemnsEveryReplyNotExempted) {
    WriteRuleList(0, {"*"});
    WriteRuleList(1, {"@home.example"});
    WriteRuleList(2, {"vip@corp.example"});

    auto replyFrom = [](const std::string& sender, const std::string& recipient) {
        auto message = std::make_unique<FakeMailMessage>();
        message->SetSender(sender);
        message->MarkOutOfOffice();
        message->recipients = {recipient};
        return message;
    };
    EXPECT_TRUE(Judge(*replyFrom("anyone@corp.example", "x@partner.example")));
    EXPECT_TRUE(Judge(*replyFrom("no-at-sign", "x@partner.example")));
    EXPECT_FALSE(Judge(*replyFrom("anyone@corp.example", "x@home.example")));
    EXPECT_FALSE(Judge(*replyFrom("vip@corp.example", "x@partner.example")));
}

TEST_F(FilterMessageTest, EmptyOrMissingList0CondemnsNothing) {
    WriteRuleList(0, {});
    EXPECT_FALSE(Judge(reply));
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, ToolListPath(0)), ERROR_SUCCESS);
    FakeMailMessage again;
    again.SetSender("ooo@away.example");
    again.MarkOutOfOffice();
    again.recipients = {"friend@home.example"};
    EXPECT_FALSE(Judge(again));
}

TEST_F(FilterMessageTest, SenderWithoutAtSignIsItsOwnDomain) {
    reply.SetSender("postmaster");
    EXPECT_FALSE(Judge(reply));
    WriteRuleList(0, {"POSTMASTER"});
    EXPECT_TRUE(Judge(reply));
}

TEST_F(FilterMessageTest, DomainStartsAtTheFirstAtSign) {
    reply.SetSender("a@b@away.example");
    EXPECT_FALSE(Judge(reply));
    WriteRuleList(0, {"@b@away.example"});
    EXPECT_TRUE(Judge(reply));
}

TEST_F(FilterMessageTest, OnlyTheFirstRecipientCounts) {
    WriteRuleList(1, {"@home.example"});
    reply.recipients = {"boss@work.example", "friend@home.example"};
    EXPECT_TRUE(Judge(reply));
    EXPECT_EQ(reply.recipientReads, 1);
}

TEST_F(FilterMessageTest, NoUsableRecipientMeansNoVerdict) {
    WriteRuleList(0, {"*"});
    reply.recipients = {};
    EXPECT_FALSE(Judge(reply));
    reply.recipients = {"undisclosed-recipients", "friend@home.example"};
    EXPECT_FALSE(Judge(reply));
    reply.recipients = {"friend@home.example"};
    reply.countResult = E_FAIL;
    EXPECT_FALSE(Judge(reply));
    reply.countResult = S_OK;
    reply.recipientReadResult = E_FAIL;
    EXPECT_FALSE(Judge(reply));
    reply.recipientReadResult = S_OK;
    reply.recipientsQueryResult = E_NOINTERFACE;
    EXPECT_FALSE(Judge(reply));
}

TEST_F(FilterMessageTest, UnreadableSenderOrMarkerMeansNoVerdict) {
    WriteRuleList(0, {"*"});
    reply.strings.erase(IMMPID_MP_SENDER_ADDRESS_SMTP);
    EXPECT_FALSE(Judge(reply));

    reply.SetSender("ooo@away.example");
    reply.managementQueryResult = E_NOINTERFACE;
    EXPECT_FALSE(Judge(reply));
    reply.managementQueryResult = S_OK;
    reply.allocRangeResult = S_FALSE;  // only S_OK counts
    EXPECT_FALSE(Judge(reply));
}

TEST_F(FilterMessageTest, AddressesLongerThan1023CharactersAreUnreadableNeverCut) {
    WriteRuleList(0, {"*"});
    auto address = [](std::size_t length) { return std::string(length - 13, 's') + "@away.example"; };

    reply.SetSender(address(1023));
    EXPECT_TRUE(Judge(reply));
    for (std::size_t length : {1024u, 4095u}) {
        reply.SetSender(address(length));
        EXPECT_FALSE(Judge(reply)) << length;
    }

    reply.SetSender("ooo@away.example");
    reply.recipients = {address(1023)};
    EXPECT_TRUE(Judge(reply));
    for (std::size_t length : {1024u, 4095u}) {
        reply.recipients = {address(length)};
        EXPECT_FALSE(Judge(reply)) << length;
    }
}

TEST(FirstRecipientDomain, IsTheFirstAddressFromItsFirstAtSign) {
    FakeMailMessage message;
    EXPECT_STREQ(FirstRecipientDomain(&message).data(), "");
    message.recipients = {"a@b@c.example", "d@e.example"};
    EXPECT_STREQ(FirstRecipientDomain(&message).data(), "@b@c.example");
    message.recipients = {"nobody"};
    EXPECT_STREQ(FirstRecipientDomain(&message).data(), "");
    EXPECT_EQ(message.references, 1);
}

TEST(FilterMessageLookups, StopAsSoonAsTheOutcomeIsSettled) {
    auto lookupsFor = [](MemoryRuleStore& store, bool marked) {
        FakeMailMessage message;
        message.SetSender("ooo@away.example");
        message.recipients = {"friend@home.example"};
        if (marked) message.MarkOutOfOffice();
        FilterMessage(&message, store);
        return store.opened;
    };
    MemoryRuleStore store;
    EXPECT_EQ(lookupsFor(store, false), std::vector<int>{}) << "no marker, no registry access";
    EXPECT_EQ(lookupsFor(store, true), (std::vector<int>{0}));

    store.opened.clear();
    store.lists[0] = {OLESTR("@away.example")};
    store.lists[1] = {OLESTR("@home.example")};
    EXPECT_EQ(lookupsFor(store, true), (std::vector<int>{0, 1}));

    store.opened.clear();
    store.lists[1].clear();
    EXPECT_EQ(lookupsFor(store, true), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(store.closes, 6);
}

TEST(FilterMessageLookups, RunningOutOfMemoryInALookupLeavesTheMessageAlone) {
    MemoryRuleStore store;
    store.lists[0] = {OLESTR("*")};
    store.outOfMemoryOnList = 1;
    FakeMailMessage message;
    message.SetSender("ooo@away.example");
    message.recipients = {"friend@home.example"};
    message.MarkOutOfOffice();
    EXPECT_THROW(FilterMessage(&message, store), std::bad_alloc);
    EXPECT_FALSE(message.Condemned());
    EXPECT_EQ(message.references, 1);
}

// Each reply is judged by its own first recipient, whatever runs beside it.
TEST_F(FilterMessageTest, TwoThreadsJudgeTheirOwnRepliesAtOnce) {
    WriteRuleList(1, {"@home.example"});
    constexpr int kRounds = 300;
    auto judgeMany = [](const char* recipient, int* condemned) {
        for (int i = 0; i < kRounds; ++i) {
            FakeMailMessage message;
            message.SetSender("ooo@away.example");
            message.MarkOutOfOffice();
            message.recipients = {recipient};
            FilterMessage(&message);
            if (message.Condemned()) ++*condemned;
        }
    };
    int exemptCondemned = 0, noDomainCondemned = 0, workCondemned = 0;
    std::thread exempt([&] {
        judgeMany("friend@home.example", &exemptCondemned);
        judgeMany("nobody", &noDomainCondemned);
    });
    std::thread work([&] { judgeMany("boss@work.example", &workCondemned); });
    exempt.join();
    work.join();
    EXPECT_EQ(exemptCondemned, 0);
    EXPECT_EQ(noDomainCondemned, 0);
    EXPECT_EQ(workCondemned, kRounds);
}

}  // namespace
