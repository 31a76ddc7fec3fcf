// Automation strings: a 32-bit byte count, the UTF-16 characters, a terminator.
// The BSTR points at the first character, so the count sits 4 bytes before it.
#include <cstdlib>
#include <cstring>

#include "oleauto.h"

namespace {

constexpr size_t kPrefixBytes = sizeof(DWORD);

// The byte count must fit the 32-bit prefix, terminator included.
constexpr UINT kMaxChars = (0xFFFFFFFFu - kPrefixBytes - sizeof(OLECHAR)) / sizeof(OLECHAR);

DWORD* prefixOf(BSTR text) { return reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(text) - kPrefixBytes); }

}  // namespace

BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT chars) {
    if (chars > kMaxChars) return nullptr;
    size_t bytes = size_t(chars) * sizeof(OLECHAR);
    auto* block = static_cast<BYTE*>(std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    DWORD count = DWORD(bytes);
    std::memcpy(block, &count, kPrefixBytes);
    auto* result = reinterpret_cast<BSTR>(block + kPrefixBytes);
    if (text) std::memcpy(result, text, bytes);
    else std::memset(result, 0, bytes);
    result[chars] = 0;
    return result;
}

BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t chars = 0;
    while (text[chars]) ++chars;
    if (chars > kMaxChars) return nullptr;
    return SysAllocStringLen(text, UINT(chars));
}

void WINAPI SysFreeString(BSTR text) {
    if (text) std::free(prefixOf(text));
}

UINT WINAPI SysStringLen(BSTR text) {
    if (!text) return 0;
    DWORD bytes;
    std::memcpy(&bytes, prefixOf(text), kPrefixBytes);
    return bytes / sizeof(OLECHAR);
}
