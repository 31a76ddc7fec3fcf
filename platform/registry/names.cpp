#include "names.h"

#include <clocale>
#include <cwctype>

#include <locale.h>

namespace platform::registry {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One code point from utf8 at i, or U+FFFD for a malformed sequence (i then moves one byte).
char32_t decodeUtf8(std::string_view s, size_t& i) {
    auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    int extra;
    char32_t c, min;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, min = 0x10000;
    } else {
        return 0xFFFD;
    }
    size_t start = i;
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            i = start;
            return 0xFFFD;
        }
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        i = start;
        return 0xFFFD;
    }
    return c;
}

locale_t unicodeLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char16_t upper(char16_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xD800 && c <= 0xDFFF) return c;
    locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(0)) return c;
    auto u = towupper_l(static_cast<wint_t>(c), locale);
    return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

}  // namespace

std::u16string widen(std::string_view utf8) {
    // Never more UTF-16 units than UTF-8 bytes; filled in place, as this runs per
    // name when a key is read.
    std::u16string out(utf8.size(), u'\0');
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out[n++] = b;
            ++i;
            continue;
        }
        char32_t c = decodeUtf8(utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(c);
        }
    }
    out.resize(n);
    return out;
}

std::string narrow(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string folded(std::u16string_view name) {
    std::u16string up(name);
    for (auto& c : up) c = upper(c);
    return narrow(up);
}

bool splitKeyPath(std::u16string_view path, std::vector<std::u16string>& levels) {
    levels.clear();
    if (path.empty()) return true;
    if (path.back() == u'\\') path.remove_suffix(1);
    size_t start = 0;
    while (true) {
        size_t end = path.find(u'\\', start);
        std::u16string_view level = path.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (level.empty() || level.size() > kMaxKeyNameChars) return false;
        levels.emplace_back(level);
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

}  // namespace platform::registry
