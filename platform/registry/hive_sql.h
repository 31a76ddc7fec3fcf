// SQLite helpers the hive's files share.
#pragma once
#include <cstdint>
#include <string>

#include <sqlite3.h>

#include "winbase.h"
#include "winreg.h"

namespace platform::registry {

// The time now as the platform stamps a key's last write.
inline int64_t now() {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// The registry's status for a SQLite result code.
LSTATUS statusOf(int rc);

// Resets a statement when the scope ends, so it holds no read lock.
class Resetting {
public:
    explicit Resetting(sqlite3_stmt* s) : s_(s) {}
    ~Resetting() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }

private:
    sqlite3_stmt* s_;
};

inline void bindText(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

}  // namespace platform::registry
