// One SQLite connection to the hive file, with its prepared statements and a cache
// of key contents. A connection is used by one thread at a time (callers hold
// `mutex`); the registry keeps one per thread per hive path, and a transaction
// has its own.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

#include "winreg.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::registry {

// The id of HKEY_LOCAL_MACHINE's own key; it always exists.
constexpr int64_t kRootId = 0;

// A value as a snapshot holds it; the views point into the snapshot.
struct ValueRow {
    std::u16string_view name;
    DWORD type;
    std::string_view data;
};

struct SubkeyRow {
    std::u16string name;
    int64_t written;
};

// A key's values and subkeys in creation order, as one committed state of the hive.
struct Snapshot {
    int64_t id = kRootId;
    int64_t written = 0;
    std::vector<SubkeyRow> subkeys;
    // In UTF-16 units (names) and bytes (data); the *8 forms for the 8-bit functions.
    DWORD maxValueName = 0, maxValueName8 = 0, maxValueData = 0, maxValueData8 = 0;
    DWORD maxSubkeyName = 0, maxSubkeyName8 = 0;

    size_t valueCount() const { return values_.size(); }
    ValueRow value(size_t index) const {
        const Value& v = values_[index];
        return {{names_.data() + v.nameAt, v.nameChars}, v.type, {data_.data() + v.dataAt, v.dataBytes}};
    }
    // False when the snapshot cannot hold more (4 GiB of names or of data).
    bool addValue(std::u16string_view name, DWORD type, std::string_view data);
    // The value of that name, compared without regard to case; false if none.
    bool find(std::u16string_view name, ValueRow& row) const;

private:
    // Values are kept small, their names and data each in one buffer: a lookup walks
    // a long rule list value by value for every message, mostly from cold caches.
    struct Value {
        uint32_t nameAt, nameChars, dataAt, dataBytes;
        DWORD type;
    };
    std::vector<Value> values_;
    std::u16string names_;
    std::string data_;

    mutable std::unordered_map<std::string, size_t> byName_;
    mutable bool indexed_ = false;
};

// Where a key handle points: its id, and its path from HKEY_LOCAL_MACHINE (folded)
// to find the key again when it was deleted and created anew (as a transacted save
// of a rule list does), so a lookup never sees a list vanish in between.
struct KeyRef {
    int64_t id = kRootId;
    std::vector<std::string> path;
    bool root = false;  // a predefined root: exists even when the hive is empty
    std::vector<std::u16string> rootLevels;  // a root view's path as created when missing
};

// The forks this process came through since the registry was loaded: a connection
// opened at another count belongs to a parent. Cheaper than getpid() on every call.
unsigned forkCount();

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(std::string path, bool transactional);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::mutex mutex;

    const std::string& path() const { return path_; }
    // True when the file this connection reads is no longer the one at its path
    // (looked at once a second at most).
    bool stale() const;
    // True in a child process: the connection belongs to the parent that forked.
    bool inherited() const { return forks_ != forkCount(); }

    // Reading. Each result reflects one committed state of the hive.
    LSTATUS open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result);
    LSTATUS snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result);

    // Writing; each call is atomic (its own transaction, or a savepoint in the
    // connection's transaction).
    LSTATUS create(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result, bool& created);
    LSTATUS setValue(KeyRef& key, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes);
    LSTATUS deleteValue(KeyRef& key, std::u16string_view name);
    LSTATUS deleteKey(const KeyRef& base, const std::vector<std::u16string>& levels);

    // Transactional connections only: end the transaction. False if it was not active.
    LSTATUS commit();
    LSTATUS rollback();
    bool transactional() const { return transactional_; }
    // Ends the read transaction a read scope began on this connection, if any.
    void leaveReadScope();

private:
    enum class State { Missing, Empty, Ready, Bad };
    enum Stmt {
        kDataVersion, kKeyById, kChild, kValues, kSubkeys, kInsertKey, kTouchKey, kSetValue, kDeleteValue,
        kHasChildren, kDeleteValuesOf, kDeleteKey, kBegin, kBeginImmediate, kCommit, kRollback, kSavepoint,
        kRelease, kRollbackTo, kStmtCount
    };

    LSTATUS prepare(bool forWrite);
    LSTATUS openFile(bool forWrite);
    LSTATUS checkSchema();
    LSTATUS initSchema();
    LSTATUS prepareStatements();
    LSTATUS refresh();
    LSTATUS beginTransactionIfNeeded();
    LSTATUS joinReadScope();
    LSTATUS readBegin();
    void readEnd(bool ok);
    LSTATUS locate(KeyRef& key, bool& exists);
    LSTATUS child(int64_t parent, const std::string& foldedName, int64_t& id);
    LSTATUS loadSnapshot(KeyRef& key, std::shared_ptr<Snapshot>& result);
    LSTATUS ensureExists(KeyRef& key);
    LSTATUS createLevels(int64_t id, std::vector<std::string> path, const std::vector<std::u16string>& levels,
                         KeyRef& result, bool& created);
    LSTATUS touch(int64_t id);
    template <class Body>
    LSTATUS write(Body body);
    LSTATUS run(Stmt s);
    LSTATUS fail(int rc);
    sqlite3_stmt* stmt(Stmt s);

    std::string path_;
    bool transactional_;
    bool active_ = true;  // transactional: not yet committed or rolled back
    bool begun_ = false;  // transactional: BEGIN IMMEDIATE issued
    bool scoped_ = false;  // holds a read transaction for a thread's read scope
    State state_ = State::Missing;
    LSTATUS bad_ = ERROR_SUCCESS;
    sqlite3* db_ = nullptr;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    unsigned forks_ = forkCount();
    sqlite3_stmt* stmts_[kStmtCount] = {};

    // When stale() last looked at the file at path_.
    mutable std::chrono::steady_clock::time_point fileCheckedAt_;
    // Caches, valid while nothing in the hive changed: data_version tells of other
    // connections' commits, generation_ of this one's writes.
    int64_t dataVersion_ = -1;
    uint64_t cachedAt_ = UINT64_MAX;
    uint64_t generation_ = 0;
    uint64_t writesSeen_ = 0;  // the process's writes counted at the last refresh
    std::unordered_map<std::string, int64_t> paths_;
    std::unordered_map<int64_t, std::shared_ptr<const Snapshot>> snapshots_;
};

// The hive file the registry uses now: PELLICOR_REGISTRY, or the machine-wide file.
std::string hivePath();

// This thread's connection to the hive at path, opened anew if the file was replaced.
std::shared_ptr<Connection> threadConnection(const std::string& path);

}  // namespace platform::registry
