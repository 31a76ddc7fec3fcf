// A hive connection's file and schema: opening (and creating) the file, checking
// that it is a hive, numbering its states, preparing the statements.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_locks.h"
#include "hive.h"
#include "hive_sql.h"
#include "registry_hold.h"

namespace platform::registry {

LSTATUS statusOf(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG: return ERROR_INVALID_PARAMETER;  // data past SQLite's limit of a billion bytes
    case SQLITE_FULL: return ERROR_CANTWRITE;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_LOCK_VIOLATION;  // another connection held the hive past the busy timeout
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_ERROR:
    case SQLITE_SCHEMA: return ERROR_BADDB;
    default: return ERROR_REGISTRY_IO_FAILED;
    }
}

namespace {

// How long a connection trusts that the file at its path is still the one it opened.
constexpr auto kFileCheckInterval = std::chrono::seconds(1);

// Marks a SQLite file as a registry hive ("PREG"), so a foreign database is refused
// rather than written into.
constexpr int kApplicationId = 0x50524547;
std::atomic<int> lockWaitMs{5000};

// The errno behind this thread's last failure to reach the hive (HiveSystemError).
thread_local int systemError = 0;

// SQLite keeps the system's error only for failures to open or to read and write.
int systemErrorOf(sqlite3* db, int rc) {
    int primary = rc & 0xFF;
    return db && (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) ? sqlite3_system_errno(db) : 0;
}

const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " folded TEXT NOT NULL, written INTEGER NOT NULL, changed INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);";

// A key's values in order with everything read of them, so a changed list is read
// from the index alone. Hives made before it have vals_in_order (key) instead.
const char* const kListingIndex = "CREATE INDEX IF NOT EXISTS vals_listing ON vals(key, id, name, type, data);";

// One row: the hive's id, made at random with the file, and the number of the committed
// state, raised by every write, by which readers share what they read of one state.
const char* const kVersionTable =
    "CREATE TABLE IF NOT EXISTS hive(id INTEGER NOT NULL, version INTEGER NOT NULL);"
    "INSERT INTO hive SELECT random() & 9223372036854775807, 1 WHERE NOT EXISTS (SELECT 1 FROM hive);";

// Every key stamped with the version that last changed its snapshot (its values,
// through its written time, which every value write sets, and its subkeys' names and
// times), so a reader at a new version keeps what it read of the keys left alone. In
// the file, so any writer stamps. Added to an older hive, every key is stamped as
// changed by the next version: what was read before is then read again once.
const char* const kStampColumn =
    "ALTER TABLE keys ADD COLUMN changed INTEGER NOT NULL DEFAULT 0;"
    "UPDATE keys SET changed = (SELECT version + 1 FROM hive);";
const char* const kStampTriggers =
    "CREATE TRIGGER IF NOT EXISTS keys_stamp_made AFTER INSERT ON keys BEGIN"
    " UPDATE keys SET changed = (SELECT version + 1 FROM hive) WHERE id IN (NEW.id, NEW.parent); END;"
    "CREATE TRIGGER IF NOT EXISTS keys_stamp_gone AFTER DELETE ON keys BEGIN"
    " UPDATE keys SET changed = (SELECT version + 1 FROM hive) WHERE id = OLD.parent; END;"
    "CREATE TRIGGER IF NOT EXISTS keys_stamp_written AFTER UPDATE OF written ON keys BEGIN"
    " UPDATE keys SET changed = (SELECT version + 1 FROM hive) WHERE id IN (NEW.id, NEW.parent); END;";

const char* const kStatements[] = {
    "SELECT id, version FROM hive",
    "UPDATE hive SET version = version + 1",
    "SELECT written FROM keys WHERE id = ?1",
    "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id",
    "SELECT name, written FROM keys WHERE parent = ?1 ORDER BY id",
    "INSERT INTO keys(parent, name, folded, written) VALUES(?1, ?2, ?3, ?4)",
    "UPDATE keys SET written = ?2 WHERE id = ?1",
    // Overwriting keeps the first-written name and the value's place in the order.
    ("INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
     " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"),
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id = ?1",
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SAVEPOINT op",
    "RELEASE op",
    "ROLLBACK TO op",
    "SELECT changed FROM keys WHERE id = ?1",
};

LSTATUS statusOfErrno(int error) {
    systemError = error;
    return error == EACCES || error == EPERM ? ERROR_ACCESS_DENIED : ERROR_CANTOPEN;
}

// Creates the hive's folder (and missing parents) with mode 0755.
LSTATUS createFolders(const std::filesystem::path& folder) {
    if (folder.empty() || std::filesystem::exists(folder)) return ERROR_SUCCESS;
    LSTATUS rc = createFolders(folder.parent_path());
    if (rc != ERROR_SUCCESS) return rc;
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return statusOfErrno(errno);
    chmod(folder.c_str(), 0755);
    return ERROR_SUCCESS;
}

}  // namespace

Connection::Connection(std::string path, bool transactional) : path_(std::move(path)), transactional_(transactional) {}

Connection::~Connection() {
    if (transactional_ && active_ && begun_) run(kRollback);
    for (auto* s : stmts_) sqlite3_finalize(s);
    sqlite3_close_v2(db_);
}

bool Connection::stale() const {
    assert(mutex.heldHere());
    if (state_ == State::Bad) return true;
    if (db_ == nullptr) return false;
    // A replaced hive file (a restore, say) is noticed within a second; looking on
    // every key opened cost a system call each time.
    auto now = std::chrono::steady_clock::now();
    if (now - fileCheckedAt_ < kFileCheckInterval) return false;
    fileCheckedAt_ = now;
    struct stat st;
    if (stat(path_.c_str(), &st) != 0) return true;
    return st.st_dev != device_ || st.st_ino != inode_;
}

sqlite3_stmt* Connection::stmt(Stmt s) { return stmts_[s]; }

LSTATUS Connection::fail(int rc) {
    systemError = systemErrorOf(db_, rc);
    LSTATUS status = statusOf(rc);
    if (status == ERROR_BADDB) {
        state_ = State::Bad;
        bad_ = status;
    }
    return status;
}

LSTATUS Connection::run(Stmt s) {
    sqlite3_stmt* st = stmt(s);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    sqlite3_reset(st);
    return rc == SQLITE_DONE ? ERROR_SUCCESS : fail(rc);
}

LSTATUS Connection::openFile(bool forWrite) {
    struct stat st;
    if (stat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT) return statusOfErrno(errno);
        if (!forWrite) return ERROR_SUCCESS;  // reading a missing hive finds no keys
        std::filesystem::path file(path_);
        LSTATUS rc = createFolders(file.parent_path());
        if (rc != ERROR_SUCCESS) return rc;
        int fd = ::open(path_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return statusOfErrno(errno);
        if (fd >= 0) {
            fchmod(fd, 0644);  // whatever the umask: readable by all, writable by the owner
            close(fd);
        }
        if (stat(path_.c_str(), &st) != 0) return statusOfErrno(errno);
    }
    UseFileDescriptionLocks();
    int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        systemError = systemErrorOf(db_, rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return statusOf(rc);
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    sqlite3_busy_timeout(db_, lockWaitMs.load());
    // Keep the -wal and -shm files when the last connection closes: a process that
    // may not write the hive's folder (the sink under its own user) can read a WAL
    // database only while they exist.
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // One connection per sink thread, and what they read is shared: a small page cache
    // each, and no lookaside memory, which every connection would hold whether it reads
    // a key or only the version row.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=1048576; PRAGMA cache_size=-256", nullptr,
                 nullptr, nullptr);
    state_ = State::Empty;
    return checkSchema();
}

LSTATUS Connection::checkSchema() {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_,
                                "SELECT (SELECT application_id FROM pragma_application_id),"
                                " (SELECT count(*) FROM sqlite_master),"
                                " (SELECT count(*) FROM sqlite_master WHERE name = 'hive'),"
                                " (SELECT count(*) FROM sqlite_master WHERE name = 'vals_listing'),"
                                " (SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND name IN"
                                "  ('keys_stamp_made', 'keys_stamp_gone', 'keys_stamp_written'))",
                                -1, &s, nullptr);
    int64_t applicationId = 0, objects = 0, versionTable = 0, listingIndex = 0, stampTriggers = 0;
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        applicationId = sqlite3_column_int64(s, 0);
        objects = sqlite3_column_int64(s, 1);
        versionTable = sqlite3_column_int64(s, 2);
        listingIndex = sqlite3_column_int64(s, 3);
        stampTriggers = sqlite3_column_int64(s, 4);
        rc = SQLITE_OK;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK) return fail(rc);
    if (applicationId == 0 && objects == 0) return ERROR_SUCCESS;  // a new, empty file
    if (applicationId != kApplicationId) return fail(SQLITE_NOTADB);
    stamped_ = versionTable && stampTriggers == 3;
    if (!versionTable || !listingIndex || !stamped_) {
        LSTATUS status = addMissingSchema(!versionTable);
        if (status != ERROR_SUCCESS) return status;
    }
    state_ = State::Ready;
    return prepareStatements();
}

// An older hive gets its version row, listing index and stamps from the first
// connection that may write it. One that may not reads without the index, reads every
// key anew at each version without the stamps, and without the version row counts
// only the states it sees itself.
LSTATUS Connection::addMissingSchema(bool versionTable) {
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        // Looked at again in the write: another connection may have added the column since.
        sqlite3_stmt* s = nullptr;
        rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM pragma_table_info('keys') WHERE name = 'changed'", -1, &s,
                                nullptr);
        bool hasColumn = rc == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) > 0;
        sqlite3_finalize(s);
        std::string sql =
            std::string(kVersionTable) + kListingIndex + (hasColumn ? "" : kStampColumn) + kStampTriggers + "COMMIT;";
        if (rc == SQLITE_OK) rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
        stamped_ = true;
        return ERROR_SUCCESS;
    }
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (!versionTable) return ERROR_SUCCESS;  // the index and the stamps only speed reading
    if (statusOf(rc) != ERROR_ACCESS_DENIED) return statusOf(rc);
    versioned_ = false;
    return ERROR_SUCCESS;
}

LSTATUS Connection::initSchema() {
    // WAL first: readers then never wait for the writer.
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return statusOf(rc);
    LSTATUS status = checkSchema();  // another process may have been first
    if (status == ERROR_SUCCESS && state_ == State::Empty) {
        std::string sql = std::string(kSchema) + kListingIndex + kVersionTable + kStampTriggers +
                          "PRAGMA application_id=" + std::to_string(kApplicationId) +
                          ";INSERT INTO keys(id, parent, name, folded, written) VALUES(0, -1, '', '', " +
                          std::to_string(now()) + ");";
        rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return statusOf(rc);
        }
        return checkSchema();
    }
    sqlite3_exec(db_, state_ == State::Bad ? "ROLLBACK" : "COMMIT", nullptr, nullptr, nullptr);
    return status;
}

LSTATUS Connection::prepareStatements() {
    for (int i = 0; i < kStmtCount; ++i) {
        if (stmts_[i]) continue;
        const char* sql = kStatements[i];
        // Without a version row (a hive this connection may not write, so it never bumps
        // one): SQLite's count of the commits this connection has seen.
        if (!versioned_ && i == kVersion) sql = "SELECT -1, data_version FROM pragma_data_version";
        if (!versioned_ && i == kBumpVersion) sql = "SELECT 0";
        if (!stamped_ && i == kChanged) sql = "SELECT NULL WHERE ?1 IS NULL";  // not asked: nothing is reused
        int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i], nullptr);
        if (rc != SQLITE_OK) return fail(rc);  // a file with our mark but not our tables
    }
    return ERROR_SUCCESS;
}

LSTATUS Connection::prepare(bool forWrite) {
    systemError = 0;
    if (transactional_ && !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    if (state_ == State::Bad) return bad_;
    LSTATUS rc = ERROR_SUCCESS;
    if (state_ == State::Missing) rc = openFile(forWrite);
    if (rc == ERROR_SUCCESS && state_ == State::Empty) {
        rc = checkSchema();
        if (rc == ERROR_SUCCESS && state_ == State::Empty && forWrite) rc = initSchema();
    }
    if (rc == ERROR_SUCCESS) rc = beginTransactionIfNeeded();
    return rc;
}

LSTATUS Connection::beginTransactionIfNeeded() {
    if (!transactional_ || begun_ || state_ != State::Ready) return ERROR_SUCCESS;
    LSTATUS rc = run(kBeginImmediate);
    if (rc == ERROR_SUCCESS) begun_ = true;
    return rc;
}

LSTATUS HoldHive() {
    static auto* held = new std::shared_ptr<Store>;  // never closed
    auto connection = makeStore(hivePath(), false);
    std::lock_guard lock(connection->mutex);
    KeyRef root;
    root.root = true;
    std::shared_ptr<const Snapshot> snapshot;
    LSTATUS rc = connection->snapshot(root, snapshot);
    *held = std::move(connection);
    return rc;
}

void SetLockWait(int milliseconds) { lockWaitMs = milliseconds; }

int HiveSystemError() { return systemError; }

namespace {

// A database location must name no password (libpq's password file holds it). One
// that does is refused when connecting, and every program shows it, in its messages
// and log lines, with the password masked.
std::string withPasswordMasked(std::string location) {
    size_t authority = location.find("://") + 3;
    size_t authorityEnd = location.find_first_of("/?", authority);
    if (authorityEnd == std::string::npos) authorityEnd = location.size();
    size_t at = location.rfind('@', authorityEnd);
    size_t colon = location.find(':', authority);
    if (at != std::string::npos && at >= authority && colon < at) location.replace(colon + 1, at - colon - 1, "***");
    for (size_t p = location.find('?'); p != std::string::npos; p = location.find('&', p + 1)) {
        if (location.compare(p + 1, 9, "password=") != 0) continue;
        size_t value = p + 10, end = location.find('&', value);
        location.replace(value, (end == std::string::npos ? location.size() : end) - value, "***");
    }
    return location;
}

}  // namespace

std::string hivePath() {
    const char* path = std::getenv("PELLICOR_REGISTRY");
    if (!path || !*path) return "/var/lib/pellicor/registry.sqlite";
    std::string location(path);
    return isDatabaseLocation(location) ? withPasswordMasked(std::move(location)) : location;
}

}  // namespace platform::registry
