// The process's reader of a hive database: the thread that follows its committed
// states, and what it says when the database cannot be reached.
#include <ctime>
#include <map>
#include <unordered_map>

#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "pg_store.h"

namespace platform::registry {

namespace {

using namespace std::chrono_literals;

// Where announcements arrive the version is still looked at this often, and where
// they do not (a standby refuses LISTEN) every half second.
constexpr auto kCheckListening = 5000ms, kCheckPolling = 500ms;
// How long a reader with no deadline of its own waits for the first state, and one
// that has a state for a newer one this process committed.
constexpr auto kFirstReadWait = 6000ms, kOwnWriteWait = 200ms;
constexpr auto kWarnEvery = std::chrono::minutes(1);
constexpr auto kFirstBackoff = 100ms, kLongestBackoff = 10000ms;

std::string timeText(PgHive::Clock::time_point at) {
    std::time_t t = PgHive::Clock::to_time_t(at);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

}  // namespace

PgHive& PgHive::of(const std::string& uri) {
    static std::mutex mutex;
    static auto* hives = new std::map<std::pair<std::string, unsigned>, PgHive*>;  // never destroyed
    std::lock_guard lock(mutex);
    // A child starts its own: the parent's thread did not come through fork().
    auto& hive = (*hives)[{uri, forkCount()}];
    if (!hive) hive = new PgHive(uri);
    return *hive;
}

PgHive::PgHive(std::string uri) : writer(uri), uri_(std::move(uri)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
    thread_.detach();  // runs for the process's life
}

void PgHive::wake() {
    uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wakeFd_, &one, sizeof one);
}

LSTATUS PgHive::current(std::shared_ptr<HiveVersion>& version) {
    std::unique_lock lock(mutex_);
    auto stale = [&] { return !published_ || published_->number() < wanted_; };
    if (stale() && !down_) {
        auto now = std::chrono::steady_clock::now();
        auto until = std::min(hiveWaitDeadline(), now + (published_ ? kOwnWriteWait : kFirstReadWait));
        if (!changed_.wait_until(lock, until, [&] { return !stale() || down_; })) {
            if (until == hiveWaitDeadline()) markHiveWaitCut();
        }
    }
    if (!published_) return ERROR_REGISTRY_IO_FAILED;  // said in words by the thread
    version = published_;
    return ERROR_SUCCESS;
}

void PgHive::committed(int64_t version) {
    {
        std::lock_guard lock(mutex_);
        wanted_ = std::max(wanted_, version);
    }
    wake();
}

void PgHive::publish(std::shared_ptr<HiveVersion> version) {
    std::lock_guard lock(mutex_);
    published_ = std::move(version);
    readAt_ = Clock::now();
    changed_.notify_all();
}

void PgHive::reportDown(const std::string& why) {
    std::lock_guard lock(mutex_);
    auto now = Clock::now();
    if (!down_) downSince_ = now;
    else if (now - warnedAt_ < kWarnEvery) return;
    down_ = true;
    warnedAt_ = now;
    changed_.notify_all();
    std::string line = "rules database unreachable since " + timeText(downSince_) + "; ";
    line += published_ ? "judging with the rules read at " + timeText(readAt_)
                       : "no rules were read yet, so every message is delivered";
    pgLog(line + " (" + why + ")");
}

void PgHive::reportUp() {
    std::lock_guard lock(mutex_);
    if (!down_) return;
    down_ = false;
    pgLog("rules database reachable again; rules read at " + timeText(readAt_));
}

void PgHive::waitFor(int socket, std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {socket, POLLIN, 0}};
    if (poll(fds, socket >= 0 ? 2 : 1, static_cast<int>(timeout.count())) > 0 && (fds[0].revents & POLLIN)) {
        uint64_t count;
        [[maybe_unused]] auto ignored = ::read(wakeFd_, &count, sizeof count);
    }
}

void PgHive::run() {
    PgSession session(uri_);
    auto backoff = kFirstBackoff;
    bool listening = false, tables = false;
    for (;;) {
        if (!session.connected()) {
            tables = false;
            if (session.connect() != ERROR_SUCCESS) {
                reportDown(session.lastError());
                waitFor(-1, backoff);
                backoff = std::min(backoff * 2, kLongestBackoff);
                continue;
            }
            listening = session.exec("LISTEN pellicor_hive") == ERROR_SUCCESS;
        }
        LSTATUS rc = refresh(session, tables);
        if (rc == ERROR_SUCCESS) {
            backoff = kFirstBackoff;
            reportUp();
        } else if (!session.connected()) {
            continue;  // reported above when reconnecting fails
        } else {
            reportDown(session.lastError());  // the database answers but cannot be read
        }
        // An announcement that came in with the answers to the reads above is in
        // libpq's queue already, no longer on the socket: read again at once.
        if (listening && takeAnnouncements(session)) continue;
        waitFor(listening ? PQsocket(session.raw()) : -1, listening ? kCheckListening : kCheckPolling);
        if (listening && PQconsumeInput(session.raw())) takeAnnouncements(session);
    }
}

bool PgHive::takeAnnouncements(PgSession& session) {
    bool any = false;
    while (PGnotify* notice = PQnotifies(session.raw())) {
        PQfreemem(notice);
        any = true;
    }
    return any;
}

LSTATUS PgHive::refresh(PgSession& session, bool& tables) {
    LSTATUS rc = ERROR_SUCCESS;
    if (!tables) {
        rc = session.checkSchema(tables);
        if (rc != ERROR_SUCCESS) return rc;
        if (!tables) {  // an empty database: an empty hive, whose root exists
            auto empty = std::make_shared<HiveVersion>(HiveIdentity{}, 0);
            empty->addPath("", kRootId);
            empty->addSnapshot(kRootId, std::make_shared<Snapshot>());
            publish(std::move(empty));
            return ERROR_SUCCESS;
        }
    }
    PgResult r;
    if ((rc = session.run(PgSession::kVersion, {}, r)) != ERROR_SUCCESS) {
        tables = false;  // looked at anew next time (a database emptied and made again)
        return rc;
    }
    int64_t id = pgInt(r.get(), 0, 0), number = pgInt(r.get(), 0, 1);
    {
        std::lock_guard lock(mutex_);
        if (published_ && published_->hive().id == id && published_->number() == number) return ERROR_SUCCESS;
    }
    std::shared_ptr<HiveVersion> version;
    rc = load(session, version);
    if (rc == ERROR_SUCCESS) publish(std::move(version));
    // What the database's answers took is free again; this thread's heap would keep it.
    malloc_trim(0);
    return rc;
}

namespace {

// A key's snapshot in the state being read, and the one the state published before
// had, if its values may be taken over.
struct KeyRead {
    std::string path;
    std::shared_ptr<Snapshot> fresh;
    std::shared_ptr<const Snapshot> before;
};

// More keys changed than this, and all values are read in one statement.
constexpr size_t kFewKeys = 16;

bool sameSubkeys(const Snapshot& a, const Snapshot& b) {
    if (a.subkeys.size() != b.subkeys.size()) return false;
    for (size_t i = 0; i < a.subkeys.size(); ++i)
        if (a.subkeys[i].name != b.subkeys[i].name || a.subkeys[i].written != b.subkeys[i].written) return false;
    return true;
}

// Adds the rows (key, name, type, data from column `first` on) to their keys' snapshots.
LSTATUS addValueRows(const PGresult* r, int first, std::unordered_map<int64_t, KeyRead>& keys, int64_t onlyKey) {
    for (int i = 0; i < PQntuples(r); ++i) {
        auto it = keys.find(onlyKey >= 0 ? onlyKey : pgInt(r, i, 0));
        if (it == keys.end()) continue;
        if (!addValueRow(*it->second.fresh, pgBytes(r, i, first), static_cast<DWORD>(pgInt(r, i, first + 1)),
                         pgBytes(r, i, first + 2)))
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

}  // namespace

// Reads one committed state whole: every key, and the values of the keys changed since
// the state published before (a key's written time rises with every change of its
// values); the others' snapshots are taken over from it.
LSTATUS PgHive::load(PgSession& session, std::shared_ptr<HiveVersion>& version) {
    std::shared_ptr<const HiveVersion> earlier;
    {
        std::lock_guard lock(mutex_);
        earlier = published_;
    }
    LSTATUS rc = session.exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    if (rc != ERROR_SUCCESS) return rc;
    PgResult v, keys;
    if (rc == ERROR_SUCCESS) rc = session.run(PgSession::kVersion, {}, v);
    if (rc == ERROR_SUCCESS) rc = session.run(PgSession::kAllKeys, {}, keys);
    std::unordered_map<int64_t, KeyRead> byId;
    int64_t hiveId = rc == ERROR_SUCCESS ? pgInt(v.get(), 0, 0) : 0;
    if (earlier && earlier->hive().id != hiveId) earlier.reset();  // the database was made anew
    for (int i = 0; rc == ERROR_SUCCESS && i < PQntuples(keys.get()); ++i) {
        int64_t id = pgInt(keys.get(), i, 0), parent = pgInt(keys.get(), i, 1);
        auto snap = std::make_shared<Snapshot>();
        snap->id = id;
        snap->written = pgInt(keys.get(), i, 4);
        std::string path;
        if (id != kRootId) {
            auto up = byId.find(parent);  // made before its subkeys, so read before them
            if (up == byId.end()) continue;
            addSubkeyRow(*up->second.fresh, pgBytes(keys.get(), i, 2), snap->written);
            path = up->second.path;
            path += pgBytes(keys.get(), i, 3);
            path += '\\';
        }
        byId.emplace(id, KeyRead{std::move(path), std::move(snap), nullptr});
    }
    std::vector<int64_t> changed;
    for (auto& [id, key] : byId) {
        std::shared_ptr<const Snapshot> before;
        if (earlier && earlier->findSnapshot(id, before) && before->written == key.fresh->written &&
            sameSubkeys(*before, *key.fresh))
            key.before = std::move(before);
        else changed.push_back(id);
    }
    bool readAll = !earlier || changed.size() > kFewKeys;
    if (readAll) {
        for (auto& [id, key] : byId) key.before.reset();
        PgResult values;
        if (rc == ERROR_SUCCESS) rc = session.run(PgSession::kAllValues, {}, values);
        if (rc == ERROR_SUCCESS) rc = addValueRows(values.get(), 1, byId, -1);
    } else {
        for (int64_t id : changed) {
            PgResult values;
            if (rc == ERROR_SUCCESS) rc = session.run(PgSession::kValues, {id}, values);
            if (rc == ERROR_SUCCESS) rc = addValueRows(values.get(), 0, byId, id);
        }
    }
    if (session.connected()) session.exec(rc == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
    if (rc != ERROR_SUCCESS) return rc;

    version = std::make_shared<HiveVersion>(HiveIdentity{0, 0, hiveId}, pgInt(v.get(), 0, 1));
    for (auto& [id, key] : byId) {
        version->addPath(key.path, id);
        if (key.before) {
            version->addSnapshot(id, std::move(key.before));
        } else {
            key.fresh->shrink();
            version->addSnapshot(id, std::move(key.fresh));
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace platform::registry
