// The .reg parser on arbitrary bytes: it must never crash, and whatever it accepts
// must come back the same after the export writer has written it out again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reg_file.h"

namespace {

// The export writes zero-length REG_SZ data as "", which reads back as the empty
// string with its terminator, as on the platform.
std::string normalized(const pellicor::reg::RegFileValue& value) {
    return value.type == 1 && value.data.empty() ? std::string(2, '\0') : value.data;
}

bool same(const std::vector<pellicor::reg::RegFileKey>& a, const std::vector<pellicor::reg::RegFileKey>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].path != b[i].path || a[i].remove != b[i].remove || a[i].values.size() != b[i].values.size())
            return false;
        for (size_t j = 0; j < a[i].values.size(); ++j) {
            const auto& x = a[i].values[j];
            const auto& y = b[i].values[j];
            if (x.name != y.name || x.remove != y.remove || x.type != y.type || normalized(x) != normalized(y))
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    std::vector<pellicor::reg::RegFileKey> keys, again;
    std::string error;
    if (!pellicor::reg::ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), keys, error))
        return 0;
    std::string written = pellicor::reg::WriteRegFile(keys);
    if (!pellicor::reg::ParseRegFile(written, again, error) || !same(keys, again)) __builtin_trap();
    return 0;
}
