#include "hive_warning.h"

#include <system_error>

#include "hive_path.h"
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
    // A database is looked for again all the time: the registry's own lines say
    // when it is back, and nothing needs restarting.
    const char* advice = platform::registry::isDatabaseLocation(path)
                             ? "the rules database's own lines say why, and judging resumes by itself once it can be"
                               " read"
                             : "check that the file, its -wal and -shm files and its folder exist and are readable"
                               " by the milter's user, then restart the milter";
    log_("cannot read the registry " + path + ": " + reason +
         "; replies are delivered unjudged until it can be read: " + advice);
}

std::string RegistryFailureReason(long status, int systemError, bool database) {
    if (systemError != 0) return std::generic_category().message(systemError);
    if (database) {
        switch (status) {
        case ERROR_ACCESS_DENIED: return "the rules database refused the milter's role";
        case ERROR_BADDB: return "the rules database holds no rules this milter can read";
        case ERROR_TIMEOUT: return "no rules were read from the rules database in time";
        case ERROR_REGISTRY_IO_FAILED:
            return "the rules database cannot be reached, and no rules were read from it yet";
        default: break;
        }
    }
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
