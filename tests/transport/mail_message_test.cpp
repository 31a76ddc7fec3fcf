// The transport's mail message: sender and recipients from the envelope, property
// reads bounded by the caller's capacity, process-wide ranges, content by offset.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mail_reads.h"

namespace {

using platform::smtp::CreateMailMessage;
using platform::smtp::Envelope;

class Held {
public:
    Held(std::string content, Envelope envelope) {
        EXPECT_EQ(CreateMailMessage(std::move(content), envelope, &message), S_OK);
    }
    ~Held() {
        if (message) {
            EXPECT_EQ(message->Release(), 0u);
        }
    }
    IMailMsgProperties* operator->() const { return message; }
    IMailMsgProperties* message = nullptr;
};

const char kReply[] =
    "From: \"Smith, Ann\" (away) <ann@example.com>\r\nTo: bob@partner.example\r\nSubject: Out of Office\r\n\r\nBack "
    "soon.\r\n";

TEST(MailMessageSender, IsTheEnvelopeSenderOrForTheNullSenderTheFromAddress) {
    const struct {
        const char* content;
        const char* envelope;
        const char* sender;
    } cases[] = {
        {kReply, "<relay@example.org>", "relay@example.org"},
        {kReply, "relay@example.org", "relay@example.org"},
        {kReply, "", "ann@example.com"},
        {kReply, "<>", "ann@example.com"},
        {"From: ann@example.com (Ann Smith)\r\n\r\n", "", "ann@example.com"},
        {"From: a@example.com, b@example.com\r\n\r\n", "", "a@example.com"},
        {"fRoM:\r\n <folded@example.com>\r\n\r\n", "", "folded@example.com"},
        {"Subject: x\r\n\r\n", "", "<missing>"},
        {"not a message", "<>", "<missing>"},
    };
    for (const auto& c : cases) {
        Held held(c.content, {c.envelope, {"x@y"}});
        EXPECT_EQ(StringProperty(held.message, IMMPID_MP_SENDER_ADDRESS_SMTP), c.sender)
            << c.content << " / " << c.envelope;
    }
}

// A string read succeeds only when the value and its terminator fit; otherwise
// nothing is written. Addresses of every length, up to 4095 characters, read whole.
TEST(MailMessageProperties, StringReadsSucceedOnlyWhenValueAndTerminatorFit) {
    Held held("Subject: x\r\n\r\n", {"", {"x@y"}});
    ASSERT_EQ(held->PutStringA(0x4000, "ExOOF"), S_OK);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(held->GetStringA(0x4000, 5, buffer), platform::smtp::kBufferTooSmall);
    EXPECT_EQ(held->GetStringA(0x4000, 0, buffer), platform::smtp::kBufferTooSmall);
    EXPECT_EQ(buffer[0], '#') << "nothing is written when the value does not fit";
    EXPECT_EQ(held->GetStringA(0x4000, 6, buffer), S_OK);
    EXPECT_STREQ(buffer, "ExOOF");
    EXPECT_EQ(held->GetStringA(0x4001, 8, buffer), platform::smtp::kPropertyNotFound);

    for (size_t length : {1023u, 1024u, 4095u, 4096u}) {
        std::string address = std::string(length - 12, 'a') + "@example.com";
        Held message("Subject: x\r\n\r\n", {address, {address}});
        std::string text(4096, '\0');
        HRESULT expected = length < 4096 ? S_OK : platform::smtp::kBufferTooSmall;
        EXPECT_EQ(message->GetStringA(IMMPID_MP_SENDER_ADDRESS_SMTP, 4096, text.data()), expected) << length;
        IMailMsgRecipients* recipients = nullptr;
        ASSERT_EQ(message->QueryInterface(IID_IMailMsgRecipients, reinterpret_cast<void**>(&recipients)), S_OK);
        EXPECT_EQ(recipients->GetStringA(0, IMMPID_RP_ADDRESS_SMTP, 4096, text.data()), expected) << length;
        if (expected == S_OK) {
            EXPECT_EQ(std::strlen(text.c_str()), length);
        }
        recipients->Release();
    }
}

TEST(MailMessageRecipients, KeepEnvelopeOrder) {
    Held held("Subject: x\r\n\r\n", {"a@b", {"<first@one.example>", "second@two.example", "third"}});
    EXPECT_EQ(RecipientsOf(held.message), "first@one.example second@two.example third ");
    IMailMsgRecipients* recipients = nullptr;
    ASSERT_EQ(held->QueryInterface(IID_IMailMsgRecipients, reinterpret_cast<void**>(&recipients)), S_OK);
    char buffer[64];
    EXPECT_TRUE(FAILED(recipients->GetStringA(3, IMMPID_RP_ADDRESS_SMTP, sizeof buffer, buffer)));
    recipients->Release();
    EXPECT_EQ(RecipientsOf(Held("Subject: x\r\n\r\n", {"a@b", {}}).message), "");
}

TEST(MailMessageRanges, SameGuidSameStartOnEveryMessage) {
    const GUID first = {0x11111111, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
    const GUID second = {0x22222222, 2, 2, {2, 2, 2, 2, 2, 2, 2, 2}};
    Held one("Subject: x\r\n\r\n", {"a@b", {"x@y"}});
    Held two("Subject: y\r\n\r\n", {"a@b", {"x@y"}});
    IMailMsgPropertyManagement* a = nullptr;
    IMailMsgPropertyManagement* b = nullptr;
    ASSERT_EQ(one->QueryInterface(IID_IMailMsgPropertyManagement, reinterpret_cast<void**>(&a)), S_OK);
    ASSERT_EQ(two->QueryInterface(IID_IMailMsgPropertyManagement, reinterpret_cast<void**>(&b)), S_OK);
    DWORD start1 = 0, again = 0, other = 0, start2 = 0;
    ASSERT_EQ(a->AllocPropIDRange(first, 2000, &start1), S_OK);
    ASSERT_EQ(b->AllocPropIDRange(first, 2000, &again), S_OK);
    EXPECT_EQ(start1, again);
    ASSERT_EQ(a->AllocPropIDRange(first, 10, &again), S_OK);
    EXPECT_EQ(start1, again);
    ASSERT_EQ(a->AllocPropIDRange(second, 50, &start2), S_OK);
    EXPECT_TRUE(start2 >= start1 + 2000 || start2 + 50 <= start1) << "ranges do not overlap";
    EXPECT_EQ(a->AllocPropIDRange(first, 2001, &other), E_INVALIDARG);
    EXPECT_EQ(a->AllocPropIDRange(second, 0, &other), E_INVALIDARG);
    EXPECT_GE(start1, DWORD(IMMPID_RP_ADDRESS_SMTP)) << "ranges stay clear of the named properties";
    a->Release();
    b->Release();
}

TEST(MailMessageContent, ReadsAreBoundedWritesExtendWithoutHolesSetSizeTruncates) {
    Held held("Subject: x\r\n\r\nabc", {"a@b", {"x@y"}});
    DWORD size = 0;
    ASSERT_EQ(held->GetContentSize(&size, nullptr), S_OK);
    EXPECT_EQ(size, 17u);
    BYTE buffer[64] = {};
    DWORD moved = 99;
    ASSERT_EQ(held->ReadContent(14, 64, &moved, buffer, nullptr), S_OK);
    EXPECT_EQ(moved, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
    ASSERT_EQ(held->ReadContent(17, 64, &moved, buffer, nullptr), S_OK);
    EXPECT_EQ(moved, 0u);
    ASSERT_EQ(held->ReadContent(0xFFFFFFF0u, 64, &moved, buffer, nullptr), S_OK);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(held->ReadContent(0, 4, nullptr, buffer, nullptr), E_POINTER);

    BYTE more[] = {'d', 'e'};
    ASSERT_EQ(held->WriteContent(16, 2, &moved, more, nullptr), S_OK);
    EXPECT_EQ(moved, 2u);
    held->GetContentSize(&size, nullptr);
    EXPECT_EQ(size, 18u);
    EXPECT_EQ(held->WriteContent(40, 2, &moved, more, nullptr), E_INVALIDARG) << "no holes";
    EXPECT_EQ(moved, 0u);
    ASSERT_EQ(held->SetContentSize(5, nullptr), S_OK);
    held->GetContentSize(&size, nullptr);
    EXPECT_EQ(size, 5u);
}

}  // namespace
