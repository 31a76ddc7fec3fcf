// For daemons that read the hive under a user of their own: opened while the
// process may still write the hive's folder, the hive stays readable to it.
#pragma once
#include <chrono>
#include <string>

#include "hive_path.h"
#include "winreg.h"

namespace platform::registry {

// Opens the hive now and keeps that connection for the process's lifetime. Its
// first read recovers a WAL left hot by a writer that was killed, and while it
// is open SQLite keeps the -wal and -shm files, which a reader that may not
// create them needs. Call it before giving up root, after any fork.
LSTATUS HoldHive();

// How long a connection opened from now on waits for a lock another process
// holds (5 s unless set); a host that must answer quickly sets a short bound.
void SetLockWait(int milliseconds);

// While it lives, nothing on this thread waits on the hive past `bound` from now:
// SQLite stops sleeping between its tries for a lock, or for a shared index that a
// writer is changing or recovering, and a read that could not begin in time fails.
// Deadlines nest; the earliest holds.
class HiveDeadline {
public:
    explicit HiveDeadline(std::chrono::milliseconds bound);
    ~HiveDeadline();
    HiveDeadline(const HiveDeadline&) = delete;
    HiveDeadline& operator=(const HiveDeadline&) = delete;

    // True once a wait on this thread was cut short at the deadline: a read since
    // then may have failed, or seen nothing, for want of time.
    bool reached() const;

private:
    std::chrono::steady_clock::time_point outer_;
    bool outerCut_;
};

// Where the registry tells the administrator what goes wrong below the calls (a
// rules database unreachable, back again, refused): standard error unless a host
// that logs elsewhere, such as a detached daemon, passes its own (null: back to
// standard error). Called from the registry's own threads too.
void SetRegistryLog(void (*log)(const char* line));

// The system's error number (errno) behind the last read or write of the hive on
// this thread that failed because the system refused it (EACCES for a hive this
// process may not open, say); 0 when it did not fail so.
int HiveSystemError();

}  // namespace platform::registry
