// The command line of pellicor-milter.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace pellicor::milter {

// What happens to a reply the rule lists condemn.
enum class Mode {
    Discard,  // dropped, as the sink asks
    Hold,     // put in the MTA's quarantine (Postfix's hold queue) for the administrator
    Monitor,  // delivered; only logged as "would discard"
};

const char* ModeName(Mode mode);

struct MilterOptions {
    std::string socket;       // unix:/path, local:/path or inet:PORT@ADDRESS (inet6 too)
    std::string user;         // drop to this user after opening the socket; empty: stay
    bool foreground = false;  // no detaching; log to stderr as well
    std::string pidFile;      // empty: none
    Mode mode = Mode::Discard;
    unsigned statsSeconds = 3600;  // how often the counters are logged; 0: never
    std::string answer;            // --help or --version: print this and exit 0, nothing else
};

// The --help text.
std::string MilterHelp();

// Parses the arguments after the program name into `options`. Returns a one-line
// reason on bad input.
std::optional<std::string> ParseMilterOptions(const std::vector<std::string>& args, MilterOptions& options);

// The path of a unix socket address ("unix:/p", "local:/p" or a bare "/p"),
// or empty for a network socket.
std::string UnixSocketPath(const std::string& socket);

}  // namespace pellicor::milter
