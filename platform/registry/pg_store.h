// The hive in a PostgreSQL database. Each process keeps one PgHive per database: a
// thread of its own holds a listening connection, reads every committed state the
// writers announce (or finds by looking every half second where announcements do not
// arrive, as on a standby) whole, in one read-only transaction, and publishes it;
// readers judge with the newest state published and never wait on the network for
// it once one has been read. Writes go through one connection per process, under a
// lock; a transaction has a connection of its own.
#pragma once
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "pg_session.h"
#include "store.h"

namespace platform::registry {

// Adds a value or a subkey read from the database to a snapshot, with its maxima.
// False when the snapshot cannot hold more.
bool addValueRow(Snapshot& snap, std::string_view name, DWORD type, std::string_view data);
void addSubkeyRow(Snapshot& snap, std::string_view name, int64_t written);

class PgHive {
public:
    using Clock = std::chrono::system_clock;

    // This process's one for the database at uri; never destroyed.
    static PgHive& of(const std::string& uri);

    // The newest state read whole. When none was read yet, or this process committed
    // a newer one, waits for the thread (no longer than this thread's hive deadline);
    // fails when no state was ever read.
    LSTATUS current(std::shared_ptr<HiveVersion>& version);
    // This process committed that version: its readers see it from the next read on.
    void committed(int64_t version);

    // The connection the writes outside transactions share, and its lock.
    std::mutex writeMutex;
    PgSession writer;

private:
    explicit PgHive(std::string uri);
    void run();
    LSTATUS refresh(PgSession& session, bool& tables);
    LSTATUS load(PgSession& session, std::shared_ptr<HiveVersion>& version);
    void publish(std::shared_ptr<HiveVersion> version);
    void reportDown(const std::string& why);
    void reportUp();
    // Sleeps up to `timeout`, less when the socket (if any) has input or a reader wakes it.
    void waitFor(int socket, std::chrono::milliseconds timeout);
    // Drops the writers' announcements libpq has read; true when there were any.
    static bool takeAnnouncements(PgSession& session);
    void wake();

    const std::string uri_;
    int wakeFd_ = -1;
    std::mutex mutex_;  // guards what follows
    std::condition_variable changed_;
    std::shared_ptr<HiveVersion> published_;
    Clock::time_point readAt_;
    int64_t wanted_ = 0;  // the newest version this process committed
    bool down_ = false;   // the last attempt to reach the database failed
    Clock::time_point downSince_, warnedAt_;
    std::thread thread_;
};

class PgStore : public Store {
public:
    PgStore(std::string uri, bool transactional);
    ~PgStore() override;

    const std::string& path() const override { return uri_; }
    bool stale() const override { return false; }
    bool inherited() const override { return forks_ != forkCount(); }

    LSTATUS open(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result) override;
    LSTATUS snapshot(KeyRef& key, std::shared_ptr<const Snapshot>& result) override;
    LSTATUS create(const KeyRef& base, const std::vector<std::u16string>& levels, KeyRef& result,
                   bool& created) override;
    LSTATUS setValue(KeyRef& key, std::u16string_view name, DWORD type, const BYTE* data, DWORD bytes) override;
    LSTATUS deleteValue(KeyRef& key, std::u16string_view name) override;
    LSTATUS deleteKey(const KeyRef& base, const std::vector<std::u16string>& levels) override;
    LSTATUS commit() override;
    LSTATUS rollback() override;
    bool transactional() const override { return transactional_; }
    void leaveReadScope() override;

private:
    LSTATUS beginRead(bool& own);
    void endRead(bool own);
    LSTATUS prepareTransaction(bool forWrite);
    template <class Body>
    LSTATUS write(Body body);
    LSTATUS touchKey(PgSession& s, int64_t id);
    LSTATUS writeTouches();

    std::string uri_;
    bool transactional_;
    unsigned forks_ = forkCount();
    PgHive& hive_;
    // Outside a transaction: the state the read in progress sees.
    std::shared_ptr<HiveVersion> version_;
    bool scoped_ = false;
    // A transaction's own connection, begun at its first use.
    std::unique_ptr<PgSession> session_;
    bool active_ = true, begun_ = false, tables_ = false;
    int64_t number_ = 0;                  // the version the transaction commits
    std::map<int64_t, int64_t> touched_;  // keys whose written time the transaction sets, and to what
};

}  // namespace platform::registry
