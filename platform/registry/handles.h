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
    std::shared_ptr<Store> connection;  // this thread's, or a transaction's
    KeyRef ref;
    REGSAM access = 0;
    // The state enumeration walks: taken by RegQueryInfoKey or a walk's first step,
    // so one walk sees one committed state of the key whatever others write.
    std::shared_ptr<const Snapshot> walk;
    bool walkFresh = false;  // taken by the last call; a walk starting now uses it
    // The walk's values, for a key that may read them: resolved whenever `walk` is
    // taken, so a step of RegEnumValue goes from the handle straight to the value.
    Snapshot::Listing values;

    // To be called after every change of `walk`.
    void walkTaken() { values = walk && (access & KEY_QUERY_VALUE) ? walk->listing() : Snapshot::Listing(); }
};

// A handle is (generation << 32) | (slot + 1). Generations stay below 2^31, so no
// handle equals a predefined root (sign-extended 0x8000000x) or null.
class HandleTable {
public:
    HKEY add(std::unique_ptr<Key> key);
    // Inline: every registry call looks its handle up, enumeration once per item.
    Key* find(HKEY handle) const {
        uint32_t generation;
        const Slot* s = slot(reinterpret_cast<uintptr_t>(handle), generation);
        if (!s || s->generation.load(std::memory_order_acquire) != generation) return nullptr;
        return s->key.load(std::memory_order_acquire);
    }
    std::unique_ptr<Key> remove(HKEY handle);

private:
    static constexpr uint32_t kChunkSize = 4096;
    static constexpr uint32_t kChunks = 4096;
    static constexpr uint32_t kMaxGeneration = 0x7FFFFFFF;
    struct Slot {
        std::atomic<uint32_t> generation{1};
        std::atomic<Key*> key{nullptr};
    };
    // A generation out of range matches no slot's, so only the index is checked here.
    Slot* slot(uint64_t value, uint32_t& generation) const {
        generation = static_cast<uint32_t>(value >> 32);
        uint32_t index = static_cast<uint32_t>(value) - 1;  // slot 0 is handle 1; handle 0 wraps past the end
        if (index >= kChunkSize * kChunks) return nullptr;
        Slot* chunk = chunks_[index / kChunkSize].load(std::memory_order_acquire);
        return chunk ? &chunk[index % kChunkSize] : nullptr;
    }

    std::atomic<Slot*> chunks_[kChunks] = {};
    std::mutex mutex_;
    std::vector<uint32_t> free_;
    uint32_t next_ = 0;
};

// Constant-initialised and never destroyed (handles may be closed during exit), so
// the lookup every call makes needs no guard of a first use, and (not exported) no
// indirection through the symbol table either.
union HandleTableHolder {
    constexpr HandleTableHolder() : table() {}
    ~HandleTableHolder() {}
    HandleTable table;
};
[[gnu::visibility("hidden")]] extern HandleTableHolder handleTable;

inline HandleTable& handles() { return handleTable.table; }

}  // namespace platform::registry
