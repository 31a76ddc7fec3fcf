// For daemons that read the hive under a user of their own: opened while the
// process may still write the hive's folder, the hive stays readable to it.
#pragma once
#include <string>

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

// The hive file the registry uses: PELLICOR_REGISTRY, or the machine-wide file.
std::string hivePath();

}  // namespace platform::registry
