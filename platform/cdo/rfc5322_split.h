// Finds where an RFC 5322 message's header section ends and its body begins.
#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

namespace platform::cdo {

// How a message's lines end. Mail on the wire ends them with CRLF and files on Unix
// with LF (both read as LF, a CR before it dropped); files saved on classic Mac OS
// end them with a bare CR, which counts only when the content has no LF at all, so
// that a stray CR inside a field received over SMTP never splits the field.
enum class LineEnd { Lf, Cr };

struct MessageParts {
    std::string_view header;  // the header fields, up to and including the last field's line end
    std::string_view body;    // everything after the blank line (or after the last field line)
    LineEnd lineEnd = LineEnd::Lf;
};

// The line ends `content` uses.
LineEnd DetectLineEnd(std::string_view content);

// The line of `text` starting at `at`, without its line end; `at` moves past the end.
std::string_view NextLine(std::string_view text, size_t& at, LineEnd lineEnd);

// The header section is the run of field lines ("name:" with a printable name) and
// their folded continuations at the start of `content`, after an mbox "From " line
// if the content starts with one (saved mailboxes do). It ends at a blank line, at
// the first line that is neither, or at the end of content. Returns nothing when
// the content does not start with a field line.
std::optional<MessageParts> SplitMessage(std::string_view content);

}  // namespace platform::cdo
