#include <memory>

#include "rule_store.h"

namespace {

// Entries are compared as 8-bit text of at most 1023 characters.
constexpr int kEntryCapacity = 1024;

class Registry final : public RuleStore {
public:
    LSTATUS OpenKey(LPCWSTR path, HKEY* key) override {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key);
    }
    LSTATUS QueryInfo(HKEY key, DWORD* values, DWORD* longestNameChars, DWORD* largestDataBytes) override {
        return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, values, longestNameChars,
                                largestDataBytes, nullptr, nullptr);
    }
    LSTATUS EnumValue(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                      DWORD* dataBytes) override {
        return RegEnumValueW(key, index, name, nameChars, nullptr, type, data, dataBytes);
    }
    void CloseKey(HKEY key) override { RegCloseKey(key); }
};

char FoldAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsFoldingAsciiLetters(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldAsciiLetter(*a) != FoldAsciiLetter(*b)) return false;
    }
    return *a == *b;
}

bool IsAnyDomainEntry(const WCHAR* name) { return name[0] == OLESTR('*') && name[1] == OLESTR('\0'); }

// Whether the value name, converted to 8-bit text, equals the text. A name that
// does not fit the entry buffer matches nothing.
bool ConvertedNameMatches(const WCHAR* name, const char* text) {
    char entry[kEntryCapacity];
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, entry, kEntryCapacity, nullptr, nullptr) <= 0) return false;
    return EqualsFoldingAsciiLetters(entry, text);
}

// The same answer without converting every name: ASCII converts to itself in
// every code page, so the name's ASCII characters are compared as they stand and
// most names are refused at their first characters. A name with any other
// character is converted whole.
bool NameMatches(const WCHAR* name, const char* text) {
    for (int i = 0;; ++i) {
        WCHAR c = name[i];
        if (c >= 0x80) return ConvertedNameMatches(name, text);
        if (FoldAsciiLetter(static_cast<char>(c)) != FoldAsciiLetter(text[i])) return false;
        if (c == 0) return i < kEntryCapacity;
    }
}

// A character with bit 5 set: letters equal without regard to case are then equal,
// and so is everything else that is equal. Characters that differ so cannot match.
WCHAR WithCaseBit(WCHAR c) { return static_cast<WCHAR>(c | 0x20); }

// The text's first two characters as RefusedAtStart compares them.
struct TextStart {
    explicit TextStart(const char* text)
        : first(WithCaseBit(static_cast<unsigned char>(text[0]))),
          second(text[0] == '\0' ? WithCaseBit(0) : WithCaseBit(static_cast<unsigned char>(text[1]))) {}
    WCHAR first, second;
};

// Whether a name certainly differs from the text, judged by its first two characters
// (a list's names mostly differ from the text there: after the "@" of a domain).
// False for what must be compared whole: an empty name, "*", and names starting
// with other than ASCII.
bool RefusedAtStart(const WCHAR* name, TextStart text) {
    WCHAR first = name[0];
    if (first == 0 || first >= 0x80 || first == OLESTR('*')) return false;
    if (WithCaseBit(first) != text.first) return true;
    WCHAR second = name[1];  // the terminator at the least
    return second < 0x80 && WithCaseBit(second) != text.second;
}

// Compares every REG_SZ value of an open key with the text until one matches. A
// template so that the registry's own walk calls RegEnumValueW directly.
template <class Store>
bool AnyValueMatches(Store& store, HKEY key, const char* text, DWORD values, DWORD longestName, DWORD largestData) {
    auto name = std::make_unique<WCHAR[]>(std::size_t{longestName} + 1);
    auto data = std::make_unique<BYTE[]>(largestData);
    const TextStart start(text);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameChars = longestName + 1;
        DWORD dataBytes = largestData;
        DWORD type = REG_NONE;
        if (store.EnumValue(key, i, name.get(), &nameChars, &type, data.get(), &dataBytes) != ERROR_SUCCESS) {
            return false;
        }
        if (type != REG_SZ || RefusedAtStart(name.get(), start)) continue;
        if (IsAnyDomainEntry(name.get())) return true;
        if (NameMatches(name.get(), text)) return true;
    }
    return false;
}

// Closes the list key on every way out, exceptions included.
class OpenKeyGuard {
public:
    OpenKeyGuard(RuleStore& store, HKEY key) : store_(store), key_(key) {}
    ~OpenKeyGuard() { store_.CloseKey(key_); }
    OpenKeyGuard(const OpenKeyGuard&) = delete;
    OpenKeyGuard& operator=(const OpenKeyGuard&) = delete;

private:
    RuleStore& store_;
    HKEY key_;
};

}  // namespace

RuleStore& RegistryRuleStore() {
    static Registry registry;
    return registry;
}

LPCWSTR RuleListPath(int list) {
    if (list == kDisabledDomainsList) return OLESTR("Software\\Orlenby\\Pellicor\\ExtOOFdisabledDomains");
    if (list == kEnabledRecipientDomainsList)
        return OLESTR("Software\\Orlenby\\Pellicor\\ExtOOFenabledRecipientDomains");
    return OLESTR("Software\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses");
}

bool IsInRuleList(const char* text, int list, RuleStore& store) {
    HKEY key = nullptr;
    if (store.OpenKey(RuleListPath(list), &key) != ERROR_SUCCESS) return false;
    OpenKeyGuard guard(store, key);
    DWORD values = 0;
    DWORD longestName = 0;
    DWORD largestData = 0;
    if (store.QueryInfo(key, &values, &longestName, &largestData) != ERROR_SUCCESS) return false;
    if (&store == &RegistryRuleStore()) {
        return AnyValueMatches(static_cast<Registry&>(store), key, text, values, longestName, largestData);
    }
    return AnyValueMatches(store, key, text, values, longestName, largestData);
}

bool IsInRuleList(const char* text, int list) { return IsInRuleList(text, list, RegistryRuleStore()); }
