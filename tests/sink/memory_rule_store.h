// A rule store held in memory: three lists of REG_SZ entry names, a record of
// which lists were opened, and faults on demand.
#pragma once
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "rule_store.h"

class MemoryRuleStore final : public RuleStore {
public:
    std::vector<std::basic_string<WCHAR>> lists[3];
    std::vector<int> opened;
    DWORD failReadAt = ~0u;      // values from this index on cannot be read
    int outOfMemoryOnList = -1;  // opening this list runs out of memory
    int closes = 0;

    LSTATUS OpenKey(LPCWSTR path, HKEY* key) override {
        int list = ListOf(path);
        if (list == outOfMemoryOnList) throw std::bad_alloc();
        opened.push_back(list);
        *key = reinterpret_cast<HKEY>(static_cast<intptr_t>(list + 1));
        return ERROR_SUCCESS;
    }
    LSTATUS QueryInfo(HKEY key, DWORD* values, DWORD* longestName, DWORD* largestData) override {
        const auto& names = lists[ListOf(key)];
        *values = static_cast<DWORD>(names.size());
        *longestName = 0;
        for (const auto& name : names) *longestName = std::max(*longestName, static_cast<DWORD>(name.size()));
        *largestData = 0;
        return ERROR_SUCCESS;
    }
    LSTATUS EnumValue(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* type, BYTE*,
                      DWORD* dataBytes) override {
        const auto& names = lists[ListOf(key)];
        if (index >= failReadAt || index >= names.size()) return ERROR_NO_MORE_ITEMS;
        if (names[index].size() + 1 > *nameChars) return ERROR_MORE_DATA;
        names[index].copy(name, names[index].size());
        name[names[index].size()] = OLESTR('\0');
        *nameChars = static_cast<DWORD>(names[index].size());
        *type = REG_SZ;
        *dataBytes = 0;
        return ERROR_SUCCESS;
    }
    void CloseKey(HKEY) override { ++closes; }

private:
    static int ListOf(LPCWSTR path) {
        for (int list = 0; list < 2; ++list) {
            if (std::basic_string_view<WCHAR>(path) == RuleListPath(list)) return list;
        }
        return 2;
    }
    static int ListOf(HKEY key) { return static_cast<int>(reinterpret_cast<intptr_t>(key)) - 1; }
};
