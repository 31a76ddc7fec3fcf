// The filtering logic: recognises an out-of-office reply by the marker the mail
// server puts on it, judges it against the three rule lists and marks a
// condemned reply for deletion. It sees the mail message only through its
// property operations, so it runs on substitute messages and rule stores too.
#pragma once
#include <array>
#include <cstddef>

#include "mailmsg.h"
#include "rule_store.h"

// Room for one address or domain: 1023 characters and the terminator. Longer
// values are treated as unreadable, never cut.
inline constexpr std::size_t kAddressCapacity = 1024;
using AddressText = std::array<char, kAddressCapacity>;

// {FC5D368E-84C1-11D2-9BED-00A0C95E6143}: the range under which the mail server
// stores the out-of-office marker, at start + 27 of 2000 ids.
inline constexpr GUID kMarkerRange = {0xFC5D368E, 0x84C1, 0x11D2, {0x9B, 0xED, 0x00, 0xA0, 0xC9, 0x5E, 0x61, 0x43}};
inline constexpr DWORD kMarkerRangeSize = 2000;
inline constexpr DWORD kMarkerIndex = 27;

// The first recipient's domain: its SMTP address from the first `@` on, the `@`
// included. Empty when there is no recipient, the address cannot be read or is
// longer than 1023 characters, or it has no `@`. Later recipients never count.
AddressText FirstRecipientDomain(IMailMsgProperties* message);

// Sets the message status to "abort delivery" when the message is an
// out-of-office reply whose sender domain is in list 0, whose first recipient's
// domain is not in list 1 and whose sender address is not in list 2. Writes
// nothing else, and nothing at all when a step fails. Throws std::bad_alloc only
// from the rule lookup; the message is then untouched.
void FilterMessage(IMailMsgProperties* message, RuleStore& rules);
void FilterMessage(IMailMsgProperties* message);
