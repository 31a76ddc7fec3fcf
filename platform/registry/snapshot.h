// What a read of the hive yields, shared by every connection of the process: a key's
// contents (Snapshot), and one committed state of a hive file (HiveVersion) with the
// keys read from it so far. Both are immutable once built, so any thread may use them.
#pragma once
#include <cassert>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

#include "winreg.h"

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

    // A value as the snapshot keeps it: its name and data as places in the snapshot's
    // two buffers. Values are kept small: a lookup walks a long rule list value by
    // value for every message.
    struct Value {
        uint32_t nameAt, nameChars, dataAt, dataBytes;
        DWORD type;
    };
    // The values laid out for a walk's steps past its first to read with no call per
    // value: the indexes 1 to `steps`, none when a value is longer than a step copies.
    static constexpr uint32_t kStepNameChars = 64, kStepDataBytes = 64;
    struct Listing {
        const Value* values = nullptr;
        const char16_t* names = nullptr;
        const char* data = nullptr;
        uint32_t steps = 0;
    };
    Listing listing() const {
        bool stepped = longestName_ <= kStepNameChars && largestData_ <= kStepDataBytes && !values_.empty();
        return {values_.data(), names_.data(), data_.data(), stepped ? static_cast<uint32_t>(values_.size() - 1) : 0};
    }

    size_t valueCount() const { return values_.size(); }
    ValueRow value(size_t index) const {
        assert(index < values_.size());
        const Value& v = values_[index];
        return {{names_.data() + v.nameAt, v.nameChars}, v.type, {data_.data() + v.dataAt, v.dataBytes}};
    }
    // The name in UTF-8, as stored. False when the snapshot cannot hold more (4 GiB
    // of names or of data).
    bool addValue(std::string_view name, DWORD type, std::string_view data);
    // Gives back the room the buffers grew beyond what they hold, once every value
    // is added: a snapshot lives as long as any reader holds it.
    void shrink();
    // The value of that name, compared without regard to case; false if none.
    bool find(std::u16string_view name, ValueRow& row) const;

private:
    std::vector<Value> values_;
    std::u16string names_;
    std::string data_;
    uint32_t longestName_ = 0, largestData_ = 0;

    // Built by the first find, whichever thread that is.
    mutable std::once_flag indexing_;
    mutable std::unordered_map<std::string, size_t> byName_;
};

// Which hive file a version belongs to: the file, and the id its hive row was given
// when it was made (so a restored copy or a file on a reused inode is another hive).
struct HiveIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    int64_t id = 0;
    bool operator==(const HiveIdentity&) const = default;
};

// One committed state of a hive: the keys found by path and the snapshots read, each
// read once by whichever connection needed it first.
class HiveVersion {
public:
    // earlier: the version of the same hive read before, whose snapshots this one may
    // take over for the keys not changed since.
    HiveVersion(HiveIdentity hive, int64_t number, const HiveVersion* earlier = nullptr);
    const HiveIdentity& hive() const { return hive_; }
    int64_t number() const { return number_; }

    bool findPath(const std::string& path, int64_t& id) const;
    void addPath(const std::string& path, int64_t id);
    bool findSnapshot(int64_t id, std::shared_ptr<const Snapshot>& result) const;
    void addSnapshot(int64_t id, std::shared_ptr<const Snapshot> snapshot);
    // The earlier version's snapshot of that key and that version's number, given out
    // once: taken over or read anew, it is not kept for the next version.
    bool takeEarlier(int64_t id, std::shared_ptr<const Snapshot>& result, int64_t& number);
    // Held while a snapshot is read from the file: a reader needing one that is being
    // read waits for it instead of reading it again.
    std::unique_lock<std::mutex> lockLoading() { return std::unique_lock(loading_); }

private:
    const HiveIdentity hive_;
    const int64_t number_;
    mutable std::mutex mutex_;  // guards the maps
    std::mutex loading_;
    std::unordered_map<std::string, int64_t> paths_;
    std::unordered_map<int64_t, std::shared_ptr<const Snapshot>> snapshots_;
    int64_t earlierNumber_ = 0;
    std::unordered_map<int64_t, std::shared_ptr<const Snapshot>> earlier_;
};

// The process's one HiveVersion for that state of that hive: the one any reader holds
// or the newest kept, else a new one. Versions no reader holds are released, except
// the newest of each recently read hive, which the next lookup will want.
std::shared_ptr<HiveVersion> sharedVersion(const HiveIdentity& hive, int64_t number);

}  // namespace platform::registry
