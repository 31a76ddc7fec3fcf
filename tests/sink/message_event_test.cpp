#include "message_event.h"

#include <functional>

#include <gtest/gtest.h>

#include "fake_mail_message.h"
#include "memory_rule_store.h"

namespace {

constexpr char kReplyContent[] =
    "From: Out Of Office <ooo@away.example>\r\n"
    "To: friend@home.example\r\n"
    "Subject: Automatic reply\r\n"
    "Auto-Submitted: auto-replied\r\n"
    "\r\n"
    "I am away until Monday.\r\n";

// An out-of-office reply that the rules condemn; the fake message is its own
// message component, so its count of references covers the component's too.
struct Scene {
    Scene() {
        reply.content = kReplyContent;
        reply.MakeReply();
        rules.lists[0] = {OLESTR("*")};
        FakeMailMessage::current = &reply;
    }
    ~Scene() { FakeMailMessage::current = nullptr; }

    void Fire(IMailMsgProperties* message, MessageComponentFactory create = FakeMailMessage::Create) {
        EXPECT_EQ(HandleMessageEvent(message, rules, create), S_OK);
        EXPECT_EQ(reply.references, 1) << "the component and the stream let go of the message";
    }

    FakeMailMessage reply;
    MemoryRuleStore rules;
};

TEST(MessageEvent, LoadsTheContentThroughTheStreamThenJudges) {
    Scene scene;
    scene.Fire(&scene.reply);
    EXPECT_EQ(scene.reply.interfaceName, "IStream");
    EXPECT_EQ(scene.reply.loaded, kReplyContent);
    EXPECT_TRUE(scene.reply.Condemned());
}

TEST(MessageEvent, AnyStepThatFailsLeavesTheMessageAsItCame) {
    auto notRegistered = [](IUnknown** c) {
        *c = nullptr;
        return HRESULT(REGDB_E_CLASSNOTREG);
    };
    const struct {
        const char* step;
        std::function<void(Scene&)> spoil;
        bool judged;  // the filter ran, and failed inside
    } cases[] = {
        {"creation", nullptr, false},
        {"no IMessage", [](Scene& s) { s.reply.answersMessage = false; }, false},
        {"data source", [](Scene& s) { s.reply.dataSourceResult = E_FAIL; }, false},
        {"null data source", [](Scene& s) { s.reply.dataSourceNull = true; }, false},
        {"open", [](Scene& s) { s.reply.openResult = HRESULT(0x8007000D); }, false},
        {"out of memory", [](Scene& s) { s.rules.outOfMemoryOnList = 2; }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Scene scene;
        if (c.spoil) c.spoil(scene);
        scene.Fire(&scene.reply, c.spoil ? FakeMailMessage::Create : notRegistered);
        EXPECT_FALSE(scene.reply.Condemned());
        if (!c.judged) {
            EXPECT_EQ(scene.reply.stringReads, 0) << "neither sender nor marker is read";
            EXPECT_TRUE(scene.rules.opened.empty());
        }
    }
}

TEST(MessageEvent, NoMailMessageMeansNothingToDo) {
    Scene scene;
    scene.Fire(nullptr);
    EXPECT_EQ(scene.reply.interfaceName, "") << "no stream to open";
}

}  // namespace
