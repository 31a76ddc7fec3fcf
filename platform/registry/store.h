// Where a hive lives: the interface the registry functions and transactions call,
// with two implementations, a SQLite file (Connection, hive.h) and a PostgreSQL
// database (PgStore, pg_store.h). A store is used by one thread at a time (callers
// hold `mutex`); the registry keeps one per thread per hive, a transaction its own.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hive_path.h"
#include "names.h"
#include "snapshot.h"
#include "winreg.h"

namespace platform::registry {

// Where a key handle points: its id, and its path from HKEY_LOCAL_MACHINE (folded)
// to find the key again when it was deleted and created anew (as a transacted save
// of a rule list does), so a lookup never sees a list vanish in between.
struct KeyRef {
    int64_t id = kRootId;
    std::vector<std::string> path;
    bool root = false;                       // a predefined root: exists even when the hive is empty
    std::vector<std::u16string> rootLevels;  // a root view's path as created when missing
};

// The key `levels` below `base`, not yet looked up (id -1).
inline KeyRef keyBelow(const KeyRef& base, const std::vector<std::u16string>& levels) {
    KeyRef target;
    target.path = base.path;
    for (const auto& level : levels) target.path.push_back(folded(level));
    target.root = base.root && levels.empty();
    if (target.root) target.rootLevels = base.rootLevels;
    target.id = -1;
    return target;
}

// The forks this process came through since the registry was loaded: a store
// opened at another count belongs to a parent. Cheaper than getpid() on every call.
unsigned forkCount();

// A mutex that knows which thread holds it, so that the debug and sanitizer builds
// check that a store's callers hold its lock.
class OwnedMutex {
public:
    void lock() {
        mutex_.lock();
        holder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    void unlock() {
        holder_.store(std::thread::id(), std::memory_order_relaxed);
        mutex_.unlock();
    }
    bool heldHere() const { return holder_.load(std::memory_order_relaxed) == std::this_thread::get_id(); }

private:
    std::mutex mutex_;
    std::atomic<std::thread::id> holder_{};
};

class Store : public std::enable_shared_from_this<Store> {
public:
    virtual ~Store() = default;

    OwnedMutex mutex;  // held by the callers of everything below

    virtual const std::string& path() const = 0;
    // True when the store should be opened anew (the file at its path was replaced).
    virtual bool stale() const = 0;
    // True in a child process: the store belongs to the parent that forked.
    virtual bool inherited() const = 0;

    // Reading. Each result reflects one committed state of the hive.
    virtual LSTATUS open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result) = 0;
    virtual LSTATUS snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result) = 0;

    // Writing; each call is atomic (its own transaction, or a savepoint in the
    // store's transaction).
    virtual LSTATUS create(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result,
                           bool& created) = 0;
    virtual LSTATUS setValue(KeyRef& key, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes) = 0;
    virtual LSTATUS deleteValue(KeyRef& key, std::u16string_view name) = 0;
    virtual LSTATUS deleteKey(const KeyRef& base, const std::vector<std::u16string>& levels) = 0;

    // Transactional stores only: end the transaction.
    virtual LSTATUS commit() = 0;
    virtual LSTATUS rollback() = 0;
    virtual bool transactional() const = 0;
    // Ends the read a read scope began on this store, if any.
    virtual void leaveReadScope() = 0;
};

// A new store for the hive at `location`: a database for a libpq URI, else a file.
std::shared_ptr<Store> makeStore(const std::string& location, bool transactional);

// Adds the store to this thread's read scope, which ends its read with the scope.
// False when no read scope is open on this thread.
bool joinReadScope(const std::shared_ptr<Store>& store);

// The end of this thread's wait for the hive (HiveDeadline), max() when none, and
// the mark that a wait was cut at it.
std::chrono::steady_clock::time_point hiveWaitDeadline();
void markHiveWaitCut();

}  // namespace platform::registry
