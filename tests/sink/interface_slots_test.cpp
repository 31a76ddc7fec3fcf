// Pins every operation the sink calls or implements to its place in the operation
// table: the transport and the message component call by position, not by name.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "cdosys.h"
#include "mailmsg.h"
#include "objidl.h"
#include "seo.h"
#include "smtpevent.h"

namespace {

// A pointer to a virtual member holds 1 + the byte offset of its table entry
// (the Itanium C++ ABI, used by GCC and Clang on every target we build for).
template <class Interface, class Method>
std::size_t SlotOf(Method Interface::*operation) {
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adjustment;
    } raw;
    static_assert(sizeof(raw) == sizeof(operation));
    std::memcpy(&raw, &operation, sizeof(raw));
    EXPECT_EQ(raw.ptr % sizeof(void*), 1u) << "not a virtual operation";
    EXPECT_EQ(raw.adjustment, 0) << "interface is not the primary base";
    return (raw.ptr - 1) / sizeof(void*);
}

TEST(InterfaceSlots, UnknownComesFirstEverywhere) {
    EXPECT_EQ(SlotOf(&IMailMsgProperties::QueryInterface), 0u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::AddRef), 1u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::Release), 2u);
    EXPECT_EQ(SlotOf(&IMailMsgRecipients::Release), 2u);
    EXPECT_EQ(SlotOf(&IStream::Release), 2u);
}

TEST(InterfaceSlots, MailMessageProperties) {
    EXPECT_EQ(SlotOf(&IMailMsgProperties::Commit), 5u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::GetStringA), 7u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::PutDWORD), 10u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::GetContentSize), 14u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::ReadContent), 15u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::WriteContent), 16u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::SetContentSize), 22u);
    EXPECT_EQ(SlotOf(&IMailMsgProperties::UnmapContent), 24u);
}

TEST(InterfaceSlots, PropertyManagementAndRecipients) {
    EXPECT_EQ(SlotOf(&IMailMsgPropertyManagement::AllocPropIDRange), 3u);
    EXPECT_EQ(SlotOf(&IMailMsgRecipients::Count), 3u);
    EXPECT_EQ(SlotOf(&IMailMsgRecipients::GetStringA), 8u);
    EXPECT_EQ(SlotOf(&IMailMsgRecipients::GetNextRecipient), 23u);
}

TEST(InterfaceSlots, SinkInterfaces) {
    EXPECT_EQ(SlotOf(&IMailTransportOnPostCategorize::OnMessagePostCategorize), 3u);
    EXPECT_EQ(SlotOf(&IEventIsCacheable::IsCacheable), 3u);
}

TEST(InterfaceSlots, StreamInPlatformOrder) {
    EXPECT_EQ(SlotOf(&IStream::Read), 3u);
    EXPECT_EQ(SlotOf(&IStream::Write), 4u);
    EXPECT_EQ(SlotOf(&IStream::Seek), 5u);
    EXPECT_EQ(SlotOf(&IStream::SetSize), 6u);
    EXPECT_EQ(SlotOf(&IStream::CopyTo), 7u);
    EXPECT_EQ(SlotOf(&IStream::Commit), 8u);
    EXPECT_EQ(SlotOf(&IStream::Revert), 9u);
    EXPECT_EQ(SlotOf(&IStream::LockRegion), 10u);
    EXPECT_EQ(SlotOf(&IStream::UnlockRegion), 11u);
    EXPECT_EQ(SlotOf(&IStream::Stat), 12u);
    EXPECT_EQ(SlotOf(&IStream::Clone), 13u);
}

TEST(InterfaceSlots, MessageComponent) {
    EXPECT_EQ(SlotOf(&IMessage::get_DataSource), 49u);
    EXPECT_EQ(SlotOf(&IDataSource::OpenObject), 14u);
}

TEST(InterfaceSlots, Identifiers) {
    const IID recipients = {0x19507FE0, 0xA892, 0x11D1, {0xAA, 0x91, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
    const IID management = {0xA2F196C0, 0xA351, 0x11D1, {0xAA, 0x8A, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
    EXPECT_EQ(IID_IMailMsgRecipients, recipients);
    EXPECT_EQ(IID_IMailMsgPropertyManagement, management);
    EXPECT_EQ(IID_IMailTransportOnPostCategorize.Data1, 0x76719653u);
    EXPECT_EQ(IID_IEventIsCacheable.Data1, 0x22E0F830u);
    EXPECT_EQ(IMMPID_MP_SENDER_ADDRESS_SMTP, 0x1002u);
    EXPECT_EQ(IMMPID_MP_MESSAGE_STATUS, 0x1014u);
    EXPECT_EQ(IMMPID_RP_ADDRESS_SMTP, 0x2009u);
}

}  // namespace
