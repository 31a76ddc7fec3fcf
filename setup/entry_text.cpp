#include "entry_text.h"

#include <windows.h>

namespace {

// One code point from UTF-8 at i, moving i past it; a malformed byte reads as
// U+FFFD, as the registry reads it.
char32_t NextCodePoint(std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += length;
    return c;
}

// Upper case, one character for one, the way the registry folds value names.
char32_t Fold(char32_t c) {
    if (c > 0xFFFF) return c;
    WCHAR unit = static_cast<WCHAR>(c);
    CharUpperBuffW(&unit, 1);
    return unit;
}

}  // namespace

int CompareEntries(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = Fold(NextCodePoint(a, i));
        char32_t y = Fold(NextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i == a.size() && j == b.size()) return 0;
    return i == a.size() ? -1 : 1;
}

std::string RemoveCharacters(std::string_view text, std::string_view removed) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (removed.find(c) == std::string_view::npos) kept.push_back(c);
    }
    return kept;
}

std::string_view TrimTrailingSpaces(std::string_view text) {
    size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string_view TrimSpaces(std::string_view text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    return TrimTrailingSpaces(text.substr(begin));
}
