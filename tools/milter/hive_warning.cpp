#include "hive_warning.h"

#include <system_error>

#include "winerror.h"

namespace pellicor::milter {

void HiveWarning::Report(const std::string& path, const std::string& reason, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (reason.empty()) {
        if (failing_) log_("the registry " + path + " can be read again; replies are judged");
        failing_ = false;
        return;
    }
    if (failing_ && now - warnedAt_ < interval_) return;
    failing_ = true;
    warnedAt_ = now;
    log_("cannot read the registry " + path + ": " + reason +
         "; replies are delivered unjudged until it can be read: check that the file, its -wal and -shm files and"
         " its folder exist and are readable by the milter's user, then restart the milter");
}

std::string RegistryFailureReason(long status, int systemError) {
    if (systemError != 0) return std::generic_category().message(systemError);
    switch (status) {
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_CANTOPEN: return "the file cannot be opened";
    case ERROR_BADDB: return "the file is not a registry or is damaged";
    case ERROR_NOT_ENOUGH_MEMORY: return "out of memory";
    case ERROR_TIMEOUT:  // the milter's own bound on a judgement's wait
        return "it could not be read in time: another program holds it locked, or is recovering it";
    case ERROR_LOCK_VIOLATION:  // the hive's own status for a lock held past the wait
    case ERROR_REGISTRY_IO_FAILED:
        return "another program holds it locked, or it needs a recovery the milter's user cannot make";
    default: return "registry error " + std::to_string(status);
    }
}

}  // namespace pellicor::milter
