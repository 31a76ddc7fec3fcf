// The three rule lists and the lookup that answers whether a text matches one of
// them. A list is a key whose REG_SZ value names are the entries; "*" matches
// any text. The lookup reads the store afresh every time and caches nothing, so
// that a change saved by the configuration tool applies to the next reply.
#pragma once
#include "windows.h"

// List numbers: 0 sender domains whose replies are deleted, 1 recipient domains
// whose replies are still delivered, 2 sender addresses whose replies are still
// delivered.
inline constexpr int kDisabledDomainsList = 0;
inline constexpr int kEnabledRecipientDomainsList = 1;
inline constexpr int kEnabledSenderAddressesList = 2;

// Where the lists are read from: the machine registry in service, a substitute
// in tests. Key names compare without regard to case. Results are registry
// status codes (0 success).
class RuleStore {
public:
    // Opens a list key below the machine hive for reading.
    virtual LSTATUS OpenKey(LPCWSTR path, HKEY* key) = 0;
    // Number of values, longest value name in characters (terminator not
    // counted) and largest value data in bytes.
    virtual LSTATUS QueryInfo(HKEY key, DWORD* values, DWORD* longestNameChars, DWORD* largestDataBytes) = 0;
    // Reads the value at `index`: its terminated name (capacity in characters,
    // terminator included), its type and its data (capacity in bytes).
    virtual LSTATUS EnumValue(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                              DWORD* dataBytes) = 0;
    virtual void CloseKey(HKEY key) = 0;

protected:
    ~RuleStore() = default;
};

// The machine registry, HKEY_LOCAL_MACHINE. Shared by all threads; it holds no state.
RuleStore& RegistryRuleStore();

// The key path of a list as the sink opens it; any number other than 0 or 1 selects list 2.
LPCWSTR RuleListPath(int list);

// True when `list` holds a REG_SZ value named "*" or one whose name equals `text`
// with the letters A to Z compared without regard to case. False when the list
// cannot be read, when reading stops part-way, and for names longer than 1023
// characters (they cannot be compared whole). Throws std::bad_alloc when memory
// runs out, rather than answer as if the list were empty: for lists 1 and 2 that
// answer would condemn a reply.
bool IsInRuleList(const char* text, int list, RuleStore& store);
bool IsInRuleList(const char* text, int list);
