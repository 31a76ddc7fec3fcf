// Key handles: what an HKEY stands for, and the table that hands them out. Handles
// are checked on every call, so a closed or made-up HKEY gets ERROR_INVALID_HANDLE
// rather than a crash; looking one up takes no lock.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "hive.h"

namespace platform::registry {

struct Key {
    std::shared_ptr<Connection> connection;  // this thread's, or a transaction's
    KeyRef ref;
    REGSAM access = 0;
    // The state enumeration walks: taken by RegQueryInfoKey or a walk's first step,
    // so one walk sees one committed state of the key whatever others write.
    std::shared_ptr<const Snapshot> walk;
    bool walkFresh = false;  // taken by the last call; a walk starting now uses it
};

class HandleTable {
public:
    HKEY add(std::unique_ptr<Key> key);
    Key* find(HKEY handle) const;
    std::unique_ptr<Key> remove(HKEY handle);

private:
    static constexpr uint32_t kChunkSize = 4096;
    static constexpr uint32_t kChunks = 4096;
    struct Slot {
        std::atomic<uint32_t> generation{1};
        std::atomic<Key*> key{nullptr};
    };
    Slot* slot(uint64_t value, uint32_t& generation) const;

    std::atomic<Slot*> chunks_[kChunks] = {};
    std::mutex mutex_;
    std::vector<uint32_t> free_;
    uint32_t next_ = 0;
};

HandleTable& handles();

}  // namespace platform::registry
