#include "message_headers.h"

#include "rfc5322_split.h"

namespace platform::smtp {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

// Text with (nested) comments removed, quoted strings kept.
std::string withoutComments(std::string_view text) {
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            if (depth == 0) out.append(text.substr(i, 2));
            ++i;
            continue;
        }
        if (!quoted && c == '(') {
            ++depth;
            continue;
        }
        if (!quoted && c == ')' && depth > 0) {
            --depth;
            continue;
        }
        if (depth > 0) continue;
        if (c == '"') quoted = !quoted;
        out.push_back(c);
    }
    return out;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

MessageHeaders::MessageHeaders(std::string_view content) {
    auto parts = platform::cdo::SplitMessage(content);
    if (!parts) return;
    std::string_view header = parts->header;
    while (!header.empty()) {
        size_t end = header.find('\n');
        std::string_view line = header.substr(0, end);
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (continuation) {
            if (!fields_.empty()) fields_.back().value.append(line);
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        fields_.push_back({std::string(trim(line.substr(0, colon))), std::string(line.substr(colon + 1))});
    }
}

std::optional<std::string> MessageHeaders::Get(std::string_view name) const {
    for (const Field& field : fields_)
        if (EqualsIgnoringCase(field.name, name)) return std::string(trim(field.value));
    return std::nullopt;
}

std::string MailboxAddress(std::string_view fieldValue) {
    std::string text = withoutComments(fieldValue);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') quoted = !quoted;
        if (quoted || c != '<') continue;
        size_t close = text.find('>', i + 1);
        if (close == std::string::npos) return std::string(trim(std::string_view(text).substr(i + 1)));
        return std::string(trim(std::string_view(text).substr(i + 1, close - i - 1)));
    }
    // No angle brackets: a bare address; of a list, the first one.
    std::string_view bare = text;
    size_t comma = bare.find(',');
    if (comma != std::string_view::npos) bare = bare.substr(0, comma);
    return std::string(trim(bare));
}

}  // namespace platform::smtp
