#include "message_event.h"

#include <functional>

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

// An out-of-office reply that the rules condemn, and a message component that loads it.
struct Scene {
    Scene() {
        reply.content = kReplyContent;
        reply.MakeReply();
        rules.lists[0] = {OLESTR("*")};
        FakeMessageComponent::current = &component;
    }
    ~Scene() { FakeMessageComponent::current = nullptr; }

    // Runs the event and checks what must hold whatever happened.
    void Fire(IMailMsgProperties* message, MessageComponentFactory create = FakeMessageComponent::Create) {
        EXPECT_EQ(HandleMessageEvent(message, rules, create), S_OK);
        EXPECT_EQ(component.alive, 0) << "the component is released";
        EXPECT_EQ(reply.references, 1) << "the stream let go of the message";
    }

    FakeMailMessage reply;
    MemoryRuleStore rules;
    FakeComponentScript component;
};

TEST(MessageEvent, LoadsTheContentThroughTheStreamThenJudges) {
    // A component may keep the stream until it goes itself.
    for (bool keepSource : {false, true}) {
        SCOPED_TRACE(keepSource);
        Scene scene;
        scene.component.keepSource = keepSource;
        scene.Fire(&scene.reply);
        EXPECT_EQ(scene.component.interfaceName, "IStream");
        EXPECT_EQ(scene.component.loaded, kReplyContent);
        EXPECT_TRUE(scene.reply.Condemned());
    }
}

TEST(MessageEvent, AnyStepThatFailsLeavesTheMessageAsItCame) {
    const struct {
        const char* step;
        std::function<void(Scene&)> spoil;
        MessageComponentFactory create;
        bool judged;  // the filter ran, and failed inside
    } cases[] = {
        {"creation", [](Scene&) {},
         [](IUnknown** c) {
             *c = nullptr;
             return HRESULT(REGDB_E_CLASSNOTREG);
         },
         false},
        {"no IMessage", [](Scene& s) { s.component.answersMessage = false; }, FakeMessageComponent::Create, false},
        {"data source", [](Scene& s) { s.component.dataSourceResult = E_FAIL; }, FakeMessageComponent::Create, false},
        {"null data source", [](Scene& s) { s.component.dataSourceNull = true; }, FakeMessageComponent::Create, false},
        {"open", [](Scene& s) { s.component.openResult = HRESULT(0x8007000D); }, FakeMessageComponent::Create, false},
        {"out of memory", [](Scene& s) { s.rules.outOfMemoryOnList = 2; }, FakeMessageComponent::Create, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Scene scene;
        c.spoil(scene);
        scene.Fire(&scene.reply, c.create);
        EXPECT_FALSE(scene.reply.Condemned());
        EXPECT_EQ(scene.component.created, c.create == FakeMessageComponent::Create ? 1 : 0);
        if (!c.judged) {
            EXPECT_EQ(scene.reply.stringReads, 0) << "neither sender nor marker is read";
            EXPECT_TRUE(scene.rules.opened.empty());
        }
    }
}

TEST(MessageEvent, NoMailMessageMeansNothingToDo) {
    Scene scene;
    scene.Fire(nullptr);
    EXPECT_EQ(scene.component.created, 1);
    EXPECT_EQ(scene.component.loaded, "");
}

// The platform's own message component, found through the component runtime.
TEST(MessageEventWithPlatform, JudgesAgainstTheRegistryThroughTheMessageComponent) {
    TempHive hive;
    WriteRuleList(0, {"@away.example"});
    for (const char* content : {kReplyContent, "\r\nno header section at all\r\n"}) {
        SCOPED_TRACE(content);
        FakeMailMessage reply;
        reply.content = content;
        reply.MakeReply();
        EXPECT_EQ(HandleMessageEvent(&reply), S_OK);
        EXPECT_EQ(reply.Condemned(), content == kReplyContent);
        EXPECT_EQ(reply.references, 1);
    }
}

}  // namespace
