// The mail server's out-of-office marker component: it recognises automatic
// out-of-office and vacation replies from the message's own header fields and marks
// them with the string property "ExOOF" at index 27 of the range registered under
// {FC5D368E-84C1-11D2-9BED-00A0C95E6143} (2000 ids). The rules are listed in README.md.
#pragma once
#include <string>
#include <string_view>

#include "mailmsg.h"

namespace platform::smtp {

inline constexpr GUID kMarkerRange = {0xFC5D368E, 0x84C1, 0x11D2, {0x9B, 0xED, 0x00, 0xA0, 0xC9, 0x5E, 0x61, 0x43}};
inline constexpr DWORD kMarkerRangeSize = 2000;
inline constexpr DWORD kMarkerIndex = 27;
inline constexpr char kMarkerText[] = "ExOOF";

enum class MessageKind {
    OutOfOffice,     // an automatic out-of-office or vacation reply
    DeliveryReport,  // a bounce or other delivery status notification
    ReadReceipt,     // a message disposition notification
    Report,          // another machine-readable report (multipart/report)
    MailingList,     // distributed by a list or marked as bulk mail
    Calendar,        // a meeting response or other calendar notice
    Automatic,       // other automatic mail: tickets, challenges, notifications
    Other,           // a message written by a person, or nothing recognised
};

// What the recogniser decided and why: the rule that decided and the header field
// it decided on, so that logs and explanations can show the evidence.
struct Recognition {
    MessageKind kind = MessageKind::Other;
    std::string_view rule;   // a stable short name ("auto-submitted-vacation"); empty when none applied
    std::string fieldName;   // the deciding field as written ("Auto-Submitted"); empty when none
    std::string fieldValue;  // its value, unfolded and RFC 2047-decoded

    // "Auto-Submitted: auto-replied (vacation)", or the rule's name when no field decided.
    std::string Reason() const;
};

// The kind's name as the demo prints it ("out-of-office", "delivery report", ...).
const char* MessageKindName(MessageKind kind);

// Recognises a message by its header fields. `nullSender` tells whether the
// envelope's reverse path was empty, as it is for most automatic replies.
Recognition RecogniseMessage(std::string_view content, bool nullSender);

// The kind alone.
inline MessageKind ClassifyMessage(std::string_view content, bool nullSender) {
    return RecogniseMessage(content, nullSender).kind;
}

// Writes the marker on `message`.
HRESULT WriteOutOfOfficeMarker(IMailMsgProperties* message);

// Reads the message's content, recognises it and marks it when it is an
// out-of-office reply. `result` (optional) receives the recognition.
HRESULT RunOutOfOfficeMarker(IMailMsgProperties* message, bool nullSender, Recognition* result);

}  // namespace platform::smtp
