// Header text as a person reads it: RFC 2047 encoded words decoded to UTF-8.
#pragma once
#include <string>
#include <string_view>

namespace platform::smtp {

// `text` (an unfolded unstructured value such as a Subject) with every encoded word
// ("=?charset?B|Q?...?=") decoded to UTF-8; white space between two encoded words
// is dropped (RFC 2047 6.2). A word that cannot be decoded is kept as written.
std::string DecodeHeaderText(std::string_view text);

}  // namespace platform::smtp
