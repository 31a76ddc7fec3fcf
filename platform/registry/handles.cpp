#include "handles.h"

namespace platform::registry {

// A handle is (generation << 32) | (slot + 1). Generations stay below 2^31, so no
// handle equals a predefined root (sign-extended 0x8000000x) or null.
constexpr uint32_t kMaxGeneration = 0x7FFFFFFF;

HandleTable::Slot* HandleTable::slot(uint64_t value, uint32_t& generation) const {
    generation = static_cast<uint32_t>(value >> 32);
    auto index = static_cast<uint32_t>(value);
    if (index == 0 || generation == 0 || generation > kMaxGeneration) return nullptr;
    --index;
    if (index / kChunkSize >= kChunks) return nullptr;
    Slot* chunk = chunks_[index / kChunkSize].load(std::memory_order_acquire);
    return chunk ? &chunk[index % kChunkSize] : nullptr;
}

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

Key* HandleTable::find(HKEY handle) const {
    uint32_t generation;
    const Slot* s = slot(reinterpret_cast<uintptr_t>(handle), generation);
    if (!s || s->generation.load(std::memory_order_acquire) != generation) return nullptr;
    return s->key.load(std::memory_order_acquire);
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

HandleTable& handles() {
    static auto* table = new HandleTable;  // never destroyed: handles may be closed during exit
    return *table;
}

}  // namespace platform::registry
