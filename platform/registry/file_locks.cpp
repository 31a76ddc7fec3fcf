#include "file_locks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <utility>

#include "registry_hold.h"
#include "store.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::registry {

namespace {

// Closing any descriptor of a file drops every POSIX lock the process holds on it.
// Open file description locks go only with their own description, and conflict
// with other processes' POSIX locks as usual. SQLite keeps a file's lock state per
// process (its connections share one inode's lock and may unlock through another
// descriptor than the one that locked), so every lock call for a file goes to one
// description of that file, kept while SQLite has any descriptor of it open.
struct LockFile {
    int fd = -1;
    int opened = 0;  // SQLite's descriptors of the file now open
};

using FileId = std::pair<dev_t, ino_t>;

std::mutex mutex;
std::map<FileId, LockFile>* files = new std::map<FileId, LockFile>;  // never destroyed: used until exit

// The lock description of each of SQLite's descriptors (plus one; 0 when not known yet),
// so a read's lock calls take no fstat and no mutex. Set under the mutex, cleared when
// the descriptor is closed; a descriptor's file cannot change while it is open.
constexpr int kKnownFds = 4096;
std::atomic<int> lockFdOf[kKnownFds];

bool fileId(int fd, FileId& id) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

// The description that holds the locks of fd's file: opened anew, for writing
// when it may be, so a later writer's write lock is allowed.
int lockDescription(int fd) {
    bool known = fd >= 0 && fd < kKnownFds;
    if (known) {
        int lockFd = lockFdOf[fd].load(std::memory_order_acquire);
        if (lockFd > 0) return lockFd - 1;
    }
    FileId id;
    if (!fileId(fd, id)) return -1;
    std::lock_guard lock(mutex);
    LockFile& file = (*files)[id];
    if (file.fd < 0) {
        std::string self = "/proc/self/fd/" + std::to_string(fd);
        int own = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
        if (own < 0) own = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
        if (own < 0) own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (own >= 0 && own < 3) {  // never a standard stream's number
            int moved = fcntl(own, F_DUPFD_CLOEXEC, 3);
            ::close(own);
            own = moved;
        }
        file.fd = own;
    }
    if (known && file.fd >= 0) lockFdOf[fd].store(file.fd + 1, std::memory_order_release);
    return file.fd;
}

int openFile(const char* path, int flags, int mode) {
    int fd = ::open(path, flags, mode);
    FileId id;
    if (fd >= 0 && fileId(fd, id)) {
        std::lock_guard lock(mutex);
        ++(*files)[id].opened;
    }
    return fd;
}

int closeFile(int fd) {
    FileId id;
    bool identified = fileId(fd, id);
    std::lock_guard lock(mutex);
    if (fd >= 0 && fd < kKnownFds) lockFdOf[fd].store(0, std::memory_order_release);
    if (identified) {
        auto it = files->find(id);
        if (it != files->end() && --it->second.opened <= 0) {
            // SQLite's last descriptor of the file: its locks go now, as POSIX locks would.
            if (it->second.fd >= 0) ::close(it->second.fd);
            files->erase(it);
        }
    }
    return ::close(fd);
}

// SQLite passes a pointer for the lock commands and an int for the others; both
// travel in one register on the platforms this builds for.
int lockingFcntl(int fd, int command, ...) {
    va_list args;
    va_start(args, command);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (command != F_SETLK && command != F_SETLKW && command != F_GETLK) return fcntl(fd, command, argument);
    int lockFd = lockDescription(fd);
    if (lockFd < 0) return fcntl(fd, command, argument);
    auto* request = static_cast<struct flock*>(argument);
    request->l_pid = 0;
    int ofdCommand = command == F_SETLK ? F_OFD_SETLK : command == F_SETLKW ? F_OFD_SETLKW : F_OFD_GETLK;
    return fcntl(lockFd, ofdCommand, request);
}

// A child shares its parent's descriptions, and with them their locks: it takes
// descriptions of its own (closing the inherited ones keeps the parent's locks).
void forgetInParent() {
    for (auto& [id, file] : *files)
        if (file.fd >= 0) ::close(file.fd);
    files->clear();
    for (auto& lockFd : lockFdOf) lockFd.store(0, std::memory_order_relaxed);
}

using Clock = std::chrono::steady_clock;

// This thread's hive deadline (none while it is max()), and whether a sleep was cut at it.
thread_local Clock::time_point waitDeadline = Clock::time_point::max();
thread_local bool waitCut = false;

sqlite3_vfs deadlineVfs;
sqlite3_vfs* unixVfs = nullptr;

// SQLite waits by sleeping through its VFS: for a lock another connection holds
// (the busy handler) and between its tries of a shared index that a writer is
// changing or recovering (about ten seconds of tries, whatever the busy timeout).
// Past the deadline it sleeps no more, so its last tries fail at once.
int sleepUntilDeadline(sqlite3_vfs*, int microseconds) {
    if (waitDeadline != Clock::time_point::max()) {
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(waitDeadline - Clock::now()).count();
        if (left < microseconds) {
            waitCut = true;
            microseconds = static_cast<int>(std::max<long long>(left, 0));
        }
    }
    return microseconds > 0 ? unixVfs->xSleep(unixVfs, microseconds) : 0;
}

}  // namespace

HiveDeadline::HiveDeadline(std::chrono::milliseconds bound) : outer_(waitDeadline), outerCut_(waitCut) {
    waitDeadline = std::min(outer_, Clock::now() + bound);
    waitCut = false;
}

HiveDeadline::~HiveDeadline() {
    waitDeadline = outer_;
    waitCut = waitCut || outerCut_;
}

bool HiveDeadline::reached() const { return waitCut; }

Clock::time_point hiveWaitDeadline() { return waitDeadline; }

void markHiveWaitCut() { waitCut = true; }

void UseFileDescriptionLocks() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
        if (!vfs || !vfs->xSetSystemCall) return;
        vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(openFile));
        vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(closeFile));
        vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(lockingFcntl));
        // The unix VFS under another name with bounded sleeps, as the default.
        unixVfs = vfs;
        deadlineVfs = *vfs;
        deadlineVfs.zName = "unix-deadline";
        deadlineVfs.xSleep = sleepUntilDeadline;
        sqlite3_vfs_register(&deadlineVfs, 1);
        pthread_atfork([] { mutex.lock(); }, [] { mutex.unlock(); },
                       [] {
                           mutex.unlock();
                           forgetInParent();
                       });
    });
}

}  // namespace platform::registry
