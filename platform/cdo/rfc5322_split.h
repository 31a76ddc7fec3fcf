// Finds where an RFC 5322 message's header section ends and its body begins.
#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

namespace platform::cdo {

struct MessageParts {
    std::string_view header;  // the header fields, up to and including the last field's line end
    std::string_view body;    // everything after the blank line (or after the last field line)
};

// The header section is the run of field lines ("name:" with a printable name) and
// their folded continuations at the start of `content`. It ends at a blank line
// (CRLF or bare LF), at the first line that is neither, or at the end of content.
// Returns nothing when the content does not start with a field line.
std::optional<MessageParts> SplitMessage(std::string_view content);

}  // namespace platform::cdo
