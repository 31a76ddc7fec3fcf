#include "message_event.h"

#include <gtest/gtest.h>

#include "fake_mail_message.h"
#include "fake_message_component.h"
#include "memory_rule_store.h"
#include "rule_lists.h"
#include "temp_hive.h"

namespace {

constexpr char kReplyContent[] =
    "From: Out Of Office <ooo@away.example>\r\n"
    "To: friend@home.example\r\n"
    "Subject: Automatic reply\r\n"
    "Auto-Submitted: auto-replied\r\n"
    "\r\n"
    "I am away until Monday.\r\n";

// An out-of-office reply that the rules condemn, and a message component that
// loads it; each test spoils one step.
class MessageEvent : public ::testing::Test {
protected:
    MessageEvent() {
        reply.content = kReplyContent;
        reply.SetSender("ooo@away.example");
        reply.MarkOutOfOffice();
        reply.recipients = {"friend@home.example"};
        rules.lists[0] = {OLESTR("*")};
        FakeMessageComponent::current = &component;
    }
    ~MessageEvent() override { FakeMessageComponent::current = nullptr; }

    // Runs the event and checks what must hold whatever happened.
    void Fire(IMailMsgProperties* message) {
        EXPECT_EQ(HandleMessageEvent(message, rules, FakeMessageComponent::Create), S_OK);
        EXPECT_EQ(component.alive, 0) << "the component is released";
        if (message != nullptr) {
            EXPECT_EQ(reply.references, 1) << "the stream let go of the message";
        }
    }

    FakeMailMessage reply;
    MemoryRuleStore rules;
    FakeComponentScript component;
};

TEST_F(MessageEvent, LoadsTheContentThroughTheStreamThenJudges) {
    Fire(&reply);
    EXPECT_EQ(component.interfaceName, "IStream");
    EXPECT_EQ(component.loaded, kReplyContent);
    EXPECT_TRUE(reply.Condemned());
}

TEST_F(MessageEvent, ContentThatDoesNotOpenIsNeverJudged) {
    component.openResult = HRESULT(0x8007000D);
    Fire(&reply);
    EXPECT_FALSE(reply.Condemned());
    EXPECT_EQ(reply.stringReads, 0) << "neither sender nor marker is read";
    EXPECT_TRUE(rules.opened.empty());
}

TEST_F(MessageEvent, DataSourceFailingOrMissingLeavesTheMessageAlone) {
    component.dataSourceResult = E_FAIL;
    Fire(&reply);
    EXPECT_FALSE(reply.Condemned());

    component.dataSourceResult = S_OK;
    component.dataSourceNull = true;  // success without an object
    Fire(&reply);
    EXPECT_FALSE(reply.Condemned());
    EXPECT_EQ(reply.stringReads, 0);
}

TEST_F(MessageEvent, ComponentWithoutIMessageLeavesTheMessageAlone) {
    component.answersMessage = false;
    Fire(&reply);
    EXPECT_EQ(component.created, 1);
    EXPECT_FALSE(reply.Condemned());
}

TEST_F(MessageEvent, CreationFailureLeavesTheMessageAlone) {
    auto failing = [](IUnknown** component) {
        *component = nullptr;
        return REGDB_E_CLASSNOTREG;
    };
    EXPECT_EQ(HandleMessageEvent(&reply, rules, failing), S_OK);
    EXPECT_FALSE(reply.Condemned());
    EXPECT_EQ(reply.references, 1);
}

TEST_F(MessageEvent, NoMailMessageMeansNothingToDo) {
    Fire(nullptr);
    EXPECT_EQ(component.created, 1);
    EXPECT_EQ(component.loaded, "");
}

TEST_F(MessageEvent, StreamKeptByTheComponentReleasesTheMessageWhenTheComponentGoes) {
    component.keepSource = true;
    Fire(&reply);
    EXPECT_TRUE(reply.Condemned());
}

TEST_F(MessageEvent, RunningOutOfMemoryLeavesTheMessageAsItCame) {
    rules.outOfMemoryOnList = 2;
    Fire(&reply);
    EXPECT_FALSE(reply.Condemned());
}

// The platform's own message component, found through the component runtime.
TEST(MessageEventWithPlatform, JudgesAgainstTheRegistryThroughTheMessageComponent) {
    TempHive hive;
    WriteRuleList(0, {"@away.example"});
    FakeMailMessage reply;
    reply.content = kReplyContent;
    reply.SetSender("ooo@away.example");
    reply.MarkOutOfOffice();
    reply.recipients = {"friend@home.example"};
    EXPECT_EQ(HandleMessageEvent(&reply), S_OK);
    EXPECT_TRUE(reply.Condemned());
    EXPECT_EQ(reply.references, 1);

    FakeMailMessage headless;
    headless.content = "\r\nno header section at all\r\n";
    headless.SetSender("ooo@away.example");
    headless.MarkOutOfOffice();
    headless.recipients = {"friend@home.example"};
    EXPECT_EQ(HandleMessageEvent(&headless), S_OK);
    EXPECT_FALSE(headless.Condemned());
    EXPECT_EQ(headless.references, 1);
}

}  // namespace
