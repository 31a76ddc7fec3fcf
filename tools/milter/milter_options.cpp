#include "milter_options.h"

#include <vector>

#include "command_line.h"

namespace pellicor::milter {

namespace {

using pellicor::command_line::Option;

const std::vector<Option> kOptions = {
    {"socket", 'p', "SOCKET", "listen on unix:/PATH or inet:PORT@ADDRESS (required)"},
    {"user", 'u', "USER", "run as USER once the socket is open"},
    {"foreground", 'f', nullptr, "stay in the foreground; log to standard error too"},
    {"pidfile", 'P', "FILE", "write the process id to FILE"},
    {"mode", 'm', "MODE", "discard (default), hold or monitor condemned replies"},
    {"stats-interval", 's', "SECONDS", "log the counters every SECONDS (default 3600, 0 never)"},
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool ValidSocket(const std::string& socket) {
    if (!UnixSocketPath(socket).empty()) return true;
    for (const char* prefix : {"inet:", "inet6:"}) {
        if (!StartsWith(socket, prefix)) continue;
        std::string rest = socket.substr(std::string(prefix).size());
        std::string port = rest.substr(0, rest.find('@'));
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
        return std::stoi(port) > 0 && std::stoi(port) < 65536;
    }
    return false;
}

std::optional<Mode> ModeNamed(const std::string& name) {
    for (Mode mode : {Mode::Discard, Mode::Hold, Mode::Monitor})
        if (name == ModeName(mode)) return mode;
    return std::nullopt;
}

}  // namespace

const char* ModeName(Mode mode) {
    switch (mode) {
    case Mode::Hold: return "hold";
    case Mode::Monitor: return "monitor";
    case Mode::Discard: break;
    }
    return "discard";
}

std::string MilterHelp() {
    return pellicor::command_line::HelpText("pellicor-milter -p SOCKET [options]", kOptions,
                                            "SIGUSR1 and SIGHUP log the counters; SIGTERM and SIGINT stop.\n"
                                            "The hive is $PELLICOR_REGISTRY, or /var/lib/pellicor/registry.sqlite.\n");
}

std::string UnixSocketPath(const std::string& socket) {
    for (const char* prefix : {"unix:", "local:"})
        if (StartsWith(socket, prefix)) return socket.substr(std::string(prefix).size());
    return StartsWith(socket, "/") ? socket : std::string();
}

std::optional<std::string> ParseMilterOptions(const std::vector<std::string>& args, MilterOptions& options) {
    using pellicor::command_line::Parsed;
    Parsed parsed = pellicor::command_line::Parse(
        args, kOptions, [&](const Option& option, const char* value) -> std::optional<std::string> {
            if (option.argument && !*value) return std::string("option -") + option.shortName + " needs a value";
            switch (option.shortName) {
            case 'p': options.socket = value; break;
            case 'u': options.user = value; break;
            case 'f': options.foreground = true; break;
            case 'P': options.pidFile = value; break;
            case 'm': {
                auto mode = ModeNamed(value);
                if (!mode) return "bad mode \"" + std::string(value) + "\": expected discard, hold or monitor";
                options.mode = *mode;
                break;
            }
            case 's': {
                std::string text = value;
                if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
                    return "bad interval \"" + text + "\": expected a number of seconds, 0 for never";
                options.statsSeconds = static_cast<unsigned>(std::stoul(text));
                break;
            }
            }
            return std::nullopt;
        });
    const std::string usage = "; see pellicor-milter --help";
    if (parsed.kind == Parsed::Help || parsed.kind == Parsed::Version) {
        options.answer =
            parsed.kind == Parsed::Help ? MilterHelp() : pellicor::command_line::VersionLine("pellicor-milter") + "\n";
        return std::nullopt;
    }
    if (parsed.kind == Parsed::Bad) return parsed.error + usage;
    if (!parsed.operands.empty()) return "unexpected argument \"" + parsed.operands.front() + "\"" + usage;
    if (options.socket.empty()) return "no socket given (-p SOCKET)" + usage;
    if (!ValidSocket(options.socket))
        return "bad socket \"" + options.socket + "\": expected unix:/path or inet:PORT@ADDRESS";
    return std::nullopt;
}

}  // namespace pellicor::milter
