// pellicor-milter: the transport host in front of a Postfix or Sendmail server.
// Opens the milter socket as root, drops to -u USER, and runs until SIGTERM/SIGINT.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
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
#include "milter_socket.h"
#include "run_files.h"
#include "transport_host.h"

namespace {

using pellicor_milter::LogError;
using pellicor_milter::LogInfo;

int Fail(const std::string& message) {
    if (!pellicor_milter::LogsToStderr()) fprintf(stderr, "pellicor-milter: %s\n", message.c_str());
    LogError("%s", message.c_str());
    return 1;
}

bool DropPrivileges(const passwd& user, std::string& error) {
    if (initgroups(user.pw_name, user.pw_gid) != 0 || setgid(user.pw_gid) != 0 || setuid(user.pw_uid) != 0) {
        error = std::string("cannot become user ") + user.pw_name + ": " + strerror(errno);
        return false;
    }
    return true;
}

// Waits for SIGTERM, SIGINT or SIGHUP, or for the milter loop to end by itself.
// libmilter's own signal thread waits for the same signals, but the kernel offers a
// signal sent to the process to its main thread first, so this thread takes it and
// wakes the loop at once; should libmilter's take it, the loop ends at its next
// 5-second poll instead.
bool WaitForStop(const std::atomic<bool>& loopEnded) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    timespec tick{0, 100 * 1000 * 1000};
    while (!loopEnded) {
        int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (signal > 0) {
            LogInfo("stopping on signal %d", signal);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string error;
    auto options = pellicor_milter::ParseMilterOptions(argc, argv, error);
    if (!options) {
        fprintf(stderr, "pellicor-milter: %s\n", error.c_str());
        return 2;
    }
    pellicor_milter::OpenLog(options->foreground);

    const passwd* user = nullptr;
    passwd userRecord{};
    if (!options->user.empty()) {
        user = getpwnam(options->user.c_str());
        if (!user) return Fail("unknown user " + options->user);
        userRecord = *user;
        user = &userRecord;
    }

    pellicor_milter::TransportHost host;
    smfiDesc description = pellicor_milter::MilterDescription(host);
    if (smfi_register(description) != MI_SUCCESS) return Fail("cannot register with libmilter");
    if (!pellicor_milter::OpenMilterSocket(options->socket, user, error)) return Fail(error);

    if (!options->foreground && daemon(0, 0) != 0) return Fail(std::string("cannot detach: ") + strerror(errno));
    if (!options->pidFile.empty() && !pellicor_milter::WritePidFile(options->pidFile, user ? user->pw_uid : uid_t(-1),
                                                                    user ? user->pw_gid : gid_t(-1), error))
        return Fail(error);
    if (user && !DropPrivileges(*user, error)) return Fail(error);

    // Stop signals are taken by this thread; the milter threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stopSignals, signal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    LogInfo("started on %s", options->socket.c_str());
    std::atomic<bool> loopEnded{false};
    std::atomic<int> loopResult{MI_SUCCESS};
    std::thread loop([&] {
        loopResult = smfi_main();
        loopEnded = true;
    });
    if (WaitForStop(loopEnded)) {
        std::thread([] { smfi_stop(); }).detach();
        while (!loopEnded) pellicor_milter::WakeMilterSocket(options->socket);
    }
    loop.join();

    // Sessions still talking to the MTA get a moment to finish.
    for (int i = 0; i < 50 && pellicor_milter::OpenSessions() > 0; ++i) usleep(100 * 1000);
    pellicor_milter::RemoveMilterSocket(options->socket);
    if (!options->pidFile.empty()) unlink(options->pidFile.c_str());
    if (pellicor_milter::OpenSessions() > 0) {
        LogInfo("stopped with sessions still open");
        _exit(loopResult == MI_SUCCESS ? 0 : 1);
    }
    host.Shutdown();
    if (loopResult != MI_SUCCESS) return Fail("the milter loop failed");
    LogInfo("stopped");
    return 0;
}
