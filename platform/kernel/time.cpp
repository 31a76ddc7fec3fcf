#include <chrono>

#include "winbase.h"

void GetSystemTimeAsFileTime(LPFILETIME time) {
    // Seconds between 1601-01-01 and 1970-01-01.
    constexpr uint64_t kEpochDifference = 11644473600ULL;
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    uint64_t ticks =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count()) / 100 +
        kEpochDifference * 10000000ULL;
    time->dwLowDateTime = static_cast<DWORD>(ticks);
    time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
