#include "milter_filter.h"

#include <atomic>
#include <cctype>
#include <new>
#include <string>

#include <libmilter/mfdef.h>

#include "milter_log.h"
#include "milter_outcome.h"
#include "received_message.h"
#include "transport_host.h"

namespace pellicor::milter {

namespace {

TransportHost* host = nullptr;
Mode mode = Mode::Discard;
Counters* counters = nullptr;
std::atomic<int> openSessions{0};

// One MTA connection: what it negotiated and the message under way.
struct Session {
    Session() { ++openSessions; }
    ~Session() { --openSessions; }
    unsigned long steps = 0;  // the protocol steps agreed with the MTA
    ReceivedMessage message;
    std::string failure;  // set when gathering failed: the message is accepted unjudged
};

Session* SessionOf(SMFICTX* ctx) { return static_cast<Session*>(smfi_getpriv(ctx)); }

// The session, created on first use (an MTA that skips negotiation).
Session& SessionFor(SMFICTX* ctx) {
    Session* session = SessionOf(ctx);
    if (!session) {
        session = new Session;
        smfi_setpriv(ctx, session);
    }
    return *session;
}

// A step the MTA was told needs no reply must not get one.
sfsistat Continue(const Session& session, unsigned long noReplyBit) {
    return (session.steps & noReplyBit) ? SMFIS_NOREPLY : SMFIS_CONTINUE;
}

// Addresses and ids go into the log only as printable text.
std::string Printable(const std::string& text) {
    std::string out = text.substr(0, 256);
    for (char& c : out)
        if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
    return out;
}

// The marker's evidence in a quoted log value: printable, its quotes and backslashes escaped.
std::string Quotable(const std::string& text) {
    std::string out;
    for (char c : Printable(text)) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string Macro(SMFICTX* ctx, const char* name) {
    const char* value = smfi_getsymval(ctx, const_cast<char*>(name));
    return value ? value : "";
}

// Runs one gathering step; running out of memory marks the message to be accepted
// unjudged rather than losing it.
template <typename Step>
sfsistat Gather(SMFICTX* ctx, unsigned long noReplyBit, const char* where, Step step) {
    Session* session = nullptr;
    try {
        session = &SessionFor(ctx);
        if (session->failure.empty()) step(*session);
    } catch (const std::bad_alloc&) {
        if (!session) return SMFIS_ACCEPT;
        session->message = ReceivedMessage();
        session->failure = std::string("out of memory reading ") + where;
    }
    return Continue(*session, noReplyBit);
}

// Steps the filter does not need are skipped; the ones it needs send no reply,
// since it decides only at the end of the message.
sfsistat OnNegotiate(SMFICTX* ctx, unsigned long offeredActions, unsigned long offeredSteps, unsigned long,
                     unsigned long, unsigned long* actions, unsigned long* steps, unsigned long*, unsigned long*) try {
    unsigned long wanted = SMFIP_NOCONNECT | SMFIP_NOHELO | SMFIP_NOUNKNOWN | SMFIP_NODATA | SMFIP_NOEOH |
                           SMFIP_NR_MAIL | SMFIP_NR_RCPT | SMFIP_NR_HDR | SMFIP_NR_BODY | SMFIP_HDR_LEADSPC;
    if (!kMarkerReadsBody) wanted |= SMFIP_NOBODY;
    // Hold mode needs the MTA's leave to quarantine; without it, a hold fails and
    // the reply is delivered and logged.
    *actions = mode == Mode::Hold ? offeredActions & SMFIF_QUARANTINE : 0;
    *steps = wanted & offeredSteps;
    SessionFor(ctx).steps = *steps;
    return SMFIS_CONTINUE;
} catch (const std::bad_alloc&) {
    return SMFIS_ALL_OPTS;
}

sfsistat OnSender(SMFICTX* ctx, char** argv) {
    return Gather(ctx, SMFIP_NR_MAIL, "MAIL FROM", [&](Session& session) {
        session.message = ReceivedMessage();
        // {mail_addr} is empty for the null sender; without the macro, the argument.
        const char* macro = smfi_getsymval(ctx, const_cast<char*>("{mail_addr}"));
        std::string sender = macro ? macro : platform::smtp::BareAddress(argv && argv[0] ? argv[0] : "");
        session.message.SetSender(platform::smtp::IsNullSender(sender) ? std::string() : sender);
    });
}

sfsistat OnRecipient(SMFICTX* ctx, char** argv) {
    return Gather(ctx, SMFIP_NR_RCPT, "RCPT TO", [&](Session& session) {
        if (argv && argv[0]) session.message.AddRecipient(platform::smtp::BareAddress(argv[0]));
    });
}

sfsistat OnHeader(SMFICTX* ctx, char* name, char* value) {
    return Gather(ctx, SMFIP_NR_HDR, "the header", [&](Session& session) {
        session.message.AddHeader(name ? name : "", value ? value : "", session.steps & SMFIP_HDR_LEADSPC);
    });
}

sfsistat OnBody(SMFICTX* ctx, unsigned char* data, size_t length) {
    return Gather(ctx, SMFIP_NR_BODY, "the body", [&](Session& session) { session.message.AddBody(data, length); });
}

// The reply's addresses, as every line about it names them.
std::string Addresses(const platform::smtp::Envelope& envelope) {
    const std::string firstRecipient = envelope.recipients.empty() ? "" : envelope.recipients.front();
    return "from=<" + Printable(envelope.sender) + "> to=<" + Printable(firstRecipient) + ">";
}

sfsistat OnEndOfMessage(SMFICTX* ctx) try {
    Session& session = SessionFor(ctx);
    std::string queueId = Printable(Macro(ctx, "i"));
    if (queueId.empty()) queueId = "NOQUEUE";
    if (!session.failure.empty()) {
        LogError("%s: %s; message accepted", queueId.c_str(), session.failure.c_str());
        session.failure.clear();
        counters->CountUnjudged();
        return SMFIS_ACCEPT;
    }
    session.message.EndHeaders();  // the end of the header section is not sent (no body either)
    platform::smtp::Envelope envelope;
    envelope.sender = session.message.sender();
    envelope.recipients = session.message.recipients();
    Judgement judgement = host->Judge(session.message.TakeContent(), envelope);
    session.message = ReceivedMessage();
    Action action = ActionFor(judgement, mode);
    // The addresses and the marker's evidence, as every verdict line ends.
    const std::string addresses = Addresses(envelope) + " reason=\"" + Quotable(judgement.evidence) + "\"";
    if (action == Action::Quarantine) {
        std::string reason = "Pellicor: out-of-office reply condemned by the rule lists, " + addresses;
        if (smfi_quarantine(ctx, reason.data()) != MI_SUCCESS) {
            action = Action::AcceptFailed;
            judgement.reason = "the MTA refused to hold the reply (it must allow milters to quarantine)";
        }
    }
    counters->Count(judgement, action);
    switch (action) {
    case Action::Accept: return SMFIS_ACCEPT;
    case Action::AcceptFailed:
        if (judgement.reason.empty()) judgement.reason = "the rule lists could not be read";  // lists unreadable
        LogError("%s: %s; message accepted", queueId.c_str(), judgement.reason.c_str());
        return SMFIS_ACCEPT;
    case Action::Quarantine:
        LogInfo("%s: held out-of-office reply %s", queueId.c_str(), addresses.c_str());
        return SMFIS_ACCEPT;
    case Action::WouldDiscard:
        LogInfo("%s: would discard out-of-office reply %s", queueId.c_str(), addresses.c_str());
        return SMFIS_ACCEPT;
    case Action::Discard: break;
    }
    LogInfo("%s: discarded out-of-office reply %s", queueId.c_str(), addresses.c_str());
    return SMFIS_DISCARD;
} catch (const std::bad_alloc&) {
    LogError("out of memory judging the message; message accepted");
    counters->CountUnjudged();
    return SMFIS_ACCEPT;
}

sfsistat OnAbort(SMFICTX* ctx) {
    if (Session* session = SessionOf(ctx)) {
        session->message = ReceivedMessage();
        session->failure.clear();
    }
    return SMFIS_CONTINUE;
}

sfsistat OnClose(SMFICTX* ctx) {
    delete SessionOf(ctx);
    smfi_setpriv(ctx, nullptr);
    return SMFIS_CONTINUE;
}

}  // namespace

smfiDesc MilterDescription(TransportHost& transportHost, Mode filterMode, Counters& filterCounters) {
    host = &transportHost;
    mode = filterMode;
    counters = &filterCounters;
    smfiDesc description{};
    description.xxfi_name = const_cast<char*>("pellicor-milter");
    description.xxfi_version = SMFI_VERSION;
    description.xxfi_flags = filterMode == Mode::Hold ? SMFIF_QUARANTINE : SMFIF_NONE;
    description.xxfi_envfrom = OnSender;
    description.xxfi_envrcpt = OnRecipient;
    description.xxfi_header = OnHeader;
    description.xxfi_body = OnBody;
    description.xxfi_eom = OnEndOfMessage;
    description.xxfi_abort = OnAbort;
    description.xxfi_close = OnClose;
    description.xxfi_negotiate = OnNegotiate;
    return description;
}

int OpenSessions() { return openSessions; }

}  // namespace pellicor::milter
