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

size_t FindIgnoringCase(std::string_view text, std::string_view needle) {
    if (needle.empty()) return 0;
    char first = lower(needle[0]);
    for (size_t i = 0; i + needle.size() <= text.size(); ++i)
        if (lower(text[i]) == first && EqualsIgnoringCase(text.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

HeaderFieldReader::HeaderFieldReader(std::string_view content) {
    auto parts = platform::cdo::SplitMessage(content);
    if (!parts) return;
    header_ = parts->header;
    bareCr_ = parts->lineEnd == platform::cdo::LineEnd::Cr;
}

bool HeaderFieldReader::Next(HeaderField& field) {
    const auto lineEnd = bareCr_ ? platform::cdo::LineEnd::Cr : platform::cdo::LineEnd::Lf;
    while (at_ < header_.size()) {
        size_t lineStart = at_;
        std::string_view line = platform::cdo::NextLine(header_, at_, lineEnd);
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;  // a stray continuation: nothing to add it to
        // The value runs on over the folded lines that follow.
        size_t valueEnd = lineStart + line.size();
        while (at_ < header_.size() && (header_[at_] == ' ' || header_[at_] == '\t')) {
            size_t continuationStart = at_;
            std::string_view continuation = platform::cdo::NextLine(header_, at_, lineEnd);
            valueEnd = continuationStart + continuation.size();
        }
        field.name = trim(line.substr(0, colon));
        field.value = header_.substr(lineStart + colon + 1, valueEnd - lineStart - colon - 1);
        return true;
    }
    return false;
}

std::string Unfold(std::string_view rawValue) {
    std::string out;
    out.reserve(rawValue.size());
    for (char c : trim(rawValue))
        if (c != '\r' && c != '\n') out.push_back(c);
    return out;
}

std::optional<std::string> MessageHeaders::Get(std::string_view name) const {
    HeaderFieldReader reader(content_);
    HeaderField field;
    while (reader.Next(field))
        if (EqualsIgnoringCase(field.name, name)) return Unfold(field.value);
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
