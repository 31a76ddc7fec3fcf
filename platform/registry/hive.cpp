#include "hive.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_locks.h"
#include "names.h"
#include "registry_hold.h"
#include "registry_read_scope.h"
#include "winbase.h"

namespace platform::registry {

namespace {

// Counts the writes and commits of every connection in this process, so that a
// connection can tell whether the hive may have changed under this process's hand.
std::atomic<uint64_t> processWrites{0};

// How long a connection trusts that the file at its path is still the one it opened.
constexpr auto kFileCheckInterval = std::chrono::seconds(1);

// Marks a SQLite file as a registry hive ("PREG"), so a foreign database is refused
// rather than written into.
constexpr int kApplicationId = 0x50524547;
std::atomic<int> lockWaitMs{5000};

// This thread's read scopes: how deep, and the connections holding reads for them.
thread_local int readScopeDepth = 0;
thread_local std::vector<std::shared_ptr<Connection>>* readScopeConnections = nullptr;

// The errno behind this thread's last failure to reach the hive (HiveSystemError).
thread_local int systemError = 0;

// SQLite keeps the system's error only for failures to open or to read and write.
int systemErrorOf(sqlite3* db, int rc) {
    int primary = rc & 0xFF;
    return db && (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) ? sqlite3_system_errno(db) : 0;
}

const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " folded TEXT NOT NULL, written INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);"
    "CREATE INDEX vals_in_order ON vals(key);";

const char* const kStatements[] = {
    "PRAGMA data_version",
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
};

int64_t now() {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

LSTATUS statusOf(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;  // data past SQLite's limit of a billion bytes
    case SQLITE_FULL:
        return ERROR_CANTWRITE;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_LOCK_VIOLATION;  // another connection held the hive past the busy timeout
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_ERROR:
    case SQLITE_SCHEMA:
        return ERROR_BADDB;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

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

void bindText(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::u16string columnName(sqlite3_stmt* s, int column, DWORD& utf8Bytes) {
    auto text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    utf8Bytes = static_cast<DWORD>(sqlite3_column_bytes(s, column));
    return widen(std::string_view(text ? text : "", utf8Bytes));
}

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string joined(const std::vector<std::string>& path) {
    std::string out;
    for (const auto& level : path) {
        out += level;
        out += '\\';
    }
    return out;
}

}  // namespace

bool Snapshot::addValue(std::u16string_view name, DWORD type, std::string_view data) {
    if (names_.size() + name.size() > UINT32_MAX || data_.size() + data.size() > UINT32_MAX) return false;
    values_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()),
                       static_cast<uint32_t>(data_.size()), static_cast<uint32_t>(data.size()), type});
    names_ += name;
    data_ += data;
    return true;
}

bool Snapshot::find(std::u16string_view name, ValueRow& row) const {
    if (!indexed_) {
        byName_.reserve(values_.size());
        for (size_t i = 0; i < values_.size(); ++i) byName_.emplace(folded(value(i).name), i);
        indexed_ = true;
    }
    auto it = byName_.find(folded(name));
    if (it == byName_.end()) return false;
    row = value(it->second);
    return true;
}

Connection::Connection(std::string path, bool transactional) : path_(std::move(path)), transactional_(transactional) {}

Connection::~Connection() {
    if (transactional_ && active_ && begun_) run(kRollback);
    for (auto* s : stmts_) sqlite3_finalize(s);
    sqlite3_close_v2(db_);
}

bool Connection::stale() const {
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
        ++generation_;
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
    // One connection per sink thread: a small page cache each (the rule lists are small).
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=1048576; PRAGMA cache_size=-1024",
                 nullptr, nullptr, nullptr);
    state_ = State::Empty;
    ++generation_;
    return checkSchema();
}

LSTATUS Connection::checkSchema() {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT (SELECT application_id FROM pragma_application_id),"
                                     " (SELECT count(*) FROM sqlite_master)", -1, &s, nullptr);
    int64_t applicationId = 0, objects = 0;
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        applicationId = sqlite3_column_int64(s, 0);
        objects = sqlite3_column_int64(s, 1);
        rc = SQLITE_OK;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK) return fail(rc);
    if (applicationId == 0 && objects == 0) return ERROR_SUCCESS;  // a new, empty file
    if (applicationId != kApplicationId) return fail(SQLITE_NOTADB);
    state_ = State::Ready;
    ++generation_;
    return prepareStatements();
}

LSTATUS Connection::initSchema() {
    // WAL first: readers then never wait for the writer.
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return statusOf(rc);
    LSTATUS status = checkSchema();  // another process may have been first
    if (status == ERROR_SUCCESS && state_ == State::Empty) {
        std::string sql = std::string(kSchema) + "PRAGMA application_id=" + std::to_string(kApplicationId) +
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
        int rc = sqlite3_prepare_v3(db_, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i], nullptr);
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

LSTATUS Connection::joinReadScope() {
    if (transactional_ || scoped_ || readScopeDepth == 0 || state_ != State::Ready) return ERROR_SUCCESS;
    // Begun before data_version is read, which takes the snapshot: the caches are then
    // checked against the very state every later read in the scope sees.
    LSTATUS rc = run(kBegin);
    if (rc != ERROR_SUCCESS) return rc;
    scoped_ = true;
    readScopeConnections->push_back(shared_from_this());
    return ERROR_SUCCESS;
}

void Connection::leaveReadScope() {
    if (!scoped_) return;
    scoped_ = false;
    run(kCommit);
}

LSTATUS Connection::refresh() {
    writesSeen_ = processWrites.load();
    LSTATUS rc = prepare(false);
    if (rc == ERROR_SUCCESS) rc = joinReadScope();
    if (rc != ERROR_SUCCESS) return rc;
    if (state_ == State::Ready) {
        sqlite3_stmt* s = stmt(kDataVersion);
        int step = sqlite3_step(s);
        int64_t version = step == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
        sqlite3_reset(s);
        if (step != SQLITE_ROW) return fail(step);
        if (version != dataVersion_) {
            dataVersion_ = version;
            ++generation_;
        }
    }
    if (cachedAt_ != generation_) {
        paths_.clear();
        snapshots_.clear();
        cachedAt_ = generation_;
    }
    return ERROR_SUCCESS;
}

LSTATUS Connection::readBegin() { return transactional_ || scoped_ ? ERROR_SUCCESS : run(kBegin); }

void Connection::readEnd(bool ok) {
    if (!transactional_ && !scoped_) run(ok ? kCommit : kRollback);
}

LSTATUS Connection::child(int64_t parent, const std::string& foldedName, int64_t& id) {
    sqlite3_stmt* s = stmt(kChild);
    Resetting reset(s);
    sqlite3_bind_int64(s, 1, parent);
    bindText(s, 2, foldedName);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW) return fail(rc);
    id = sqlite3_column_int64(s, 0);
    return ERROR_SUCCESS;
}

LSTATUS Connection::locate(KeyRef& key, bool& exists) {
    exists = false;
    if (key.id >= 0) {
        sqlite3_stmt* s = stmt(kKeyById);
        Resetting reset(s);
        sqlite3_bind_int64(s, 1, key.id);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            exists = true;
            return ERROR_SUCCESS;
        }
        if (rc != SQLITE_DONE) return fail(rc);
    }
    // Deleted (or never resolved): the key of the same path, if there is one now.
    int64_t id = kRootId;
    for (const auto& level : key.path) {
        LSTATUS rc = child(id, level, id);
        if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS) return rc;
    }
    key.id = id;
    exists = true;
    return ERROR_SUCCESS;
}

LSTATUS Connection::open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result) {
    KeyRef target;
    target.path = base.path;
    for (const auto& level : levels) target.path.push_back(folded(level));
    target.root = base.root && levels.empty();
    target.rootLevels = target.root ? base.rootLevels : std::vector<std::u16string>{};
    target.id = -1;
    std::string joinedPath = joined(target.path);
    // A key this connection found, with nothing in this process written since it last
    // looked at the hive, opens without looking again. Should another process have
    // deleted it meanwhile, the handle's first use says so (ERROR_KEY_DELETED), as
    // for a key deleted just after it was opened.
    if (!transactional_ && state_ == State::Ready && cachedAt_ == generation_ && writesSeen_ == processWrites.load()) {
        if (auto hit = paths_.find(joinedPath); hit != paths_.end()) {
            target.id = hit->second;
            result = std::move(target);
            return ERROR_SUCCESS;
        }
    }
    LSTATUS rc = refresh();
    if (rc != ERROR_SUCCESS) return rc;
    if (state_ != State::Ready) {
        if (target.root) {
            result = std::move(target);
            return ERROR_SUCCESS;
        }
        return base.root ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    if (auto hit = paths_.find(joinedPath); hit != paths_.end()) {
        target.id = hit->second;
        result = std::move(target);
        return ERROR_SUCCESS;
    }
    KeyRef from = base;
    bool exists;
    rc = locate(from, exists);
    if (rc != ERROR_SUCCESS) return rc;
    if (!exists) {
        if (!base.root) return ERROR_KEY_DELETED;
        if (!target.root) return ERROR_FILE_NOT_FOUND;
        result = std::move(target);  // an empty root view (HKEY_CLASSES_ROOT before anything was registered)
        return ERROR_SUCCESS;
    }
    int64_t id = from.id;
    for (const auto& level : levels) {
        rc = child(id, folded(level), id);
        if (rc != ERROR_SUCCESS) return rc;
    }
    paths_[joinedPath] = id;
    target.id = id;
    result = std::move(target);
    return ERROR_SUCCESS;
}

LSTATUS Connection::loadSnapshot(KeyRef& key, std::shared_ptr<Snapshot>& result) {
    auto snap = std::make_shared<Snapshot>();
    bool exists;
    LSTATUS rc = locate(key, exists);
    if (rc != ERROR_SUCCESS) return rc;
    if (!exists) {
        if (!key.root) return ERROR_KEY_DELETED;
        result = std::move(snap);
        return ERROR_SUCCESS;
    }
    snap->id = key.id;
    {
        sqlite3_stmt* s = stmt(kKeyById);
        Resetting reset(s);
        sqlite3_bind_int64(s, 1, key.id);
        if (sqlite3_step(s) == SQLITE_ROW) snap->written = sqlite3_column_int64(s, 0);
    }
    {
        sqlite3_stmt* s = stmt(kValues);
        Resetting reset(s);
        sqlite3_bind_int64(s, 1, key.id);
        int step;
        while ((step = sqlite3_step(s)) == SQLITE_ROW) {
            DWORD name8;
            std::u16string name = columnName(s, 0, name8);
            auto type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
            auto data = static_cast<const char*>(sqlite3_column_blob(s, 2));
            auto bytes = static_cast<DWORD>(sqlite3_column_bytes(s, 2));
            if (!snap->addValue(name, type, std::string_view(data ? data : "", bytes))) return ERROR_NOT_ENOUGH_MEMORY;
            snap->maxValueName = std::max(snap->maxValueName, static_cast<DWORD>(name.size()));
            snap->maxValueName8 = std::max(snap->maxValueName8, name8);
            snap->maxValueData = std::max(snap->maxValueData, bytes);
            // UTF-16 to 8-bit text takes at most 3 bytes for 2.
            snap->maxValueData8 = std::max(snap->maxValueData8, isText(type) ? (bytes + 1) / 2 * 3 : bytes);
        }
        if (step != SQLITE_DONE) return fail(step);
    }
    {
        sqlite3_stmt* s = stmt(kSubkeys);
        Resetting reset(s);
        sqlite3_bind_int64(s, 1, key.id);
        int step;
        while ((step = sqlite3_step(s)) == SQLITE_ROW) {
            DWORD name8;
            SubkeyRow row;
            row.name = columnName(s, 0, name8);
            row.written = sqlite3_column_int64(s, 1);
            snap->maxSubkeyName = std::max(snap->maxSubkeyName, static_cast<DWORD>(row.name.size()));
            snap->maxSubkeyName8 = std::max(snap->maxSubkeyName8, name8);
            snap->subkeys.push_back(std::move(row));
        }
        if (step != SQLITE_DONE) return fail(step);
    }
    result = std::move(snap);
    return ERROR_SUCCESS;
}

LSTATUS Connection::snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result) {
    LSTATUS rc = refresh();
    if (rc != ERROR_SUCCESS) return rc;
    if (state_ != State::Ready) {
        if (!key.root) return ERROR_KEY_DELETED;
        result = std::make_shared<Snapshot>();
        return ERROR_SUCCESS;
    }
    if (key.id < 0) {  // a root view by path (HKEY_CLASSES_ROOT), looked up on every call
        if (auto hit = paths_.find(joined(key.path)); hit != paths_.end()) key.id = hit->second;
    }
    if (key.id >= 0) {
        if (auto hit = snapshots_.find(key.id); hit != snapshots_.end()) {
            result = hit->second;
            return ERROR_SUCCESS;
        }
    }
    rc = readBegin();
    if (rc != ERROR_SUCCESS) return rc;
    std::shared_ptr<Snapshot> loaded;
    rc = loadSnapshot(key, loaded);
    readEnd(rc == ERROR_SUCCESS);
    if (rc != ERROR_SUCCESS) return rc;
    if (key.id >= 0 && loaded->id == key.id) {
        if (snapshots_.size() >= 256) snapshots_.clear();
        snapshots_[key.id] = loaded;
        paths_[joined(key.path)] = key.id;
    }
    result = std::move(loaded);
    return ERROR_SUCCESS;
}

template <class Body>
LSTATUS Connection::write(Body body) {
    leaveReadScope();  // a write needs the newest state; later reads begin anew
    LSTATUS rc = prepare(true);
    if (rc != ERROR_SUCCESS) return rc;
    rc = run(transactional_ ? kSavepoint : kBeginImmediate);
    if (rc != ERROR_SUCCESS) return rc;
    rc = body();
    if (rc == ERROR_SUCCESS) rc = run(transactional_ ? kRelease : kCommit);
    if (rc != ERROR_SUCCESS && state_ != State::Bad) {
        if (transactional_) {
            run(kRollbackTo);
            run(kRelease);
        } else {
            run(kRollback);
        }
    }
    ++generation_;  // our own writes do not change data_version
    ++processWrites;
    return rc;
}

LSTATUS Connection::ensureExists(KeyRef& key) {
    bool exists;
    LSTATUS rc = locate(key, exists);
    if (rc != ERROR_SUCCESS || exists) return rc;
    if (!key.root) return ERROR_KEY_DELETED;
    // A root view whose key is missing (HKEY_CLASSES_ROOT in a new hive): make it.
    KeyRef made;
    bool created;
    rc = createLevels(kRootId, {}, key.rootLevels, made, created);
    if (rc == ERROR_SUCCESS) key.id = made.id;
    return rc;
}

LSTATUS Connection::createLevels(int64_t id, std::vector<std::string> path, const std::vector<std::u16string>& levels,
                                 KeyRef& result, bool& created) {
    created = false;
    int64_t stamp = now();
    for (const auto& level : levels) {
        std::string fold = folded(level);
        path.push_back(fold);
        LSTATUS rc = child(id, fold, id);
        if (rc == ERROR_SUCCESS) continue;
        if (rc != ERROR_FILE_NOT_FOUND) return rc;
        sqlite3_stmt* s = stmt(kInsertKey);
        Resetting reset(s);
        std::string name = narrow(level);
        sqlite3_bind_int64(s, 1, id);
        bindText(s, 2, name);
        bindText(s, 3, fold);
        sqlite3_bind_int64(s, 4, stamp);
        int step = sqlite3_step(s);
        if (step != SQLITE_DONE) return fail(step);
        id = sqlite3_last_insert_rowid(db_);
        created = true;
    }
    result.id = id;
    result.path = std::move(path);
    result.root = false;
    return ERROR_SUCCESS;
}

LSTATUS Connection::create(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result,
                           bool& created) {
    return write([&]() -> LSTATUS {
        KeyRef from = base;
        LSTATUS rc = ensureExists(from);
        if (rc != ERROR_SUCCESS) return rc;
        rc = createLevels(from.id, from.path, levels, result, created);
        if (rc == ERROR_SUCCESS && levels.empty()) result = from;
        return rc;
    });
}

LSTATUS Connection::touch(int64_t id) {
    sqlite3_stmt* s = stmt(kTouchKey);
    Resetting reset(s);
    sqlite3_bind_int64(s, 1, id);
    sqlite3_bind_int64(s, 2, now());
    int step = sqlite3_step(s);
    return step == SQLITE_DONE ? ERROR_SUCCESS : fail(step);
}

LSTATUS Connection::setValue(KeyRef& key, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes) {
    return write([&]() -> LSTATUS {
        LSTATUS rc = ensureExists(key);
        if (rc != ERROR_SUCCESS) return rc;
        sqlite3_stmt* s = stmt(kSetValue);
        Resetting reset(s);
        std::string name8 = narrow(name), fold = folded(name);
        sqlite3_bind_int64(s, 1, key.id);
        bindText(s, 2, name8);
        bindText(s, 3, fold);
        sqlite3_bind_int64(s, 4, type);
        sqlite3_bind_blob(s, 5, bytes ? data : reinterpret_cast<const BYTE*>(""), static_cast<int>(bytes),
                          SQLITE_STATIC);
        int step = sqlite3_step(s);
        if (step != SQLITE_DONE) return fail(step);
        return touch(key.id);
    });
}

LSTATUS Connection::deleteValue(KeyRef& key, std::u16string_view name) {
    return write([&]() -> LSTATUS {
        bool exists;
        LSTATUS rc = locate(key, exists);
        if (rc != ERROR_SUCCESS) return rc;
        if (!exists) return key.root ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        sqlite3_stmt* s = stmt(kDeleteValue);
        Resetting reset(s);
        std::string fold = folded(name);
        sqlite3_bind_int64(s, 1, key.id);
        bindText(s, 2, fold);
        int step = sqlite3_step(s);
        if (step != SQLITE_DONE) return fail(step);
        if (sqlite3_changes(db_) == 0) return ERROR_FILE_NOT_FOUND;
        return touch(key.id);
    });
}

LSTATUS Connection::deleteKey(const KeyRef& base, const std::vector<std::u16string>& levels) {
    if (levels.empty() && base.root) return ERROR_ACCESS_DENIED;
    return write([&]() -> LSTATUS {
        KeyRef from = base;
        bool exists;
        LSTATUS rc = locate(from, exists);
        if (rc != ERROR_SUCCESS) return rc;
        if (!exists) return base.root ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        int64_t id = from.id;
        for (const auto& level : levels) {
            rc = child(id, folded(level), id);
            if (rc != ERROR_SUCCESS) return rc;
        }
        if (id == kRootId) return ERROR_ACCESS_DENIED;
        {
            sqlite3_stmt* s = stmt(kHasChildren);
            Resetting reset(s);
            sqlite3_bind_int64(s, 1, id);
            int step = sqlite3_step(s);
            if (step == SQLITE_ROW) return ERROR_ACCESS_DENIED;  // the platform refuses keys with subkeys
            if (step != SQLITE_DONE) return fail(step);
        }
        for (Stmt st : {kDeleteValuesOf, kDeleteKey}) {
            sqlite3_stmt* s = stmt(st);
            Resetting reset(s);
            sqlite3_bind_int64(s, 1, id);
            int step = sqlite3_step(s);
            if (step != SQLITE_DONE) return fail(step);
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS Connection::commit() {
    if (!transactional_ || !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    LSTATUS rc = begun_ ? run(kCommit) : ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS && begun_) run(kRollback);
    active_ = false;
    ++generation_;
    ++processWrites;
    return rc;
}

LSTATUS Connection::rollback() {
    if (!transactional_ || !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    LSTATUS rc = begun_ ? run(kRollback) : ERROR_SUCCESS;
    active_ = false;
    ++generation_;
    return rc;
}

namespace {

std::atomic<unsigned> forks{0};

[[maybe_unused]] const int forkCounter = pthread_atfork(nullptr, nullptr, [] { ++forks; });

}  // namespace

ReadScope::ReadScope() {
    if (readScopeDepth++ == 0) readScopeConnections = new std::vector<std::shared_ptr<Connection>>;
}

ReadScope::~ReadScope() {
    if (--readScopeDepth != 0) return;
    for (auto& connection : *readScopeConnections) {
        std::lock_guard lock(connection->mutex);
        connection->leaveReadScope();
    }
    delete readScopeConnections;
    readScopeConnections = nullptr;
}

LSTATUS HoldHive() {
    static auto* held = new std::shared_ptr<Connection>;  // never closed
    auto connection = std::make_shared<Connection>(hivePath(), false);
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

unsigned forkCount() { return forks.load(std::memory_order_relaxed); }

std::string hivePath() {
    const char* path = std::getenv("PELLICOR_REGISTRY");
    return path && *path ? std::string(path) : std::string("/var/lib/pellicor/registry.sqlite");
}

namespace {

// SQLite connections must not cross fork(): a child neither uses nor closes its
// parent's, whose close would drop the child's own locks on the file.
void abandonInherited(std::shared_ptr<Connection> connection) {
    static auto* inherited = new std::vector<std::shared_ptr<Connection>>;
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    inherited->push_back(std::move(connection));
}

// Connections of threads that ended, kept for the threads to come: opening one
// costs far more than a lookup, and a host may start a thread for every client
// (libmilter does). The most recently kept is taken first; the oldest goes when full.
class SpareConnections {
public:
    void put(std::shared_ptr<Connection> connection) {
        std::lock_guard lock(mutex_);
        if (spares_.size() == kMaxSpares) {
            if (spares_.front()->inherited()) abandonInherited(std::move(spares_.front()));
            spares_.erase(spares_.begin());
        }
        spares_.push_back(std::move(connection));
    }
    std::shared_ptr<Connection> take(const std::string& path) {
        std::lock_guard lock(mutex_);
        for (auto it = spares_.rbegin(); it != spares_.rend(); ++it) {
            if ((*it)->path() != path || (*it)->inherited()) continue;
            auto connection = std::move(*it);
            spares_.erase(std::next(it).base());
            return connection;
        }
        return nullptr;
    }

private:
    static constexpr size_t kMaxSpares = 64;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Connection>> spares_;
};

SpareConnections& spareConnections() {
    static auto* spares = new SpareConnections;  // never destroyed: threads may end during exit
    return *spares;
}

// One thread's connections by hive path; they become spares when the thread ends.
struct ThreadConnections {
    std::unordered_map<std::string, std::shared_ptr<Connection>> byPath;
    ~ThreadConnections() {
        for (auto& [path, connection] : byPath) {
            if (!connection) continue;
            if (connection->inherited()) abandonInherited(std::move(connection));
            else spareConnections().put(std::move(connection));
        }
    }
};

}  // namespace

std::shared_ptr<Connection> threadConnection(const std::string& path) {
    thread_local ThreadConnections threadConnections;
    auto& connections = threadConnections.byPath;
    auto& connection = connections[path];
    if (connection && connection->inherited()) abandonInherited(std::move(connection));
    if (!connection) connection = spareConnections().take(path);
    bool replace = !connection;
    if (connection) {
        std::lock_guard lock(connection->mutex);
        replace = connection->stale();
    }
    if (replace) connection = std::make_shared<Connection>(path, false);
    if (connections.size() > 16) {
        // Hives of finished tests and the like: drop those no handle holds.
        std::erase_if(connections, [&](const auto& entry) { return entry.second.use_count() == 1 && entry.first != path; });
    }
    return connection;
}

}  // namespace platform::registry
