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

#define SLOT(interface, operation, slot) \
    { #interface "::" #operation, SlotOf(&interface::operation), slot }

TEST(InterfaceSlots, EveryOperationSitsAtItsPlatformSlot) {
    // clang-format off
    const struct {
        const char* operation;
        std::size_t slot, expected;
    } cases[] = {
        // IUnknown comes first everywhere.
        SLOT(IMailMsgProperties, QueryInterface, 0), SLOT(IMailMsgProperties, AddRef, 1),
        SLOT(IMailMsgProperties, Release, 2), SLOT(IMailMsgRecipients, Release, 2), SLOT(IStream, Release, 2),
        SLOT(IMailMsgProperties, Commit, 5), SLOT(IMailMsgProperties, GetStringA, 7),
        SLOT(IMailMsgProperties, PutDWORD, 10), SLOT(IMailMsgProperties, GetContentSize, 14),
        SLOT(IMailMsgProperties, ReadContent, 15), SLOT(IMailMsgProperties, WriteContent, 16),
        SLOT(IMailMsgProperties, SetContentSize, 22), SLOT(IMailMsgProperties, UnmapContent, 24),
        SLOT(IMailMsgPropertyManagement, AllocPropIDRange, 3), SLOT(IMailMsgRecipients, Count, 3),
        SLOT(IMailMsgRecipients, GetStringA, 8), SLOT(IMailMsgRecipients, GetNextRecipient, 23),
        SLOT(IMailTransportOnPostCategorize, OnMessagePostCategorize, 3), SLOT(IEventIsCacheable, IsCacheable, 3),
        SLOT(IStream, Read, 3), SLOT(IStream, Write, 4), SLOT(IStream, Seek, 5), SLOT(IStream, SetSize, 6),
        SLOT(IStream, CopyTo, 7), SLOT(IStream, Commit, 8), SLOT(IStream, Revert, 9), SLOT(IStream, LockRegion, 10),
        SLOT(IStream, UnlockRegion, 11), SLOT(IStream, Stat, 12), SLOT(IStream, Clone, 13),
        SLOT(IMessage, get_DataSource, 49), SLOT(IDataSource, OpenObject, 14),
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(c.slot, c.expected) << c.operation;
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
