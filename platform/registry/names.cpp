#include "names.h"

#include <clocale>
#include <cwctype>

#include <locale.h>

#include "utf.h"

namespace platform::registry {

namespace {

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

std::u16string widen(std::string_view utf8) { return Utf16FromUtf8(utf8); }

std::string narrow(std::u16string_view utf16) { return Utf8FromUtf16(utf16); }

std::string folded(std::u16string_view name) {
    // ASCII, as most names are, is its own UTF-8: fold it in place.
    std::string ascii(name.size(), '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c >= 0x80) {
            std::u16string up(name);
            for (auto& u : up) u = upper(u);
            return narrow(up);
        }
        ascii[i] = static_cast<char>(upper(c));
    }
    return ascii;
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
