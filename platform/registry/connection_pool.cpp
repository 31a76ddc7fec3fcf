// The connections of this process's threads: one per thread per hive, passed on
// to later threads when a thread ends, and never used across fork().
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <pthread.h>

#include "hive.h"

namespace platform::registry {

namespace {

std::atomic<unsigned> forks{0};

[[maybe_unused]] const int forkCounter = pthread_atfork(nullptr, nullptr, [] { ++forks; });

}  // namespace

unsigned forkCount() { return forks.load(std::memory_order_relaxed); }

namespace {

// SQLite connections must not cross fork(): a child neither uses nor closes its
// parent's, whose close would drop the child's own locks on the file.
void abandonInherited(std::shared_ptr<Store> connection) {
    static auto* inherited = new std::vector<std::shared_ptr<Store>>;
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    inherited->push_back(std::move(connection));
}

// Connections of threads that ended, kept for the threads to come: opening one
// costs far more than a lookup, and a host may start a thread for every client
// (libmilter does). The most recently kept is taken first; the oldest goes when full.
class SpareConnections {
public:
    void put(std::shared_ptr<Store> connection) {
        std::lock_guard lock(mutex_);
        if (spares_.size() == kMaxSpares) {
            if (spares_.front()->inherited()) abandonInherited(std::move(spares_.front()));
            spares_.erase(spares_.begin());
        }
        spares_.push_back(std::move(connection));
    }
    std::shared_ptr<Store> take(const std::string& path) {
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
    std::vector<std::shared_ptr<Store>> spares_;
};

SpareConnections& spareConnections() {
    static auto* spares = new SpareConnections;  // never destroyed: threads may end during exit
    return *spares;
}

// One thread's connections by hive path; they become spares when the thread ends.
struct ThreadConnections {
    std::unordered_map<std::string, std::shared_ptr<Store>> byPath;
    ~ThreadConnections() {
        for (auto& [path, connection] : byPath) {
            if (!connection) continue;
            if (connection->inherited()) abandonInherited(std::move(connection));
            else spareConnections().put(std::move(connection));
        }
    }
};

}  // namespace

std::shared_ptr<Store> threadConnection(const std::string& path) {
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
    if (replace) connection = makeStore(path, false);
    if (connections.size() > 16) {
        // Hives of finished tests and the like: drop those no handle holds.
        std::erase_if(connections,
                      [&](const auto& entry) { return entry.second.use_count() == 1 && entry.first != path; });
    }
    return connection;
}

}  // namespace platform::registry
