#include "snapshot.h"

#include <algorithm>

#include <pthread.h>

#include "names.h"

namespace platform::registry {

void Snapshot::shrink() {
    values_.shrink_to_fit();
    names_.shrink_to_fit();
    data_.shrink_to_fit();
}

bool Snapshot::addValue(std::string_view name, DWORD type, std::string_view data) {
    size_t at = names_.size();
    if (at + name.size() > UINT32_MAX || data_.size() + data.size() > UINT32_MAX) return false;
    // Names are nearly always ASCII: widened in place, one unit for one, while looking
    // whether they were; a change to a long list is read while a judgement waits.
    names_.resize(at + name.size());
    char16_t* to = names_.data() + at;
    unsigned char high = 0;
    for (char c : name) {
        high |= static_cast<unsigned char>(c);
        *to++ = static_cast<unsigned char>(c);
    }
    if (high >= 0x80) {
        names_.resize(at);
        names_ += widen(name);
        if (names_.size() > UINT32_MAX) {
            names_.resize(at);
            return false;
        }
    }
    auto chars = static_cast<uint32_t>(names_.size() - at), bytes = static_cast<uint32_t>(data.size());
    values_.push_back({static_cast<uint32_t>(at), chars, static_cast<uint32_t>(data_.size()), bytes, type});
    data_.append(data);
    longestName_ = std::max(longestName_, chars);
    largestData_ = std::max(largestData_, bytes);
    return true;
}

bool Snapshot::find(std::u16string_view name, ValueRow& row) const {
    std::call_once(indexing_, [this] {
        byName_.reserve(values_.size());
        for (size_t i = 0; i < values_.size(); ++i) byName_.emplace(folded(value(i).name), i);
    });
    auto it = byName_.find(folded(name));
    if (it == byName_.end()) return false;
    row = value(it->second);
    return true;
}

HiveVersion::HiveVersion(HiveIdentity hive, int64_t number, const HiveVersion* earlier) : hive_(hive), number_(number) {
    if (!earlier) return;
    std::lock_guard lock(earlier->mutex_);
    earlierNumber_ = earlier->number_;
    earlier_ = earlier->snapshots_;
}

bool HiveVersion::findPath(const std::string& path, int64_t& id) const {
    std::lock_guard lock(mutex_);
    auto it = paths_.find(path);
    if (it == paths_.end()) return false;
    id = it->second;
    return true;
}

void HiveVersion::addPath(const std::string& path, int64_t id) {
    std::lock_guard lock(mutex_);
    paths_.emplace(path, id);
}

bool HiveVersion::findSnapshot(int64_t id, std::shared_ptr<const Snapshot>& result) const {
    std::lock_guard lock(mutex_);
    auto it = snapshots_.find(id);
    if (it == snapshots_.end()) return false;
    result = it->second;
    return true;
}

void HiveVersion::addSnapshot(int64_t id, std::shared_ptr<const Snapshot> snapshot) {
    std::lock_guard lock(mutex_);
    snapshots_.emplace(id, std::move(snapshot));
}

bool HiveVersion::takeEarlier(int64_t id, std::shared_ptr<const Snapshot>& result, int64_t& number) {
    std::lock_guard lock(mutex_);
    auto it = earlier_.find(id);
    if (it == earlier_.end()) return false;
    result = std::move(it->second);
    earlier_.erase(it);
    number = earlierNumber_;
    return true;
}

namespace {

class SharedVersions {
public:
    SharedVersions() {
        // A child starts with none of its parent's versions: it reads the hive through
        // connections of its own. The mutex is held across fork() so the child's is free.
        pthread_atfork([] { instance().mutex_.lock(); }, [] { instance().mutex_.unlock(); },
                       [] {
                           auto& self = instance();
                           self.known_.clear();
                           // Left to the parent's threads that may be using them; never freed here.
                           new std::vector<std::shared_ptr<HiveVersion>>(std::move(self.newest_));
                           self.newest_.clear();
                           self.mutex_.unlock();
                       });
    }

    static SharedVersions& instance() {
        static auto* versions = new SharedVersions;  // never destroyed: threads may read during exit
        return *versions;
    }

    std::shared_ptr<HiveVersion> get(const HiveIdentity& hive, int64_t number) {
        std::lock_guard lock(mutex_);
        for (const auto& known : known_) {
            if (known.number != number || !(known.hive == hive)) continue;
            if (auto version = known.version.lock()) return version;
        }
        std::erase_if(known_, [](const Known& known) { return known.version.expired(); });
        auto kept = std::find_if(newest_.begin(), newest_.end(), [&](const auto& v) { return v->hive() == hive; });
        const HiveVersion* earlier = kept != newest_.end() && (*kept)->number() < number ? kept->get() : nullptr;
        auto version = std::make_shared<HiveVersion>(hive, number, earlier);
        known_.push_back({hive, number, version});
        if (kept == newest_.end()) {
            if (newest_.size() == kKeptHives) newest_.erase(newest_.begin());
            newest_.push_back(version);
        } else if ((*kept)->number() < number) {
            *kept = version;
        }
        return version;
    }

private:
    // Hives whose newest version is kept while no reader holds it: the machine's, and a
    // few more for tools and tests that switch between files.
    static constexpr size_t kKeptHives = 4;
    struct Known {
        HiveIdentity hive;
        int64_t number;
        std::weak_ptr<HiveVersion> version;
    };
    std::mutex mutex_;
    std::vector<Known> known_;
    std::vector<std::shared_ptr<HiveVersion>> newest_;
};

}  // namespace

std::shared_ptr<HiveVersion> sharedVersion(const HiveIdentity& hive, int64_t number) {
    return SharedVersions::instance().get(hive, number);
}

}  // namespace platform::registry
