// One SQLite connection to the hive file, with its prepared statements. What it
// reads outside a transaction it shares with the process through the HiveVersion of
// the state read. A connection is used by one thread at a time (callers hold
// `mutex`); the registry keeps one per thread per hive path, and a transaction
// has its own.
#pragma once
#include <atomic>
#include <cassert>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

#include "snapshot.h"
#include "store.h"
#include "winreg.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::registry {

class Connection : public Store {
public:
    Connection(std::string path, bool transactional);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& path() const override { return path_; }
    // True when the file this connection reads is no longer the one at its path
    // (looked at once a second at most).
    bool stale() const override;
    // True in a child process: the connection belongs to the parent that forked.
    bool inherited() const override { return forks_ != forkCount(); }

    // Reading. Each result reflects one committed state of the hive.
    LSTATUS open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result) override;
    LSTATUS snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result) override;

    // Writing; each call is atomic (its own transaction, or a savepoint in the
    // connection's transaction).
    LSTATUS create(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result,
                   bool& created) override;
    LSTATUS setValue(KeyRef& key, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes) override;
    LSTATUS deleteValue(KeyRef& key, std::u16string_view name) override;
    LSTATUS deleteKey(const KeyRef& base, const std::vector<std::u16string>& levels) override;

    // Transactional connections only: end the transaction. False if it was not active.
    LSTATUS commit() override;
    LSTATUS rollback() override;
    bool transactional() const override { return transactional_; }
    // Ends the read transaction a read scope began on this connection, if any.
    void leaveReadScope() override;

private:
    enum class State { Missing, Empty, Ready, Bad };
    enum Stmt {
        kVersion,
        kBumpVersion,
        kKeyById,
        kChild,
        kValues,
        kSubkeys,
        kInsertKey,
        kTouchKey,
        kSetValue,
        kDeleteValue,
        kHasChildren,
        kDeleteValuesOf,
        kDeleteKey,
        kBegin,
        kBeginImmediate,
        kCommit,
        kRollback,
        kSavepoint,
        kRelease,
        kRollbackTo,
        kChanged,
        kStmtCount
    };

    LSTATUS prepare(bool forWrite);
    LSTATUS openFile(bool forWrite);
    LSTATUS checkSchema();
    LSTATUS initSchema();
    LSTATUS prepareStatements();
    LSTATUS addMissingSchema(bool versionTable);
    LSTATUS beginTransactionIfNeeded();
    LSTATUS beginRead(bool& own);
    void endRead(bool own);
    LSTATUS readVersion();
    LSTATUS resolve(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& target);
    LSTATUS snapshotInRead(KeyRef& key, std::shared_ptr<const Snapshot>& result);
    // Whether the key exists (found again by its path if its id is gone); `written`,
    // when asked, its last write time.
    LSTATUS locate(KeyRef& key, bool& exists, int64_t* written = nullptr);
    LSTATUS child(int64_t parent, const std::string& foldedName, int64_t& id);
    LSTATUS loadSnapshot(KeyRef& key, std::shared_ptr<Snapshot>& result);
    LSTATUS unchangedSince(int64_t id, int64_t number, bool& unchanged);
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
    bool active_ = true;   // transactional: not yet committed or rolled back
    bool begun_ = false;   // transactional: BEGIN IMMEDIATE issued
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
    // False for a hive made before versions were counted that this connection may not
    // write: it then counts its own (data_version) and shares nothing.
    bool versioned_ = true;
    // True when the hive stamps each key with the version that changed it: a snapshot
    // read at an earlier version of a key not changed since is used again.
    bool stamped_ = false;
    int64_t ownHive_ = 0;
    // The state the read in progress sees (a read scope's, or one call's); none between
    // reads, so no connection keeps an old state alive.
    std::shared_ptr<HiveVersion> version_;
};

// The hive file the registry uses now: PELLICOR_REGISTRY, or the machine-wide file.
std::string hivePath();

// This thread's connection to the hive at path, opened anew if the file was replaced.
std::shared_ptr<Store> threadConnection(const std::string& path);

}  // namespace platform::registry
