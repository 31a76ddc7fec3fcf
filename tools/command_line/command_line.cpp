#include "command_line.h"

#include <getopt.h>

#include "pellicor_version.h"

namespace pellicor::command_line {

namespace {

const Option kHelp{"help", 'h', nullptr, "print this help and exit"};
const Option kVersion{"version", 'V', nullptr, "print the version and exit"};

}  // namespace

Parsed Parse(const std::vector<std::string>& args, const std::vector<Option>& given, const Handler& handle,
             bool operandsEndOptions) {
    // getopt_long wants argv: a program name, then the arguments. It may permute
    // the pointers, never the text.
    std::vector<char*> argv{const_cast<char*>("pellicor")};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size() - 1);
    std::vector<Option> options = given;
    options.push_back(kHelp);
    options.push_back(kVersion);
    // ':' first: a missing value is told apart from an unknown option; '+' stops at
    // the first operand; '-' hands operands over in place, so that they may mix.
    std::string shortOptions = operandsEndOptions ? "+:" : "-:";
    std::vector<option> longOptions;
    for (const Option& o : options) {
        if (o.shortName) shortOptions += std::string(1, o.shortName) + (o.argument ? ":" : "");
        longOptions.push_back({o.longName, o.argument ? required_argument : no_argument, nullptr, 0});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    Parsed parsed;
    opterr = 0;
    optind = 0;  // glibc: start afresh, even after an earlier parse
    for (;;) {
        int longIndex = -1;
        int c = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), &longIndex);
        if (c == -1) break;
        if (c == 1) {
            parsed.operands.emplace_back(optarg);
            continue;
        }
        const char* seen = argv[optind - 1];
        if (c == '?' || c == ':') {
            std::string name = optopt ? std::string("-") + static_cast<char>(optopt) : std::string(seen);
            if (size_t equals = name.find('='); equals != std::string::npos) name.resize(equals);
            parsed.kind = Parsed::Bad;
            parsed.error = c == ':' ? "option " + name + " needs a value" : "unknown option " + name;
            return parsed;
        }
        const Option* found = nullptr;
        if (longIndex >= 0) found = &options[static_cast<size_t>(longIndex)];
        for (const Option& o : options)
            if (!found && o.shortName == c) found = &o;
        if (!found) continue;
        if (found->shortName == 'h' && found->longName == kHelp.longName) return {Parsed::Help, "", {}};
        if (found->shortName == 'V' && found->longName == kVersion.longName) return {Parsed::Version, "", {}};
        if (auto problem = handle(*found, found->argument ? optarg : nullptr)) {
            parsed.kind = Parsed::Bad;
            parsed.error = *problem;
            return parsed;
        }
    }
    for (int i = optind; i < argc; ++i) parsed.operands.emplace_back(argv[i]);
    return parsed;
}

std::string HelpText(const std::string& synopsis, const std::vector<Option>& given, const std::string& more) {
    std::vector<Option> options = given;
    options.push_back(kHelp);
    options.push_back(kVersion);
    std::string text = "usage: " + synopsis + "\n\noptions:\n";
    for (const Option& o : options) {
        std::string left = o.shortName ? std::string("-") + o.shortName + ", " : "    ";
        left += std::string("--") + o.longName;
        if (o.argument) left += std::string("=") + o.argument;
        if (left.size() < 26) left.resize(26, ' ');
        else left += "  ";
        text += "  " + left + o.help + "\n";
    }
    if (!more.empty()) text += "\n" + more;
    return text;
}

std::string VersionLine(const std::string& program) { return program + " " + PELLICOR_VERSION; }

}  // namespace pellicor::command_line
