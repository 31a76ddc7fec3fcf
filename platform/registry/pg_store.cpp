// A store on a PostgreSQL database: reads outside a transaction come from the state
// the process's PgHive published; writes and a transaction's reads go to the
// database itself, the same steps as the file's (hive_read.cpp, hive_write.cpp).
#include "pg_store.h"

#include <algorithm>
#include <cassert>

#include "hive.h"
#include "hive_sql.h"
#include "names.h"

namespace platform::registry {

namespace {

using S = PgSession;

std::string joined(const std::vector<std::string>& path) {
    std::string out;
    for (const auto& level : path) {
        out += level;
        out += '\\';
    }
    return out;
}

// Registry names may hold any UTF-16 unit; a NUL would end the name in the platform's
// own calls, so it is refused rather than stored cut short.
bool storable(std::u16string_view name) { return name.find(u'\0') == std::u16string_view::npos; }

// ---- Reading and writing the database itself (writes; a transaction's reads).

LSTATUS child(S& s, int64_t parent, const std::string& foldedName, int64_t& id) {
    PgResult r;
    LSTATUS rc = s.run(S::kChild, {parent, foldedName}, r);
    if (rc != ERROR_SUCCESS) return rc;
    if (PQntuples(r.get()) == 0) return ERROR_FILE_NOT_FOUND;
    id = pgInt(r.get(), 0, 0);
    return ERROR_SUCCESS;
}

LSTATUS locate(S& s, KeyRef& key, bool& exists) {
    exists = false;
    if (key.id >= 0) {
        PgResult r;
        LSTATUS rc = s.run(S::kKeyById, {key.id}, r);
        if (rc != ERROR_SUCCESS) return rc;
        if (PQntuples(r.get()) > 0) {
            exists = true;
            return ERROR_SUCCESS;
        }
    }
    int64_t id = kRootId;
    for (const auto& level : key.path) {
        LSTATUS rc = child(s, id, level, id);
        if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS) return rc;
    }
    key.id = id;
    exists = true;
    return ERROR_SUCCESS;
}

LSTATUS loadSnapshot(S& s, KeyRef& key, std::shared_ptr<const Snapshot>& result) {
    auto snap = std::make_shared<Snapshot>();
    bool exists;
    LSTATUS rc = locate(s, key, exists);
    if (rc != ERROR_SUCCESS) return rc;
    if (!exists) {
        if (!key.root) return ERROR_KEY_DELETED;
        result = std::move(snap);
        return ERROR_SUCCESS;
    }
    snap->id = key.id;
    PgResult r;
    if ((rc = s.run(S::kKeyById, {key.id}, r)) != ERROR_SUCCESS) return rc;
    if (PQntuples(r.get()) > 0) snap->written = pgInt(r.get(), 0, 0);
    if ((rc = s.run(S::kValues, {key.id}, r)) != ERROR_SUCCESS) return rc;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        if (!addValueRow(*snap, pgBytes(r.get(), i, 0), static_cast<DWORD>(pgInt(r.get(), i, 1)),
                         pgBytes(r.get(), i, 2)))
            return ERROR_NOT_ENOUGH_MEMORY;
    if ((rc = s.run(S::kSubkeys, {key.id}, r)) != ERROR_SUCCESS) return rc;
    for (int i = 0; i < PQntuples(r.get()); ++i) addSubkeyRow(*snap, pgBytes(r.get(), i, 0), pgInt(r.get(), i, 1));
    snap->shrink();
    result = std::move(snap);
    return ERROR_SUCCESS;
}

LSTATUS resolveLive(S& s, const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& target) {
    KeyRef from = base;
    bool exists;
    LSTATUS rc = locate(s, from, exists);
    if (rc != ERROR_SUCCESS) return rc;
    if (!exists) {
        if (!base.root) return ERROR_KEY_DELETED;
        return target.root ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    int64_t id = from.id;
    for (const auto& level : levels)
        if ((rc = child(s, id, folded(level), id)) != ERROR_SUCCESS) return rc;
    target.id = id;
    return ERROR_SUCCESS;
}

LSTATUS createLevels(S& s, int64_t id, std::vector<std::string> path, const std::vector<std::u16string>& levels,
                     KeyRef& result, bool& created) {
    created = false;
    int64_t stamp = now();
    for (const auto& level : levels) {
        if (!storable(level)) return ERROR_INVALID_PARAMETER;
        std::string fold = folded(level);
        path.push_back(fold);
        LSTATUS rc = child(s, id, fold, id);
        if (rc == ERROR_SUCCESS) continue;
        if (rc != ERROR_FILE_NOT_FOUND) return rc;
        PgResult r;
        if ((rc = s.run(S::kInsertKey, {id, narrow(level), fold, stamp}, r)) != ERROR_SUCCESS) return rc;
        id = pgInt(r.get(), 0, 0);
        created = true;
    }
    result.id = id;
    result.path = std::move(path);
    result.root = false;
    return ERROR_SUCCESS;
}

LSTATUS ensureExists(S& s, KeyRef& key) {
    bool exists;
    LSTATUS rc = locate(s, key, exists);
    if (rc != ERROR_SUCCESS || exists) return rc;
    if (!key.root) return ERROR_KEY_DELETED;
    KeyRef made;
    bool created;
    rc = createLevels(s, kRootId, {}, key.rootLevels, made, created);
    if (rc == ERROR_SUCCESS) key.id = made.id;
    return rc;
}

// The writer's connection, with the hive's tables (made now in an empty database).
LSTATUS prepareWriter(S& s) {
    LSTATUS rc = s.connect();
    bool tables = false;
    if (rc == ERROR_SUCCESS) rc = s.checkSchema(tables);
    if (rc == ERROR_SUCCESS && !tables) {
        rc = s.createSchema();
        if (rc == ERROR_SUCCESS) rc = s.checkSchema(tables);
    }
    return rc;
}

// Begins a write transaction: the version row's lock, and the number it commits.
LSTATUS beginWrite(S& s, int64_t& number) {
    LSTATUS rc = s.exec("BEGIN");
    PgResult r;
    if (rc == ERROR_SUCCESS) rc = s.run(S::kLockVersion, {}, r);
    if (rc == ERROR_SUCCESS) number = pgInt(r.get(), 0, 0);
    else if (s.connected()) s.exec("ROLLBACK");
    return rc;
}

LSTATUS endWrite(S& s, int64_t number) {
    LSTATUS rc = s.run(S::kNotify, {number});
    if (rc == ERROR_SUCCESS) rc = s.exec("COMMIT");
    if (rc != ERROR_SUCCESS && s.connected()) s.exec("ROLLBACK");
    return rc;
}

void logWriteFailure(S& s, LSTATUS rc) {
    if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_KEY_DELETED && rc != ERROR_INVALID_PARAMETER)
        pgLog("the rules database refused a change, nothing of it was stored: " + s.lastError());
}

}  // namespace

bool addValueRow(Snapshot& snap, std::string_view name, DWORD type, std::string_view data) {
    if (!snap.addValue(name, type, data)) return false;
    auto chars = static_cast<DWORD>(snap.value(snap.valueCount() - 1).name.size());
    auto bytes = static_cast<DWORD>(data.size());
    snap.maxValueName = std::max(snap.maxValueName, chars);
    snap.maxValueName8 = std::max(snap.maxValueName8, static_cast<DWORD>(name.size()));
    snap.maxValueData = std::max(snap.maxValueData, bytes);
    snap.maxValueData8 = std::max(snap.maxValueData8, isText(type) ? (bytes + 1) / 2 * 3 : bytes);
    return true;
}

void addSubkeyRow(Snapshot& snap, std::string_view name, int64_t written) {
    SubkeyRow row{widen(name), written};
    snap.maxSubkeyName = std::max(snap.maxSubkeyName, static_cast<DWORD>(row.name.size()));
    snap.maxSubkeyName8 = std::max(snap.maxSubkeyName8, static_cast<DWORD>(name.size()));
    snap.subkeys.push_back(std::move(row));
}

std::shared_ptr<Store> makeStore(const std::string& location, bool transactional) {
    if (isDatabaseLocation(location)) return std::make_shared<PgStore>(location, transactional);
    return std::make_shared<Connection>(location, transactional);
}

PgStore::PgStore(std::string uri, bool transactional)
    : uri_(std::move(uri)), transactional_(transactional), hive_(PgHive::of(uri_)) {}

PgStore::~PgStore() {
    // A child's copy of its parent's connection is left alone: closing it would end the parent's.
    if (session_ && inherited()) (void)session_.release();
}

// ---- Reading a published state.

LSTATUS PgStore::beginRead(bool& own) {
    own = false;
    if (scoped_) return ERROR_SUCCESS;
    if (transactional_) return prepareTransaction(false);
    LSTATUS rc = hive_.current(version_);
    if (rc != ERROR_SUCCESS) return rc;
    scoped_ = joinReadScope(shared_from_this());
    own = !scoped_;
    return ERROR_SUCCESS;
}

void PgStore::endRead(bool own) {
    if (own) version_.reset();
}

void PgStore::leaveReadScope() {
    assert(mutex.heldHere());
    scoped_ = false;
    version_.reset();
}

LSTATUS PgStore::open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result) {
    assert(mutex.heldHere());
    KeyRef target = keyBelow(base, levels);
    bool own;
    LSTATUS rc = beginRead(own);
    if (rc != ERROR_SUCCESS) return rc;
    if (transactional_) {
        rc = tables_ ? resolveLive(*session_, base, levels, target)
                     : (target.root ? ERROR_SUCCESS
                        : base.root ? ERROR_FILE_NOT_FOUND
                                    : ERROR_KEY_DELETED);
    } else if (!version_->findPath(joined(target.path), target.id)) {
        std::shared_ptr<const Snapshot> ignored;
        bool baseExists = version_->findSnapshot(base.id, ignored) || version_->findPath(joined(base.path), target.id);
        target.id = -1;
        if (!baseExists && !base.root) rc = ERROR_KEY_DELETED;
        else if (!target.root) rc = ERROR_FILE_NOT_FOUND;  // an empty root view opens
    }
    endRead(own);
    if (rc == ERROR_SUCCESS) result = std::move(target);
    return rc;
}

LSTATUS PgStore::snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result) {
    assert(mutex.heldHere());
    bool own;
    LSTATUS rc = beginRead(own);
    if (rc != ERROR_SUCCESS) return rc;
    if (transactional_) {
        if (tables_ && (rc = writeTouches()) == ERROR_SUCCESS) rc = loadSnapshot(*session_, key, result);
        else if (key.root) result = std::make_shared<Snapshot>();
        else rc = ERROR_KEY_DELETED;
    } else if (!(key.id >= 0 && version_->findSnapshot(key.id, result))) {
        int64_t id;
        if (version_->findPath(joined(key.path), id) && version_->findSnapshot(id, result)) key.id = id;
        else if (key.root) result = std::make_shared<Snapshot>();
        else rc = ERROR_KEY_DELETED;
    }
    endRead(own);
    return rc;
}

// ---- Writing.

LSTATUS PgStore::prepareTransaction(bool forWrite) {
    if (!active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    if (!session_) session_ = std::make_unique<PgSession>(uri_);
    if (begun_) {
        if (!forWrite || tables_) return ERROR_SUCCESS;
        // Read from an empty database so far: the tables are made outside it, which no
        // write of it has touched yet.
        session_->exec("ROLLBACK");
        begun_ = false;
    }
    LSTATUS rc = session_->connect();
    if (rc == ERROR_SUCCESS) rc = forWrite ? prepareWriter(*session_) : session_->checkSchema(tables_);
    if (rc == ERROR_SUCCESS && forWrite) tables_ = true;
    if (rc == ERROR_SUCCESS && tables_) rc = beginWrite(*session_, number_);
    else if (rc == ERROR_SUCCESS) rc = session_->exec("BEGIN");
    if (rc == ERROR_SUCCESS) begun_ = true;
    else pgLog("cannot begin a change of the rules database: " + session_->lastError());
    return rc;
}

// A key's written time is set once per transaction, at its end (or before the
// transaction reads it): setting it with every value would update one row thousands
// of times in one transaction, and each update of a row costs more than the last
// until the transaction ends.
LSTATUS PgStore::touchKey(S& s, int64_t id) {
    if (!transactional_) return s.run(S::kTouchKey, {id, now()});
    touched_[id] = now();
    return ERROR_SUCCESS;
}

LSTATUS PgStore::writeTouches() {
    LSTATUS rc = ERROR_SUCCESS;
    for (auto [id, stamp] : touched_)
        if ((rc = session_->run(S::kTouchKey, {id, stamp})) != ERROR_SUCCESS) break;
    touched_.clear();
    return rc;
}

template <class Body>
LSTATUS PgStore::write(Body body) {
    leaveReadScope();
    if (transactional_) {
        LSTATUS rc = prepareTransaction(true);
        if (rc != ERROR_SUCCESS) return rc;
        S& s = *session_;
        if ((rc = s.exec("SAVEPOINT op")) != ERROR_SUCCESS) return rc;
        rc = body(s);
        if (rc == ERROR_SUCCESS) rc = s.exec("RELEASE op");
        if (rc != ERROR_SUCCESS && s.connected()) s.exec("ROLLBACK TO op; RELEASE op");
        if (rc != ERROR_SUCCESS) logWriteFailure(s, rc);
        return rc;
    }
    std::lock_guard lock(hive_.writeMutex);
    S& s = hive_.writer;
    if (inherited()) return ERROR_REGISTRY_IO_FAILED;  // the parent's connection
    int64_t number = 0;
    LSTATUS rc = prepareWriter(s);
    if (rc == ERROR_SUCCESS) rc = beginWrite(s, number);
    if (rc != ERROR_SUCCESS) {
        logWriteFailure(s, rc);
        return rc;
    }
    rc = body(s);
    if (rc == ERROR_SUCCESS) rc = endWrite(s, number);
    else if (s.connected()) s.exec("ROLLBACK");
    if (rc == ERROR_SUCCESS) hive_.committed(number);
    else logWriteFailure(s, rc);
    return rc;
}

LSTATUS PgStore::create(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result, bool& created) {
    assert(mutex.heldHere());
    return write([&](S& s) -> LSTATUS {
        KeyRef from = base;
        LSTATUS rc = ensureExists(s, from);
        if (rc != ERROR_SUCCESS) return rc;
        rc = createLevels(s, from.id, from.path, levels, result, created);
        if (rc == ERROR_SUCCESS && levels.empty()) result = from;
        return rc;
    });
}

LSTATUS PgStore::setValue(KeyRef& key, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes) {
    assert(mutex.heldHere());
    if (!storable(name)) return ERROR_INVALID_PARAMETER;
    return write([&](S& s) -> LSTATUS {
        LSTATUS rc = ensureExists(s, key);
        if (rc != ERROR_SUCCESS) return rc;
        std::string_view bytesIn(reinterpret_cast<const char*>(data ? data : reinterpret_cast<const BYTE*>("")), bytes);
        rc = s.run(S::kSetValue, {key.id, narrow(name), folded(name), static_cast<int64_t>(type), bytesIn});
        if (rc == ERROR_SUCCESS) rc = touchKey(s, key.id);
        return rc;
    });
}

LSTATUS PgStore::deleteValue(KeyRef& key, std::u16string_view name) {
    assert(mutex.heldHere());
    return write([&](S& s) -> LSTATUS {
        bool exists;
        LSTATUS rc = locate(s, key, exists);
        if (rc != ERROR_SUCCESS) return rc;
        if (!exists) return key.root ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        PgResult r;
        if ((rc = s.run(S::kDeleteValue, {key.id, folded(name)}, r)) != ERROR_SUCCESS) return rc;
        if (std::string_view(PQcmdTuples(r.get())) == "0") return ERROR_FILE_NOT_FOUND;
        return touchKey(s, key.id);
    });
}

LSTATUS PgStore::deleteKey(const KeyRef& base, const std::vector<std::u16string>& levels) {
    assert(mutex.heldHere());
    if (levels.empty() && base.root) return ERROR_ACCESS_DENIED;
    return write([&](S& s) -> LSTATUS {
        KeyRef from = base;
        bool exists;
        LSTATUS rc = locate(s, from, exists);
        if (rc != ERROR_SUCCESS) return rc;
        if (!exists) return base.root ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        int64_t id = from.id;
        for (const auto& level : levels)
            if ((rc = child(s, id, folded(level), id)) != ERROR_SUCCESS) return rc;
        if (id == kRootId) return ERROR_ACCESS_DENIED;
        PgResult r;
        if ((rc = s.run(S::kHasChildren, {id}, r)) != ERROR_SUCCESS) return rc;
        if (PQntuples(r.get()) > 0) return ERROR_ACCESS_DENIED;  // the platform refuses keys with subkeys
        if ((rc = s.run(S::kDeleteValuesOf, {id})) != ERROR_SUCCESS) return rc;
        return s.run(S::kDeleteKey, {id});
    });
}

LSTATUS PgStore::commit() {
    assert(mutex.heldHere());
    if (!transactional_ || !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    active_ = false;
    if (!begun_) return ERROR_SUCCESS;
    LSTATUS rc = tables_ ? writeTouches() : ERROR_SUCCESS;
    if (rc == ERROR_SUCCESS) rc = tables_ ? endWrite(*session_, number_) : session_->exec("COMMIT");
    else if (session_->connected()) session_->exec("ROLLBACK");
    if (rc != ERROR_SUCCESS) {
        pgLog("the rules database did not take a transaction, nothing of it was stored: " + session_->lastError());
        return rc;
    }
    if (tables_) hive_.committed(number_);
    return ERROR_SUCCESS;
}

LSTATUS PgStore::rollback() {
    assert(mutex.heldHere());
    if (!transactional_ || !active_) return ERROR_TRANSACTION_NOT_ACTIVE;
    active_ = false;
    touched_.clear();
    return begun_ && session_->connected() ? session_->exec("ROLLBACK") : ERROR_SUCCESS;
}

}  // namespace platform::registry
