#include "regsvr_command.h"

#include <cstdio>

#include "command_line.h"
#include "libloaderapi.h"
#include "winerror.h"

namespace pellicor::regsvr {
namespace {

typedef HRESULT(STDAPICALLTYPE* RegistrationFn)();

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

using pellicor::command_line::Option;

const std::vector<Option> kOptions = {
    {"unregister", 'u', nullptr, "call DllUnregisterServer instead (also /u)"},
};

constexpr char kUsage[] = "see pellicor-regsvr --help";

}  // namespace

std::string RegsvrHelp() {
    return pellicor::command_line::HelpText(
        "pellicor-regsvr [-u] LIBRARY", kOptions,
        "Registers the in-process server LIBRARY in the hive: $PELLICOR_REGISTRY, or "
        "/var/lib/pellicor/registry.sqlite.\n");
}

namespace {}  // namespace

int RunRegsvr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using pellicor::command_line::Parsed;
    bool unregister = false;
    // The platform's own spelling, /u, is taken as -u; "--" ends the options.
    std::vector<std::string> translated;
    for (const std::string& arg : args) translated.push_back(arg == "/u" || arg == "/U" ? "-u" : arg);
    Parsed parsed = pellicor::command_line::Parse(translated, kOptions,
                                                  [&](const Option&, const char*) -> std::optional<std::string> {
                                                      unregister = true;
                                                      return std::nullopt;
                                                  });
    if (parsed.kind == Parsed::Help) {
        out << RegsvrHelp();
        return kExitOk;
    }
    if (parsed.kind == Parsed::Version) {
        out << pellicor::command_line::VersionLine("pellicor-regsvr") << "\n";
        return kExitOk;
    }
    if (parsed.kind == Parsed::Bad) {
        err << "pellicor-regsvr: " << parsed.error << "; " << kUsage << "\n";
        return kExitBadUsage;
    }
    for (const std::string& arg : parsed.operands) {
        if (arg.size() == 2 && arg[0] == '/') {
            err << "pellicor-regsvr: unknown option " << arg << "; " << kUsage << "\n";
            return kExitBadUsage;
        }
    }
    if (parsed.operands.size() > 1) {
        err << "pellicor-regsvr: more than one library given; " << kUsage << "\n";
        return kExitBadUsage;
    }
    if (parsed.operands.empty()) {
        err << "pellicor-regsvr: no library given; " << kUsage << "\n";
        return kExitBadUsage;
    }
    const std::string& library = parsed.operands.front();
    // dlopen takes a name without a slash from the library path; a file is meant.
    std::string path = library.find('/') == std::string::npos ? "./" + library : library;
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        err << "pellicor-regsvr: cannot load " << library << ": " << GetLastLoadLibraryError() << "\n";
        return kExitFailed;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<RegistrationFn>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
    if (!fn) {
        err << "pellicor-regsvr: " << library << " has no entry point " << entry << "\n";
        FreeLibrary(module);
        return kExitFailed;
    }
    HRESULT hr = fn();
    FreeLibrary(module);
    if (hr != S_OK) {
        err << entry << " in " << library << " failed with status " << Hex(hr) << "\n";
        return kExitFailed;
    }
    out << entry << " in " << library << " succeeded.\n";
    return kExitOk;
}

}  // namespace pellicor::regsvr
