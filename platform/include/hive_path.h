// Where the Linux platform's registry keeps its hive: $PELLICOR_REGISTRY, or the
// machine-wide file. Windows keeps its registry itself, so nothing there asks.
// The registry library defines it.
#pragma once
#include <string>
#include <string_view>

namespace platform::registry {

std::string hivePath();

// True for a hive location that names a database (a libpq URI), not a file.
inline bool isDatabaseLocation(std::string_view location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

}  // namespace platform::registry
