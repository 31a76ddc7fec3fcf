// SQLite's locks on the hive as locks of one open file description per file
// rather than of the process, so that other code in this process opening and
// closing the hive (a file dialog looking at it, say) cannot drop them.
#pragma once

namespace platform::registry {

// Installs the lock calls in SQLite's unix VFS, and as the default VFS the unix
// one whose sleeps end at this thread's HiveDeadline; once per process, before
// the first connection opens.
void UseFileDescriptionLocks();

}  // namespace platform::registry
