#include "submit_command.h"

#include <cerrno>
#include <cstring>

#include <vector>

#include "atlbase.h"
#include "command_line.h"
#include "mail_message.h"
#include "out_of_office_marker.h"
#include "winreg.h"

namespace pellicor::submit {
namespace {

using pellicor::command_line::Option;

const std::vector<Option> kOptions = {
    {"from", 0, "ADDRESS", "the envelope sender ('' or '<>': the null sender)"},
    {"to", 0, "ADDRESS", "an envelope recipient; give one or more"},
    {"marker", 0, "MODE", "auto (run the marker, the default), on or off"},
    {"explain", 0, nullptr, "after the verdict, print why: the kind and each list's lookup"},
    {"register", 0, nullptr, "register the sink beside the program when it is not registered"},
};

constexpr char kSynopsis[] = "pellicor-submit [options] --from ADDRESS --to ADDRESS ... [FILE]";
constexpr char kUsage[] = "see pellicor-submit --help";

const char* const kListKeys[] = {"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains",
                                 "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFenabledRecipientDomains",
                                 "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses"};

bool EqualsFoldingAtoZ(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// The entry of list `list` that `text` matches ("*" matches anything), or why not.
std::string Lookup(int list, const std::string& text) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kListKeys[list], 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "no match (no such list, or it cannot be read)";
    std::string found;
    for (DWORD index = 0; found.empty(); ++index) {
        char name[1025];
        DWORD chars = sizeof name;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &chars, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::string entry(name, chars);
        if (type == REG_SZ && (entry == "*" || EqualsFoldingAtoZ(entry, text))) found = entry;
    }
    RegCloseKey(key);
    return found.empty() ? "no match" : "matched \"" + found + "\"";
}

std::string DomainOf(const std::string& address) {
    size_t at = address.find('@');
    return at == std::string::npos ? std::string() : address.substr(at);
}

std::optional<std::string> CheckAddress(const std::string& address, const char* what) {
    for (unsigned char c : address)
        if (c < 0x20 || c == 0x7F) return std::string(what) + " address contains a control character";
    return std::nullopt;
}

std::optional<MarkerMode> ParseMarkerMode(const std::string& text) {
    if (text == "auto") return MarkerMode::Auto;
    if (text == "on") return MarkerMode::On;
    if (text == "off") return MarkerMode::Off;
    return std::nullopt;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(hr));
    return text;
}

}  // namespace

std::string SubmitHelp() {
    return pellicor::command_line::HelpText(kSynopsis, kOptions,
                                            "Prints \"deleted\" or \"delivered\". The message is read from FILE, or "
                                            "standard input.\nThe hive is $PELLICOR_REGISTRY, or "
                                            "/var/lib/pellicor/registry.sqlite.\n");
}

std::string ExplainLookups(const std::string& sender, const std::string& firstRecipient) {
    const std::string texts[] = {DomainOf(sender), DomainOf(firstRecipient), sender};
    const char* what[] = {"sender domain", "recipient domain", "sender address"};
    std::string lines;
    for (int list = 0; list < 3; ++list)
        lines += "list " + std::to_string(list) + " (" + what[list] + " " + texts[list] +
                 "): " + Lookup(list, texts[list]) + "\n";
    return lines;
}

std::optional<std::string> ParseSubmitOptions(const std::vector<std::string>& args, SubmitOptions& options) {
    using pellicor::command_line::Parsed;
    Parsed parsed = pellicor::command_line::Parse(
        args, kOptions, [&](const Option& option, const char* text) -> std::optional<std::string> {
            const std::string name = option.longName;
            const std::string value = text ? text : "";
            if (name == "explain") options.explain = true;
            else if (name == "register") options.registerSink = true;
            else if (name == "marker") {
                auto mode = ParseMarkerMode(value);
                if (!mode) return "--marker must be auto, on or off, not '" + value + "'";
                options.marker = *mode;
            } else if (name == "from") {
                if (options.from) return std::string("--from given more than once");
                if (auto problem = CheckAddress(value, "sender")) return problem;
                options.from = value;
            } else {
                if (value.empty() || value == "<>") return std::string("--to needs an address");
                if (auto problem = CheckAddress(value, "recipient")) return problem;
                options.to.push_back(value);
            }
            return std::nullopt;
        });
    if (parsed.kind == Parsed::Help || parsed.kind == Parsed::Version) {
        options.answer =
            parsed.kind == Parsed::Help ? SubmitHelp() : pellicor::command_line::VersionLine("pellicor-submit") + "\n";
        return std::nullopt;
    }
    if (parsed.kind == Parsed::Bad) return parsed.error;
    if (parsed.operands.size() > 1) return "more than one message file given";
    if (!parsed.operands.empty()) options.file = parsed.operands.front();
    if (!options.from) return "missing --from (use --from '' for the null sender)";
    if (options.to.empty()) return "missing --to: a message needs at least one recipient";
    return std::nullopt;
}

std::optional<std::string> ReadMessage(const std::string& file, std::FILE* in, std::string& content) {
    bool standardInput = file.empty() || file == "-";
    std::string name = standardInput ? "standard input" : file;
    std::FILE* source = standardInput ? in : std::fopen(file.c_str(), "rb");
    if (!source) return "cannot open " + name + ": " + std::strerror(errno);
    content.clear();
    char chunk[65536];
    std::optional<std::string> problem;
    for (;;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, source);
        if (got == 0) {
            if (std::ferror(source)) problem = "cannot read " + name + ": " + std::strerror(errno);
            break;
        }
        if (content.size() + got > kMaxMessageBytes) {
            problem = name + " holds a message over 64 MiB";
            break;
        }
        content.append(chunk, got);
    }
    if (!standardInput) std::fclose(source);
    return problem;
}

int RunSubmit(const std::vector<std::string>& args, const EventFirer& fire, std::FILE* in, std::ostream& out,
              std::ostream& err) {
    SubmitOptions options;
    if (auto problem = ParseSubmitOptions(args, options)) {
        err << "pellicor-submit: " << *problem << " (" << kUsage << ")\n";
        return kExitBadInput;
    }
    if (!options.answer.empty()) {
        out << options.answer;
        return kExitOk;
    }
    std::string content;
    if (auto problem = ReadMessage(options.file, in, content)) {
        err << "pellicor-submit: " << *problem << "\n";
        return kExitBadInput;
    }

    platform::smtp::Envelope envelope{*options.from, options.to};
    CComPtr<IMailMsgProperties> message;
    HRESULT hr = platform::smtp::CreateMailMessage(std::move(content), envelope, &message);
    if (FAILED(hr)) {
        err << "pellicor-submit: cannot build the mail message (" << Hex(hr) << ")\n";
        return kExitFailed;
    }

    platform::smtp::MessageKind kind = platform::smtp::MessageKind::OutOfOffice;
    platform::smtp::Recognition recognition;
    if (options.marker == MarkerMode::On) hr = platform::smtp::WriteOutOfOfficeMarker(message);
    else if (options.marker == MarkerMode::Auto)
        hr = platform::smtp::RunOutOfOfficeMarker(message, platform::smtp::IsNullSender(*options.from), &recognition);
    else kind = platform::smtp::MessageKind::Other;
    if (options.marker == MarkerMode::Auto) kind = recognition.kind;
    if (FAILED(hr)) {
        err << "pellicor-submit: the out-of-office marker failed (" << Hex(hr) << ")\n";
        return kExitFailed;
    }

    platform::smtp::Verdict verdict = platform::smtp::Verdict::Delivered;
    std::string reason;
    char sender[1024] = "";
    message->GetStringA(IMMPID_MP_SENDER_ADDRESS_SMTP, sizeof sender, sender);
    hr = fire(message, &verdict, options.registerSink, reason);
    message.Release();
    if (FAILED(hr)) {
        if (reason.empty()) reason = "the message event failed (" + Hex(hr) + ")";
        err << "pellicor-submit: " << reason << "\n";
        return hr == REGDB_E_CLASSNOTREG ? kExitNotRegistered : kExitFailed;
    }
    out << platform::smtp::VerdictName(verdict) << "\n";
    if (options.explain) {
        out << "kind: " << platform::smtp::MessageKindName(kind)
            << (options.marker == MarkerMode::Auto ? "" : " (as --marker says)") << "\n";
        if (options.marker == MarkerMode::Auto && !recognition.rule.empty())
            out << "rule: " << recognition.rule << ", reason=\"" << recognition.Reason() << "\"\n";
        if (kind == platform::smtp::MessageKind::OutOfOffice) out << ExplainLookups(sender, options.to.front());
    }
    return kExitOk;
}

}  // namespace pellicor::submit
