#include "milter_options.h"

namespace pellicor_milter {

namespace {

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

}  // namespace

std::string UnixSocketPath(const std::string& socket) {
    for (const char* prefix : {"unix:", "local:"})
        if (StartsWith(socket, prefix)) return socket.substr(std::string(prefix).size());
    return StartsWith(socket, "/") ? socket : std::string();
}

std::optional<MilterOptions> ParseMilterOptions(int argc, char* const argv[], std::string& error) {
    MilterOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "-f") {
            options.foreground = true;
            continue;
        }
        std::string* target = flag == "-p" ? &options.socket
                              : flag == "-u" ? &options.user
                              : flag == "-P" ? &options.pidFile
                                             : nullptr;
        if (!target) {
            error = "unknown option " + flag + "; " + kUsage;
            return std::nullopt;
        }
        if (i + 1 >= argc || std::string(argv[i + 1]).empty()) {
            error = "option " + flag + " needs a value; " + kUsage;
            return std::nullopt;
        }
        *target = argv[++i];
    }
    if (options.socket.empty()) {
        error = std::string("no socket given; ") + kUsage;
        return std::nullopt;
    }
    if (!ValidSocket(options.socket)) {
        error = "bad socket \"" + options.socket + "\": expected unix:/path or inet:PORT@ADDRESS";
        return std::nullopt;
    }
    return options;
}

}  // namespace pellicor_milter
