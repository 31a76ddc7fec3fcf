// UTF-8 <-> UTF-16 for the platform layer's own use (the registry stores names as
// UTF-8 and hands them out as UTF-16). Malformed input becomes U+FFFD; nothing fails.
#pragma once
#include <string>
#include <string_view>

namespace platform {

std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);

}  // namespace platform
