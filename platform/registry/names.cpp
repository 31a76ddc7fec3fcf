#include "names.h"

#include "utf.h"
#include "winuser.h"

namespace platform::registry {

std::u16string widen(std::string_view utf8) { return Utf16FromUtf8(utf8); }

std::string narrow(std::u16string_view utf16) { return Utf8FromUtf16(utf16); }

std::string folded(std::u16string_view name) {
    // ASCII, as most names are, is its own UTF-8: fold it in place.
    std::string ascii(name.size(), '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c >= 0x80) {
            std::u16string up(name);
            CharUpperBuffW(up.data(), static_cast<DWORD>(up.size()));
            return narrow(up);
        }
        ascii[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
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
