// pellicor-submit's work: read one RFC 5322 message and its envelope from the
// command line, build the transport's mail message, run the out-of-office marker
// component, fire the message event and print the verdict.
//
//   pellicor-submit [--marker auto|on|off] [--explain] [--register] --from ADDRESS --to ADDRESS ... [FILE]
#pragma once
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "message_event_source.h"

namespace pellicor::submit {

inline constexpr size_t kMaxMessageBytes = size_t(64) << 20;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;         // the event could not be fired
inline constexpr int kExitBadInput = 2;       // bad command line or message
inline constexpr int kExitNotRegistered = 2;  // the sink is not registered

enum class MarkerMode { Auto, On, Off };

struct SubmitOptions {
    MarkerMode marker = MarkerMode::Auto;
    std::optional<std::string> from;  // "" or "<>": the null sender
    std::vector<std::string> to;
    std::string file;           // empty or "-": standard input
    bool explain = false;       // print why after the verdict
    bool registerSink = false;  // register the sink when it is not registered yet
    std::string answer;         // --help or --version: print this and exit 0
};

// The text --help prints.
std::string SubmitHelp();

// Parses the arguments after the program name. Returns a one-line reason on bad input.
std::optional<std::string> ParseSubmitOptions(const std::vector<std::string>& args, SubmitOptions& options);

// Reads the whole message from `file` (standard input `in` for "" or "-").
// Returns a one-line reason when it cannot be read or is over kMaxMessageBytes.
std::optional<std::string> ReadMessage(const std::string& file, std::FILE* in, std::string& content);

// How the event reaches the sink: fires it for the message and reports the verdict.
// Called only once the command line and the message have been found good; on
// failure it may leave a one-line reason.
// `registerSink`: the caller asked (--register) for the sink to be registered
// when it is not; otherwise the hive is only read.
using EventFirer = std::function<HRESULT(IMailMsgProperties* message, platform::smtp::Verdict* verdict,
                                         bool registerSink, std::string& reason)>;

// --explain's lines for a reply: each rule list's lookup in the order the sink
// makes them (list 0, 1, 2), with the entry that matched or "no match".
std::string ExplainLookups(const std::string& sender, const std::string& firstRecipient);

// The whole command. Prints "deleted" or "delivered" on `out` and returns kExitOk,
// or prints one line on `err` and returns kExitBadInput, kExitNotRegistered or kExitFailed.
int RunSubmit(const std::vector<std::string>& args, const EventFirer& fire, std::FILE* in, std::ostream& out,
              std::ostream& err);

}  // namespace pellicor::submit
