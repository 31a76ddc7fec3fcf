#include "regsvr_command.h"

#include <cstdio>

#include "libloaderapi.h"
#include "winerror.h"

namespace regsvr {
namespace {

typedef HRESULT(STDAPICALLTYPE* RegistrationFn)();

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

bool isUnregisterFlag(const std::string& arg) { return arg == "/u" || arg == "/U" || arg == "-u"; }

}  // namespace

int RunRegsvr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool unregister = false;
    std::string library;
    for (const std::string& arg : args) {
        if (isUnregisterFlag(arg)) {
            unregister = true;
        } else if (!arg.empty() && (arg[0] == '/' && arg.size() == 2)) {
            err << "pellicor-regsvr: unknown option " << arg << "; usage: pellicor-regsvr [/u] LIBRARY\n";
            return kExitBadUsage;
        } else if (library.empty()) {
            library = arg;
        } else {
            err << "pellicor-regsvr: more than one library given; usage: pellicor-regsvr [/u] LIBRARY\n";
            return kExitBadUsage;
        }
    }
    if (library.empty()) {
        err << "pellicor-regsvr: no library given; usage: pellicor-regsvr [/u] LIBRARY\n";
        return kExitBadUsage;
    }
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
        err << entry << " in " << library << " failed with status " << hex(hr) << "\n";
        return kExitFailed;
    }
    out << entry << " in " << library << " succeeded.\n";
    return kExitOk;
}

}  // namespace regsvr
