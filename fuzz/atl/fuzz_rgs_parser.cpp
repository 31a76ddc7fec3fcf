// Parses arbitrary registration scripts. A parsed script must hold only keys
// with usable names; a failed parse must say why.
#include <cstdlib>
#include <string_view>

#include "registration_script.h"

namespace {

void check(const platform::atl::ScriptKey& key) {
    if (key.name.empty() || key.name.find('\\') != std::string::npos) std::abort();
    for (const platform::atl::ScriptKey& child : key.keys) check(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::atl::Script script;
    std::string error;
    bool parsed = platform::atl::ParseRegistrationScript(text, {{"MODULE", "/usr/lib/libPellicor.so"}}, script, error);
    if (!parsed && error.empty()) std::abort();
    for (const platform::atl::ScriptRoot& root : script.roots)
        for (const platform::atl::ScriptKey& key : root.keys) check(key);
    return 0;
}
