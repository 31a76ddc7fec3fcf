// The command line every Pellicor program shares: options parsed by getopt_long
// from one table, the --help text written from that same table, so that the two
// cannot disagree, and the --version line.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pellicor::command_line {

struct Option {
    const char* longName;  // without the leading "--"
    char shortName;        // 0: long form only
    const char* argument;  // the value's name in the help ("SOCKET"); nullptr: takes none
    const char* help;      // what it does, one line
};

// Called for every option given, in order, with its value (nullptr for none;
// possibly empty).
// Returns a one-line reason when the value is bad.
using Handler = std::function<std::optional<std::string>(const Option& option, const char* value)>;

struct Parsed {
    enum Kind { Run, Help, Version, Bad } kind = Run;
    std::string error;                  // for Bad: one line
    std::vector<std::string> operands;  // the arguments that are not options, in order
};

// Parses the arguments after the program name against `options` plus -h/--help
// and -V/--version, which end the parse at once. With `operandsEndOptions`, the
// first operand and everything after it are operands (a command's own
// arguments); otherwise options and operands may mix, and "--" ends the options.
Parsed Parse(const std::vector<std::string>& args, const std::vector<Option>& options, const Handler& handle,
             bool operandsEndOptions = false);

// "usage: SYNOPSIS", then one line per option (-h and -V included), then `more`.
std::string HelpText(const std::string& synopsis, const std::vector<Option>& options, const std::string& more = "");

// "PROGRAM 1.1.0.8": the project's version.
std::string VersionLine(const std::string& program);

}  // namespace pellicor::command_line
