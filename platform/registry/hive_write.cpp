// Writing the hive: each write one transaction (or a savepoint of the connection's
// transaction) that also raises the hive's version, so readers read the change.
#include "hive.h"
#include "hive_sql.h"
#include "names.h"

namespace platform::registry {

template <class Body>
LSTATUS Connection::write(Body body) {
    leaveReadScope();  // a write needs the newest state; later reads begin anew
    LSTATUS rc = prepare(true);
    if (rc != ERROR_SUCCESS) return rc;
    rc = run(transactional_ ? kSavepoint : kBeginImmediate);
    if (rc != ERROR_SUCCESS) return rc;
    rc = body();
    if (rc == ERROR_SUCCESS) rc = run(kBumpVersion);
    if (rc == ERROR_SUCCESS) rc = run(transactional_ ? kRelease : kCommit);
    if (rc != ERROR_SUCCESS && state_ != State::Bad) {
        if (transactional_) {
            run(kRollbackTo);
            run(kRelease);
        } else {
            run(kRollback);
        }
    }
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
    assert(mutex.heldHere());
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
    assert(mutex.heldHere());
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
    assert(mutex.heldHere());
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
    assert(mutex.heldHere());
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
    assert(mutex.heldHere());
    if (!transactional_ || !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    LSTATUS rc = begun_ ? run(kCommit) : ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS && begun_) run(kRollback);
    active_ = false;
    return rc;
}

LSTATUS Connection::rollback() {
    assert(mutex.heldHere());
    if (!transactional_ || !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    LSTATUS rc = begun_ ? run(kRollback) : ERROR_SUCCESS;
    active_ = false;
    return rc;
}

}  // namespace platform::registry
