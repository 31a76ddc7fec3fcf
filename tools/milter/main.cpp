// pellicor-milter: the transport host in front of a Postfix or Sendmail server.
// Opens the milter socket as root, drops to -u USER, and runs until SIGTERM/SIGINT.
// SIGHUP and SIGUSR1 log the counters: the rules are read for every reply, so
// there is nothing to reload.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libmilter/mfapi.h>

#include "milter_filter.h"
#include "milter_log.h"
#include "milter_options.h"
#include "milter_outcome.h"
#include "milter_socket.h"
#include "registry_hold.h"
#include "run_files.h"
#include "hive_warning.h"
#include "transport_host.h"

namespace {

using pellicor::milter::LogError;
using pellicor::milter::LogInfo;
using pellicor::milter::ModeName;

int Fail(const std::string& message) {
    if (!pellicor::milter::LogsToStderr()) fprintf(stderr, "pellicor-milter: %s\n", message.c_str());
    LogError("%s", message.c_str());
    return 1;
}

// Opened as root and kept: the milter's user could neither recover a hive left hot
// by a killed writer nor recreate the -wal and -shm files that the last other
// program to close the hive removed. A judgement waits at most a moment for a lock;
// when it cannot read in time the reply is delivered.
void HoldTheHive() {
    platform::registry::SetLockWait(100);
    LSTATUS rc = platform::registry::HoldHive();
    if (rc != ERROR_SUCCESS) {
        const std::string hive = platform::registry::hivePath();
        std::string reason = pellicor::milter::RegistryFailureReason(rc, platform::registry::HiveSystemError(),
                                                                     platform::registry::isDatabaseLocation(hive));
        LogError("cannot open the registry %s: %s; replies are delivered unjudged until it can be read", hive.c_str(),
                 reason.c_str());
    }
}

bool DropPrivileges(const passwd& user, std::string& error) {
    if (initgroups(user.pw_name, user.pw_gid) != 0 || setgid(user.pw_gid) != 0 || setuid(user.pw_uid) != 0) {
        error = std::string("cannot become user ") + user.pw_name + ": " + strerror(errno);
        return false;
    }
    return true;
}

// Waits for SIGTERM or SIGINT, or for the milter loop to end by itself, logging
// the counters on SIGHUP, SIGUSR1 and every `statsSeconds` (0: never).
// libmilter's own signal thread waits for the stop signals too, but the kernel
// offers a signal sent to the process to its main thread first, so this thread
// takes it and wakes the loop at once; should libmilter's take it, the loop ends
// at its next 5-second poll instead.
bool WaitForStop(const std::atomic<bool>& loopEnded, const pellicor::milter::MilterOptions& options,
                 const pellicor::milter::Counters& counters) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
    timespec tick{0, 100 * 1000 * 1000};
    timespec last{};
    clock_gettime(CLOCK_MONOTONIC, &last);
    while (!loopEnded) {
        int signal = sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGTERM || signal == SIGINT) {
            LogInfo("stopping on signal %d", signal);
            return true;
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        bool due = options.statsSeconds > 0 && now.tv_sec - last.tv_sec >= options.statsSeconds;
        if (signal == SIGHUP || signal == SIGUSR1 || due) {
            LogInfo("%s", counters.Line(options.mode).c_str());
            if (due) last = now;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    pellicor::milter::MilterOptions options;
    if (auto problem = pellicor::milter::ParseMilterOptions(std::vector<std::string>(argv + 1, argv + argc), options)) {
        fprintf(stderr, "pellicor-milter: %s\n", problem->c_str());
        return 2;
    }
    if (!options.answer.empty()) {
        fputs(options.answer.c_str(), stdout);
        return 0;
    }
    pellicor::milter::OpenLog(options.foreground);
    platform::registry::SetRegistryLog([](const char* line) { pellicor::milter::LogError("%s", line); });

    const passwd* user = nullptr;
    passwd userRecord{};
    if (!options.user.empty()) {
        user = getpwnam(options.user.c_str());
        if (!user) return Fail("unknown user " + options.user + " (-u): create it, or name one that exists");
        userRecord = *user;
        user = &userRecord;
    }

    pellicor::milter::TransportHost host;
    pellicor::milter::Counters counters;
    smfiDesc description = pellicor::milter::MilterDescription(host, options.mode, counters);
    if (smfi_register(description) != MI_SUCCESS)
        return Fail("libmilter refused the filter description (is libmilter older than the headers?)");
    std::string error;
    if (!pellicor::milter::OpenMilterSocket(options.socket, user, error)) return Fail(error);

    if (!options.foreground && daemon(0, 0) != 0) return Fail(std::string("cannot detach: ") + strerror(errno));
    if (!options.pidFile.empty() && !pellicor::milter::WritePidFile(options.pidFile, user ? user->pw_uid : uid_t(-1),
                                                                    user ? user->pw_gid : gid_t(-1), error))
        return Fail(error);
    HoldTheHive();
    if (user && !DropPrivileges(*user, error)) return Fail(error);

    // Stop signals are taken by this thread; the milter threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&stopSignals, signal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    LogInfo("started on %s in %s mode, hive %s", options.socket.c_str(), ModeName(options.mode),
            platform::registry::hivePath().c_str());
    std::atomic<bool> loopEnded{false};
    std::atomic<int> loopResult{MI_SUCCESS};
    std::thread loop([&] {
        loopResult = smfi_main();
        loopEnded = true;
    });
    if (WaitForStop(loopEnded, options, counters)) {
        std::thread([] { smfi_stop(); }).detach();
        while (!loopEnded) pellicor::milter::WakeMilterSocket(options.socket);
    }
    loop.join();

    // Sessions still talking to the MTA get a moment to finish.
    for (int i = 0; i < 50 && pellicor::milter::OpenSessions() > 0; ++i) usleep(100 * 1000);
    pellicor::milter::RemoveMilterSocket(options.socket);
    if (!options.pidFile.empty()) unlink(options.pidFile.c_str());
    LogInfo("%s", counters.Line(options.mode).c_str());
    if (pellicor::milter::OpenSessions() > 0) {
        LogInfo("stopped with sessions still open");
        _exit(loopResult == MI_SUCCESS ? 0 : 1);
    }
    host.Shutdown();
    if (loopResult != MI_SUCCESS) return Fail("the milter loop failed; libmilter logs why to syslog (facility mail)");
    LogInfo("stopped");
    return 0;
}
