// The transport's mail message over one RFC 5322 message and its envelope. It
// offers IMailMsgProperties, IMailMsgPropertyManagement and IMailMsgRecipients:
// properties as byte values by id, the content as bytes addressed by offset, and
// the recipients in envelope order.
#pragma once
#include <string>
#include <vector>

#include "mailmsg.h"

namespace platform::smtp {

struct Envelope {
    std::string sender;                   // empty, or "<>": the null sender
    std::vector<std::string> recipients;  // in the order the transport received them
};

// Status of a read whose property the message does not hold.
inline constexpr HRESULT kPropertyNotFound = HRESULT(0x80070490);  // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
// Status of a string read whose value and terminator do not fit the caller's capacity.
inline constexpr HRESULT kBufferTooSmall = HRESULT(0x8007007A);  // HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)

// Largest content a message holds: offsets and sizes are 32-bit.
inline constexpr size_t kMaxContentBytes = 0xFFFFFFFFu;

// Builds a mail message with one reference held by the caller. The sender's SMTP
// address (0x1002) is the envelope sender without angle brackets, or for the null
// sender the address in the content's From: field (absent when there is none).
// Each recipient's SMTP address is its recipient property 0x2009.
HRESULT CreateMailMessage(std::string content, const Envelope& envelope, IMailMsgProperties** message);

// True for the null reverse path: "" or "<>".
bool IsNullSender(std::string_view sender);

// An address as given on an envelope, without surrounding angle brackets.
std::string BareAddress(std::string_view address);

}  // namespace platform::smtp
