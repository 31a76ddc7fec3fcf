// The command line of pellicor-milter.
#pragma once
#include <optional>
#include <string>

namespace pellicor_milter {

struct MilterOptions {
    std::string socket;       // unix:/path, local:/path or inet:PORT@ADDRESS (inet6 too)
    std::string user;         // drop to this user after opening the socket; empty: stay
    bool foreground = false;  // no detaching; log to stderr as well
    std::string pidFile;      // empty: none
};

inline constexpr const char* kUsage = "usage: pellicor-milter -p SOCKET [-u USER] [-f] [-P PIDFILE]";

// The options, or nullopt with a one-line `error`.
std::optional<MilterOptions> ParseMilterOptions(int argc, char* const argv[], std::string& error);

// The path of a unix socket address ("unix:/p", "local:/p" or a bare "/p"),
// or empty for a network socket.
std::string UnixSocketPath(const std::string& socket);

}  // namespace pellicor_milter
