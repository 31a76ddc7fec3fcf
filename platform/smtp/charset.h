// Converting text in a MIME charset (RFC 2978 names, as encoded words carry them)
// to UTF-8. On Linux glibc's iconv does it; the Windows build uses the system's
// code pages (MultiByteToWideChar), which have no iconv.
#pragma once
#include <string>
#include <string_view>

namespace platform::smtp {

// Appends `bytes`, written in `charset`, to `utf8` as UTF-8. False, with `utf8`
// unchanged, when the charset is unknown or the bytes are not valid in it.
bool AppendAsUtf8(std::string_view charset, std::string_view bytes, std::string& utf8);

}  // namespace platform::smtp
