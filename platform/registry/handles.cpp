#include "handles.h"

namespace platform::registry {

constinit HandleTableHolder handleTable;

HKEY HandleTable::add(std::unique_ptr<Key> key) {
    std::lock_guard lock(mutex_);
    uint32_t index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
    } else {
        if (next_ >= kChunkSize * kChunks) return nullptr;
        index = next_++;
        if (index % kChunkSize == 0) chunks_[index / kChunkSize].store(new Slot[kChunkSize], std::memory_order_release);
    }
    Slot& s = chunks_[index / kChunkSize].load(std::memory_order_relaxed)[index % kChunkSize];
    s.key.store(key.release(), std::memory_order_release);
    uint64_t value = (static_cast<uint64_t>(s.generation.load()) << 32) | (index + 1);
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(value));
}

std::unique_ptr<Key> HandleTable::remove(HKEY handle) {
    std::lock_guard lock(mutex_);
    uint32_t generation;
    Slot* s = slot(reinterpret_cast<uintptr_t>(handle), generation);
    if (!s || s->generation.load() != generation) return nullptr;
    std::unique_ptr<Key> key(s->key.exchange(nullptr));
    if (!key) return nullptr;
    s->generation.store(generation == kMaxGeneration ? 1 : generation + 1);
    free_.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)) - 1);
    return key;
}

}  // namespace platform::registry
