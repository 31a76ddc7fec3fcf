#include "out_of_office_marker.h"

#include <memory>
#include <new>
#include <optional>
#include <string>

#include "message_headers.h"

namespace platform::smtp {
namespace {

// Header sections are small; a longer one is judged by what fits.
constexpr DWORD kHeaderReadLimit = 256 * 1024;

// The first token of a structured value, before any parameter or comment, trimmed.
std::string_view firstToken(std::string_view value) {
    size_t end = value.find_first_of(";( \t");
    return value.substr(0, end);
}

// The value of a Content-Type parameter such as report-type, unquoted; empty if absent.
std::string parameter(std::string_view value, std::string_view name) {
    size_t at = 0;
    while ((at = value.find(';', at)) != std::string_view::npos) {
        ++at;
        while (at < value.size() && (value[at] == ' ' || value[at] == '\t')) ++at;
        if (!StartsWithIgnoringCase(value.substr(at), name)) continue;
        size_t equals = at + name.size();
        while (equals < value.size() && (value[equals] == ' ' || value[equals] == '\t')) ++equals;
        if (equals >= value.size() || value[equals] != '=') continue;
        std::string_view rest = value.substr(equals + 1);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
        if (!rest.empty() && rest.front() == '"') {
            rest.remove_prefix(1);
            return std::string(rest.substr(0, rest.find('"')));
        }
        return std::string(rest.substr(0, rest.find_first_of("; \t")));
    }
    return {};
}

bool fieldIs(const MessageHeaders& headers, std::string_view name, std::string_view token) {
    auto value = headers.Get(name);
    return value && EqualsIgnoringCase(firstToken(*value), token);
}

std::optional<MessageKind> reportKind(const MessageHeaders& headers) {
    auto type = headers.Get("Content-Type");
    if (!type) return std::nullopt;
    std::string_view mediaType = firstToken(*type);
    if (EqualsIgnoringCase(mediaType, "message/delivery-status")) return MessageKind::DeliveryReport;
    if (EqualsIgnoringCase(mediaType, "message/disposition-notification")) return MessageKind::ReadReceipt;
    if (!EqualsIgnoringCase(mediaType, "multipart/report")) return std::nullopt;
    std::string reportType = parameter(*type, "report-type");
    if (EqualsIgnoringCase(reportType, "delivery-status")) return MessageKind::DeliveryReport;
    if (EqualsIgnoringCase(reportType, "disposition-notification")) return MessageKind::ReadReceipt;
    return MessageKind::Report;
}

// Bounces that are not written as reports: from the mailer daemon, or carrying the
// list of failed recipients that some mail transfer agents add.
bool isPlainBounce(const MessageHeaders& headers) {
    if (headers.Has("X-Failed-Recipients")) return true;
    auto from = headers.Get("From");
    if (!from) return false;
    std::string address = MailboxAddress(*from);
    return StartsWithIgnoringCase(address, "MAILER-DAEMON@") || EqualsIgnoringCase(address, "MAILER-DAEMON");
}

bool isListMail(const MessageHeaders& headers) {
    return headers.Has("List-Id") || headers.Has("List-Unsubscribe") || headers.Has("List-Post") ||
           headers.Has("List-Help");
}

bool isBulkPrecedence(const MessageHeaders& headers) {
    return fieldIs(headers, "Precedence", "list") || fieldIs(headers, "Precedence", "bulk") ||
           fieldIs(headers, "Precedence", "junk");
}

// X-Autoreply and X-Autorespond: set by vacation programs; any value but a negative one.
bool hasAutoreplyField(const MessageHeaders& headers) {
    for (std::string_view name : {"X-Autoreply", "X-Autorespond"}) {
        auto value = headers.Get(name);
        if (!value) continue;
        std::string_view token = firstToken(*value);
        if (EqualsIgnoringCase(token, "no") || EqualsIgnoringCase(token, "false") || token == "0") continue;
        return true;
    }
    return false;
}

bool hasOutOfOfficeSubject(const MessageHeaders& headers) {
    static constexpr std::string_view kPrefixes[] = {
        "Out of Office:", "Out of Office AutoReply:", "Automatic reply:", "Auto Reply:", "Auto-Reply:",
        "AutoReply:",     "Autoreply:",               "Auto:",           "Vacation:",   "On vacation:",
        "Away:",          "Abwesenheitsnotiz:",       "Automatische Antwort:",
    };
    auto subject = headers.Get("Subject");
    if (!subject) return false;
    for (std::string_view prefix : kPrefixes)
        if (StartsWithIgnoringCase(*subject, prefix)) return true;
    return false;
}

// Signs that a message was sent by a machine, not strong enough alone to call it a reply.
bool hasAutomaticSign(const MessageHeaders& headers, bool nullSender) {
    auto submitted = headers.Get("Auto-Submitted");
    if (submitted && !EqualsIgnoringCase(firstToken(*submitted), "no")) return true;
    return nullSender || headers.Has("X-Auto-Response-Suppress") || fieldIs(headers, "Precedence", "bulk") ||
           fieldIs(headers, "Precedence", "junk");
}

MessageKind classify(const MessageHeaders& headers, bool nullSender) {
    if (auto report = reportKind(headers)) return *report;
    if (isPlainBounce(headers)) return MessageKind::DeliveryReport;
    if (isListMail(headers)) return MessageKind::MailingList;
    if (auto submitted = headers.Get("Auto-Submitted")) {
        std::string_view token = firstToken(*submitted);
        if (EqualsIgnoringCase(token, "auto-replied")) return MessageKind::OutOfOffice;
        if (EqualsIgnoringCase(token, "no")) return MessageKind::Other;
    }
    if (hasAutoreplyField(headers)) return MessageKind::OutOfOffice;
    if (fieldIs(headers, "Precedence", "auto_reply")) return MessageKind::OutOfOffice;
    if (hasOutOfOfficeSubject(headers) && hasAutomaticSign(headers, nullSender)) return MessageKind::OutOfOffice;
    if (isBulkPrecedence(headers)) return MessageKind::MailingList;
    return MessageKind::Other;
}

}  // namespace

const char* MessageKindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::OutOfOffice: return "out-of-office";
        case MessageKind::DeliveryReport: return "delivery report";
        case MessageKind::ReadReceipt: return "read receipt";
        case MessageKind::Report: return "report";
        case MessageKind::MailingList: return "mailing list";
        case MessageKind::Other: return "other";
    }
    return "other";
}

MessageKind ClassifyMessage(std::string_view content, bool nullSender) {
    return classify(MessageHeaders(content), nullSender);
}

HRESULT WriteOutOfOfficeMarker(IMailMsgProperties* message) {
    if (!message) return E_POINTER;
    IMailMsgPropertyManagement* management = nullptr;
    HRESULT hr = message->QueryInterface(IID_IMailMsgPropertyManagement, reinterpret_cast<void**>(&management));
    if (FAILED(hr)) return hr;
    DWORD start = 0;
    hr = management->AllocPropIDRange(kMarkerRange, kMarkerRangeSize, &start);
    management->Release();
    if (FAILED(hr)) return hr;
    return message->PutStringA(start + kMarkerIndex, kMarkerText);
}

HRESULT RunOutOfOfficeMarker(IMailMsgProperties* message, bool nullSender, MessageKind* kind) {
    if (!message) return E_POINTER;
    DWORD size = 0;
    HRESULT hr = message->GetContentSize(&size, nullptr);
    if (FAILED(hr)) return hr;
    DWORD wanted = size < kHeaderReadLimit ? size : kHeaderReadLimit;
    std::unique_ptr<BYTE[]> head(new (std::nothrow) BYTE[wanted ? wanted : 1]);
    if (!head) return E_OUTOFMEMORY;
    DWORD got = 0;
    hr = message->ReadContent(0, wanted, &got, head.get(), nullptr);
    if (FAILED(hr)) return hr;
    MessageKind found = MessageKind::Other;
    try {
        found = ClassifyMessage({reinterpret_cast<const char*>(head.get()), got}, nullSender);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (kind) *kind = found;
    if (found != MessageKind::OutOfOffice) return S_OK;
    return WriteOutOfOfficeMarker(message);
}

}  // namespace platform::smtp
