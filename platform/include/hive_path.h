// Where the Linux platform's registry keeps its hive: $PELLICOR_REGISTRY, or the
// machine-wide file. Windows keeps its registry itself, so nothing there asks.
// The registry library defines it.
#pragma once
#include <string>

namespace platform::registry {

std::string hivePath();

}  // namespace platform::registry
