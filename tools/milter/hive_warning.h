// The log line that says the hive cannot be read: once when reading fails, then
// at most once a minute while it goes on failing, and one line when it works again.
#pragma once
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace pellicor::milter {

class HiveWarning {
public:
    using Clock = std::chrono::steady_clock;
    using Log = std::function<void(const std::string& line)>;

    explicit HiveWarning(Log log, Clock::duration interval = std::chrono::minutes(1))
        : log_(std::move(log)), interval_(interval) {}

    // The outcome of one read of the hive at `path` (a file, or a rules database's
    // location); `reason` is empty when it worked.
    void Report(const std::string& path, const std::string& reason, Clock::time_point now = Clock::now());

private:
    Log log_;
    Clock::duration interval_;
    std::mutex mutex_;
    bool failing_ = false;
    Clock::time_point warnedAt_;
};

// Why the hive could not be read, in words: the system's reason when it refused
// (`systemError`, an errno), else what the registry's `status` means for a hive
// in a file, or in a rules database (`database`).
std::string RegistryFailureReason(long status, int systemError, bool database = false);

}  // namespace pellicor::milter
