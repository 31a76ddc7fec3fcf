// Reading the hive: a read of one committed state per call or per read scope, and
// the keys and snapshots of that state shared with every connection of the process.
#include <atomic>
#include <memory>
#include <vector>

#include "hive.h"
#include "hive_sql.h"
#include "names.h"
#include "registry_read_scope.h"

namespace platform::registry {

namespace {

// This thread's read scopes: how deep, and the connections holding reads for them.
thread_local int readScopeDepth = 0;
thread_local std::vector<std::shared_ptr<Store>>* readScopeConnections = nullptr;

std::u16string columnName(sqlite3_stmt* s, int column, DWORD& utf8Bytes) {
    auto text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    utf8Bytes = static_cast<DWORD>(sqlite3_column_bytes(s, column));
    return widen(std::string_view(text ? text : "", utf8Bytes));
}

std::string joined(const std::vector<std::string>& path) {
    std::string out;
    for (const auto& level : path) {
        out += level;
        out += '\\';
    }
    return out;
}

}  // namespace

ReadScope::ReadScope() {
    if (readScopeDepth++ == 0) readScopeConnections = new std::vector<std::shared_ptr<Store>>;
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

bool joinReadScope(const std::shared_ptr<Store>& store) {
    if (readScopeDepth == 0) return false;
    readScopeConnections->push_back(store);
    return true;
}

// Begins the read of one call: inside a read scope, the scope's read, begun at its
// first call and then only looked up; otherwise one of the call's own (own = true).
// Then version_ is the shared state the read sees, or null when nothing is shared
// (a transaction reads its own writes; a missing or empty hive has no state).
LSTATUS Connection::beginRead(bool& own) {
    own = false;
    if (scoped_) return ERROR_SUCCESS;
    LSTATUS rc = prepare(false);
    if (rc != ERROR_SUCCESS || transactional_ || state_ != State::Ready) return rc;
    // Begun before the version is read, which takes the snapshot: every later read
    // of this one sees the state the version names.
    rc = run(kBegin);
    if (rc != ERROR_SUCCESS) return rc;
    rc = readVersion();
    if (rc != ERROR_SUCCESS) {
        run(kRollback);
        return rc;
    }
    scoped_ = joinReadScope(shared_from_this());
    own = !scoped_;
    return ERROR_SUCCESS;
}

void Connection::endRead(bool own) {
    if (!own) return;
    version_.reset();
    run(kCommit);
}

void Connection::leaveReadScope() {
    assert(mutex.heldHere());
    if (!scoped_) return;
    scoped_ = false;
    version_.reset();
    run(kCommit);
}

LSTATUS Connection::readVersion() {
    sqlite3_stmt* s = stmt(kVersion);
    Resetting reset(s);
    int step = sqlite3_step(s);
    if (step != SQLITE_ROW) return fail(step);
    HiveIdentity hive{device_, inode_, sqlite3_column_int64(s, 0)};
    if (hive.id < 0) {  // unshared: a hive of this connection's own (real ids are not negative)
        static std::atomic<int64_t> connections{0};
        if (ownHive_ == 0) ownHive_ = -++connections;
        hive.id = ownHive_;
    }
    int64_t number = sqlite3_column_int64(s, 1);
    if (!version_ || !(version_->hive() == hive) || version_->number() != number)
        version_ = sharedVersion(hive, number);
    return ERROR_SUCCESS;
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

LSTATUS Connection::locate(KeyRef& key, bool& exists, int64_t* written) {
    exists = false;
    if (key.id >= 0) {
        sqlite3_stmt* s = stmt(kKeyById);
        Resetting reset(s);
        sqlite3_bind_int64(s, 1, key.id);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            exists = true;
            if (written) *written = sqlite3_column_int64(s, 0);
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
    if (!written) return ERROR_SUCCESS;
    sqlite3_stmt* s = stmt(kKeyById);
    Resetting reset(s);
    sqlite3_bind_int64(s, 1, id);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) *written = sqlite3_column_int64(s, 0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : fail(rc);
}

LSTATUS Connection::open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result) {
    assert(mutex.heldHere());
    KeyRef target = keyBelow(base, levels);
    bool own;
    LSTATUS rc = beginRead(own);
    if (rc != ERROR_SUCCESS) return rc;
    rc = resolve(base, levels, target);
    endRead(own);
    if (rc == ERROR_SUCCESS) result = std::move(target);
    return rc;
}

LSTATUS Connection::resolve(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& target) {
    if (state_ != State::Ready) {
        if (target.root) return ERROR_SUCCESS;
        return base.root ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    std::string joinedPath = joined(target.path);
    if (version_ && version_->findPath(joinedPath, target.id)) return ERROR_SUCCESS;
    KeyRef from = base;
    bool exists;
    LSTATUS rc = locate(from, exists);
    if (rc != ERROR_SUCCESS) return rc;
    if (!exists) {
        if (!base.root) return ERROR_KEY_DELETED;
        if (!target.root) return ERROR_FILE_NOT_FOUND;
        return ERROR_SUCCESS;  // an empty root view (HKEY_CLASSES_ROOT before anything was registered)
    }
    int64_t id = from.id;
    for (const auto& level : levels) {
        rc = child(id, folded(level), id);
        if (rc != ERROR_SUCCESS) return rc;
    }
    if (version_) version_->addPath(joinedPath, id);
    target.id = id;
    return ERROR_SUCCESS;
}

LSTATUS Connection::loadSnapshot(KeyRef& key, std::shared_ptr<Snapshot>& result) {
    auto snap = std::make_shared<Snapshot>();
    bool exists;
    LSTATUS rc = locate(key, exists, &snap->written);  // the key's row read once, for both
    if (rc != ERROR_SUCCESS) return rc;
    if (!exists) {
        if (!key.root) return ERROR_KEY_DELETED;
        result = std::move(snap);
        return ERROR_SUCCESS;
    }
    snap->id = key.id;
    {
        sqlite3_stmt* s = stmt(kValues);
        Resetting reset(s);
        sqlite3_bind_int64(s, 1, key.id);
        int step;
        while ((step = sqlite3_step(s)) == SQLITE_ROW) {
            auto name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
            auto name8 = static_cast<DWORD>(sqlite3_column_bytes(s, 0));
            auto type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
            auto data = static_cast<const char*>(sqlite3_column_blob(s, 2));
            auto bytes = static_cast<DWORD>(sqlite3_column_bytes(s, 2));
            if (!snap->addValue(std::string_view(name ? name : "", name8), type,
                                std::string_view(data ? data : "", bytes)))
                return ERROR_NOT_ENOUGH_MEMORY;
            auto chars = static_cast<DWORD>(snap->value(snap->valueCount() - 1).name.size());
            snap->maxValueName = std::max(snap->maxValueName, chars);
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
    snap->shrink();
    result = std::move(snap);
    return ERROR_SUCCESS;
}

// True when the key still exists and was last changed at that version or before.
LSTATUS Connection::unchangedSince(int64_t id, int64_t number, bool& unchanged) {
    sqlite3_stmt* s = stmt(kChanged);
    Resetting reset(s);
    sqlite3_bind_int64(s, 1, id);
    int step = sqlite3_step(s);
    if (step != SQLITE_ROW && step != SQLITE_DONE) return fail(step);
    unchanged = step == SQLITE_ROW && sqlite3_column_int64(s, 0) <= number;
    return ERROR_SUCCESS;
}

LSTATUS Connection::snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result) {
    assert(mutex.heldHere());
    bool own;
    LSTATUS rc = beginRead(own);
    if (rc != ERROR_SUCCESS) return rc;
    rc = snapshotInRead(key, result);
    endRead(own);
    return rc;
}

LSTATUS Connection::snapshotInRead(KeyRef& key, std::shared_ptr<const Snapshot>& result) {
    if (state_ != State::Ready) {
        if (!key.root) return ERROR_KEY_DELETED;
        result = std::make_shared<Snapshot>();
        return ERROR_SUCCESS;
    }
    std::shared_ptr<Snapshot> loaded;
    if (!version_) {  // a transaction: what it has written so far
        LSTATUS rc = loadSnapshot(key, loaded);
        if (rc == ERROR_SUCCESS) result = std::move(loaded);
        return rc;
    }
    if (key.id < 0) version_->findPath(joined(key.path), key.id);  // a root view by path (HKEY_CLASSES_ROOT)
    if (key.id >= 0 && version_->findSnapshot(key.id, result)) return ERROR_SUCCESS;
    auto loading = version_->lockLoading();
    if (key.id >= 0 && version_->findSnapshot(key.id, result)) return ERROR_SUCCESS;  // read while we waited
    std::shared_ptr<const Snapshot> earlier;
    int64_t earlierNumber;
    if (key.id >= 0 && stamped_ && version_->takeEarlier(key.id, earlier, earlierNumber)) {
        bool unchanged;
        LSTATUS rc = unchangedSince(key.id, earlierNumber, unchanged);
        if (rc != ERROR_SUCCESS) return rc;
        if (unchanged) {
            version_->addSnapshot(key.id, earlier);
            version_->addPath(joined(key.path), key.id);
            result = std::move(earlier);
            return ERROR_SUCCESS;
        }
    }
    LSTATUS rc = loadSnapshot(key, loaded);
    if (rc != ERROR_SUCCESS) return rc;
    if (key.id >= 0 && loaded->id == key.id) {
        version_->addSnapshot(key.id, loaded);
        version_->addPath(joined(key.path), key.id);
    }
    result = std::move(loaded);
    return ERROR_SUCCESS;
}

}  // namespace platform::registry
