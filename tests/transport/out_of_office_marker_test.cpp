// The marker component: which messages it calls out-of-office replies, and the
// marker it leaves for the sink to find.
#include <gtest/gtest.h>

#include <string>

#include "mail_reads.h"

namespace {

using platform::smtp::ClassifyMessage;
using platform::smtp::MessageKind;

struct Case {
    const char* name;
    const char* header;
    bool nullSender;
    MessageKind kind;
};

const Case kCases[] = {
    // Automatic replies.
    {"rfc3834", "Auto-Submitted: auto-replied\r\nSubject: Re: plans\r\n", true, MessageKind::OutOfOffice},
    {"rfc3834 with comment", "Auto-Submitted: Auto-Replied (vacation)\r\n", false, MessageKind::OutOfOffice},
    {"sieve vacation", "Auto-Submitted: auto-replied; owner-email=\"a@b\"\r\nSubject: Away\r\n", true,
     MessageKind::OutOfOffice},
    {"x-autoreply", "X-Autoreply: yes\r\nSubject: I am away\r\n", false, MessageKind::OutOfOffice},
    {"x-autorespond", "X-Autorespond: Ann is away\r\n", false, MessageKind::OutOfOffice},
    {"precedence auto_reply", "Precedence: auto_reply\r\n", false, MessageKind::OutOfOffice},
    {"subject and suppress", "Subject: Automatic reply: budget\r\nX-Auto-Response-Suppress: All\r\n", false,
     MessageKind::OutOfOffice},
    {"subject and null sender", "Subject: Out of Office: budget\r\n", true, MessageKind::OutOfOffice},
    {"subject and auto-generated", "Subject: out of office autoreply: x\r\nAuto-Submitted: auto-generated\r\n", false,
     MessageKind::OutOfOffice},
    {"subject and bulk", "Subject: Vacation: x\r\nPrecedence: bulk\r\n", false, MessageKind::OutOfOffice},
    // Not replies of that kind.
    {"dsn", "Content-Type: multipart/report; report-type=delivery-status;\r\n boundary=\"b\"\r\n", true,
     MessageKind::DeliveryReport},
    {"dsn quoted", "Content-Type: Multipart/Report; report-type=\"delivery-status\"; boundary=b\r\n", true,
     MessageKind::DeliveryReport},
    {"mailer daemon", "From: Mail Delivery System <MAILER-DAEMON@mx.example>\r\nSubject: Undelivered\r\n", true,
     MessageKind::DeliveryReport},
    {"failed recipients", "X-Failed-Recipients: a@b\r\nAuto-Submitted: auto-replied\r\n", true,
     MessageKind::DeliveryReport},
    {"mdn",
     "Content-Type: multipart/report; report-type=disposition-notification; boundary=b\r\n"
     "Subject: Read: plans\r\n",
     false, MessageKind::ReadReceipt},
    {"feedback report", "Content-Type: multipart/report; report-type=feedback-report\r\n", true, MessageKind::Report},
    {"list id", "List-Id: <dev.lists.example>\r\nAuto-Submitted: auto-replied\r\n", false, MessageKind::MailingList},
    {"list unsubscribe", "List-Unsubscribe: <mailto:leave@lists.example>\r\n", false, MessageKind::MailingList},
    {"precedence list", "Precedence: list\r\nSubject: digest\r\n", false, MessageKind::MailingList},
    {"precedence junk", "Precedence: junk\r\n", true, MessageKind::MailingList},
    {"human reply", "Subject: Re: Out of Office: budget\r\nFrom: bob@example.com\r\n", false, MessageKind::Other},
    {"human oof subject", "Subject: Out of office: who covers for me?\r\n", false, MessageKind::Other},
    {"auto-submitted no", "Auto-Submitted: no\r\nSubject: Out of Office: x\r\n", true, MessageKind::Other},
    {"x-autoreply no", "X-Autoreply: no\r\n", false, MessageKind::Other},
    {"auto-generated alone", "Auto-Submitted: auto-generated\r\nSubject: Your invoice\r\n", true,
     MessageKind::Automatic},
    {"marker in body only", "Subject: hello\r\n\r\nAuto-Submitted: auto-replied\r\n", false, MessageKind::Other},
};

TEST(OutOfOfficeMarker, ClassifiesByTheMessagesOwnHeaders) {
    for (const Case& c : kCases) {
        std::string content = std::string(c.header) + "\r\nBody\r\n";
        EXPECT_EQ(ClassifyMessage(content, c.nullSender), c.kind) << c.name;
    }
}

TEST(OutOfOfficeMarker, IgnoresContentWithoutHeaderSection) {
    EXPECT_EQ(ClassifyMessage("", true), MessageKind::Other);
    const char binary[] = "\0\xff\r\n\r\nAuto-Submitted: auto-replied";
    EXPECT_EQ(ClassifyMessage(std::string(binary, sizeof binary - 1), true), MessageKind::Other);
}

TEST(OutOfOfficeMarker, MarksOnlyOutOfOfficeRepliesLookingOnlyAtTheHeaderSection) {
    const struct {
        std::string content;
        const char* marker;
    } cases[] = {
        {"From: ann@example.com\r\nAuto-Submitted: auto-replied\r\n\r\nAway\r\n", "ExOOF"},
        {"From: ann@example.com\r\nList-Id: <l.example>\r\n\r\nPost\r\n", "<missing>"},
        {"From: ann@example.com\r\nSubject: hi\r\n\r\nHello\r\n", "<missing>"},
        {"Auto-Submitted: auto-replied\r\n\r\n" + std::string(1u << 20, 'x'), "ExOOF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 80));
        IMailMsgProperties* message = nullptr;
        ASSERT_EQ(platform::smtp::CreateMailMessage(c.content, {"", {"bob@partner.example"}}, &message), S_OK);
        platform::smtp::Recognition result;
        ASSERT_EQ(platform::smtp::RunOutOfOfficeMarker(message, true, &result), S_OK);
        EXPECT_EQ(MarkerOf(message), c.marker);
        EXPECT_EQ(result.kind == MessageKind::OutOfOffice, std::string(c.marker) == "ExOOF");
        message->Release();
    }
}

}  // namespace
