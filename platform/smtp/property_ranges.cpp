#include "property_ranges.h"

#include <mutex>
#include <vector>

#include "winerror.h"

namespace platform::smtp {
namespace {

// Ids below this are the transport's own named properties.
constexpr DWORD kFirstRangeId = 0x10000;

struct Range {
    GUID guid;
    DWORD start;
    DWORD count;
};

std::mutex rangesMutex;
std::vector<Range> ranges;
DWORD nextStart = kFirstRangeId;

}  // namespace

HRESULT AllocatePropertyRange(REFGUID guid, DWORD count, DWORD* start) {
    if (!start) return E_POINTER;
    if (count == 0) return E_INVALIDARG;
    std::lock_guard lock(rangesMutex);
    for (const Range& range : ranges) {
        if (range.guid != guid) continue;
        if (count > range.count) return E_INVALIDARG;
        *start = range.start;
        return S_OK;
    }
    if (count > 0xFFFFFFFFu - nextStart) return E_OUTOFMEMORY;
    ranges.push_back({guid, nextStart, count});
    *start = nextStart;
    nextStart += count;
    return S_OK;
}

}  // namespace platform::smtp
