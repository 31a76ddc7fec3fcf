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

// The mbox separator ("From sender date"): never a field, since no colon follows the name.
bool isMboxFromLine(std::string_view line) { return line.substr(0, 5) == "From " && !isFieldLine(line); }

}  // namespace

LineEnd DetectLineEnd(std::string_view content) {
    if (std::memchr(content.data(), '\n', content.size())) return LineEnd::Lf;
    return std::memchr(content.data(), '\r', content.size()) ? LineEnd::Cr : LineEnd::Lf;
}

std::string_view NextLine(std::string_view text, size_t& at, LineEnd lineEnd) {
    char end = lineEnd == LineEnd::Cr ? '\r' : '\n';
    const void* found = std::memchr(text.data() + at, end, text.size() - at);
    size_t stop = found ? size_t(static_cast<const char*>(found) - text.data()) : text.size();
    std::string_view line = text.substr(at, stop - at);
    at = found ? stop + 1 : stop;
    if (lineEnd == LineEnd::Lf && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::optional<MessageParts> SplitMessage(std::string_view content) {
    LineEnd lineEnd = DetectLineEnd(content);
    size_t start = 0;
    size_t probe = 0;
    if (isMboxFromLine(NextLine(content, probe, lineEnd))) start = probe;
    size_t at = start;
    bool sawField = false;
    while (at < content.size()) {
        size_t next = at;
        std::string_view line = NextLine(content, next, lineEnd);
        bool ended = next > at && content[next - 1] == (lineEnd == LineEnd::Cr ? '\r' : '\n');
        if (line.empty() && ended) {
            if (!sawField) return std::nullopt;
            return MessageParts{content.substr(start, at - start), content.substr(next), lineEnd};
        }
        bool partOfHeader = isFieldLine(line) || (sawField && isContinuation(line));
        if (!partOfHeader) break;
        sawField = true;
        at = next;
    }
    if (!sawField) return std::nullopt;
    return MessageParts{content.substr(start, at - start), content.substr(at), lineEnd};
}

}  // namespace platform::cdo
