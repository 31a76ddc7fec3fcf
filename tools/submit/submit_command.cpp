#include "submit_command.h"

#include <cerrno>
#include <cstring>

#include "mail_message.h"
#include "out_of_office_marker.h"

namespace submit {
namespace {

constexpr char kUsage[] = "usage: pellicor-submit [--marker auto|on|off] --from ADDRESS --to ADDRESS ... [FILE]";

std::optional<std::string> checkAddress(const std::string& address, const char* what) {
    for (unsigned char c : address)
        if (c < 0x20 || c == 0x7F) return std::string(what) + " address contains a control character";
    return std::nullopt;
}

std::optional<MarkerMode> markerMode(const std::string& text) {
    if (text == "auto") return MarkerMode::Auto;
    if (text == "on") return MarkerMode::On;
    if (text == "off") return MarkerMode::Off;
    return std::nullopt;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(hr));
    return text;
}

}  // namespace

std::optional<std::string> ParseSubmitOptions(const std::vector<std::string>& args, SubmitOptions& options) {
    bool filesOnly = false;
    bool haveFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool isOption = !filesOnly && arg.size() > 1 && arg[0] == '-';
        if (isOption && arg == "--") {
            filesOnly = true;
            continue;
        }
        if (!isOption) {
            if (haveFile) return "more than one message file given";
            options.file = arg;
            haveFile = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (size_t equals = arg.find('='); equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (name != "--marker" && name != "--from" && name != "--to") return "unknown option " + name;
        if (!value) {
            if (i + 1 >= args.size()) return name + " needs a value";
            value = args[++i];
        }
        if (name == "--marker") {
            auto mode = markerMode(*value);
            if (!mode) return "--marker must be auto, on or off, not '" + *value + "'";
            options.marker = *mode;
        } else if (name == "--from") {
            if (options.from) return "--from given more than once";
            if (auto problem = checkAddress(*value, "sender")) return problem;
            options.from = *value;
        } else {
            if (value->empty() || *value == "<>") return "--to needs an address";
            if (auto problem = checkAddress(*value, "recipient")) return problem;
            options.to.push_back(*value);
        }
    }
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
    std::string content;
    if (auto problem = ReadMessage(options.file, in, content)) {
        err << "pellicor-submit: " << *problem << "\n";
        return kExitBadInput;
    }

    platform::smtp::Envelope envelope{*options.from, options.to};
    IMailMsgProperties* message = nullptr;
    HRESULT hr = platform::smtp::CreateMailMessage(std::move(content), envelope, &message);
    if (FAILED(hr)) {
        err << "pellicor-submit: cannot build the mail message (" << hex(hr) << ")\n";
        return kExitFailed;
    }

    if (options.marker == MarkerMode::On)
        hr = platform::smtp::WriteOutOfOfficeMarker(message);
    else if (options.marker == MarkerMode::Auto)
        hr = platform::smtp::RunOutOfOfficeMarker(message, platform::smtp::IsNullSender(*options.from), nullptr);
    if (FAILED(hr)) {
        message->Release();
        err << "pellicor-submit: the out-of-office marker failed (" << hex(hr) << ")\n";
        return kExitFailed;
    }

    platform::smtp::Verdict verdict = platform::smtp::Verdict::Delivered;
    std::string reason;
    hr = fire(message, &verdict, reason);
    message->Release();
    if (FAILED(hr)) {
        if (reason.empty()) reason = "the message event failed (" + hex(hr) + ")";
        err << "pellicor-submit: " << reason << "\n";
        return hr == REGDB_E_CLASSNOTREG ? kExitNotRegistered : kExitFailed;
    }
    out << platform::smtp::VerdictName(verdict) << "\n";
    return kExitOk;
}

}  // namespace submit
