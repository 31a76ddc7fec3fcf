// Text helpers of the registry: UTF-8 <-> UTF-16, case folding of key and value
// names, and splitting of backslash-separated key paths.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "winreg.h"

namespace platform::registry {

// The platform's limits, in UTF-16 units.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

// Malformed input becomes U+FFFD; nothing fails.
std::u16string widen(std::string_view utf8);
std::string narrow(std::u16string_view utf16);

// The form names are compared in: upper case, one UTF-16 unit for one, as the
// platform's registry compares them. Returned as UTF-8, the form stored beside a name.
std::string folded(std::u16string_view name);

// Whether values of the type hold UTF-16 text, which the 8-bit functions convert.
inline bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Splits "A\B\C" into its levels. A single trailing backslash is allowed; an empty
// level elsewhere or a level over 255 characters makes the path invalid (false).
bool splitKeyPath(std::u16string_view path, std::vector<std::u16string>& levels);

}  // namespace platform::registry
