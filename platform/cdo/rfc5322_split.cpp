#include "rfc5322_split.h"

#include <cstring>

namespace platform::cdo {
namespace {

// A field name: one or more printable US-ASCII characters other than ':' (RFC 5322 3.6.8),
// then the colon. Whitespace before the colon is tolerated as obsolete syntax allows.
bool isFieldLine(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && line[i] >= 33 && line[i] <= 126 && line[i] != ':') ++i;
    if (i == 0) return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return i < line.size() && line[i] == ':';
}

bool isContinuation(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

bool isBlank(std::string_view line) { return line.empty() || line == "\r"; }

}  // namespace

std::optional<MessageParts> SplitMessage(std::string_view content) {
    size_t at = 0;
    bool sawField = false;
    while (at < content.size()) {
        const void* found = std::memchr(content.data() + at, '\n', content.size() - at);
        size_t end = found ? size_t(static_cast<const char*>(found) - content.data()) : content.size();
        size_t next = found ? end + 1 : end;
        std::string_view line = content.substr(at, end - at);
        if (isBlank(line) && found) {
            if (!sawField) return std::nullopt;
            return MessageParts{content.substr(0, at), content.substr(next)};
        }
        bool partOfHeader = isFieldLine(line) || (sawField && isContinuation(line));
        if (!partOfHeader) break;
        sawField = true;
        at = next;
    }
    if (!sawField) return std::nullopt;
    return MessageParts{content.substr(0, at), content.substr(at)};
}

}  // namespace platform::cdo
