// Both supported code pages (CP_ACP and CP_UTF8) are UTF-8. Malformed input
// becomes U+FFFD, or fails with MB_ERR_INVALID_CHARS; unpaired surrogates become "?".
#include <cstring>
#include <string>

#include "utf.h"
#include "winbase.h"

namespace {

bool supported(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Decodes one code point at bytes[i]; returns false on a malformed sequence
// (then i has moved past the first byte only).
bool decodeUtf8(const unsigned char* bytes, size_t length, size_t& i, char32_t& out) {
    unsigned char lead = bytes[i++];
    if (lead < 0x80) {
        out = lead;
        return true;
    }
    int extra;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, out = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, out = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, out = lead & 0x07, min = 0x10000;
    } else {
        return false;
    }
    size_t start = i;
    for (int k = 0; k < extra; ++k) {
        if (i >= length || (bytes[i] & 0xC0) != 0x80) {
            i = start;
            return false;
        }
        out = (out << 6) | (bytes[i++] & 0x3F);
    }
    if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) {
        i = start;
        return false;
    }
    return true;
}

// Writes c as UTF-8 at out (which has room for 4 bytes) and returns the byte count.
size_t encodeUtf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Both conversions run in one pass straight into the caller's buffer (or only
// count when it gives none): the sink converts every rule name it compares.
// A target that turns out too small fails with nothing written past its end.

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceBytes, LPWSTR target, int targetChars) {
    if (!supported(codePage) || source == nullptr || sourceBytes == 0 || sourceBytes < -1 || targetChars < 0) return 0;
    if (targetChars > 0 && target == nullptr) return 0;
    size_t length = sourceBytes == -1 ? std::char_traits<char>::length(source) + 1 : static_cast<size_t>(sourceBytes);
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    size_t capacity = static_cast<size_t>(targetChars);
    size_t count = 0;
    for (size_t i = 0; i < length;) {
        char32_t c;
        if (!decodeUtf8(bytes, length, i, c)) {
            if (flags & MB_ERR_INVALID_CHARS) return 0;
            c = 0xFFFD;
        }
        size_t units = c >= 0x10000 ? 2 : 1;
        if (capacity > 0) {
            if (count + units > capacity) return 0;
            if (units == 2) {
                c -= 0x10000;
                target[count] = static_cast<char16_t>(0xD800 + (c >> 10));
                target[count + 1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
            } else {
                target[count] = static_cast<char16_t>(c);
            }
        }
        count += units;
    }
    return static_cast<int>(count);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWCH source, int sourceChars, LPSTR target, int targetBytes, LPCCH,
                        BOOL* usedDefaultChar) {
    if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
    if (!supported(codePage) || source == nullptr || sourceChars == 0 || sourceChars < -1 || targetBytes < 0) return 0;
    if (targetBytes > 0 && target == nullptr) return 0;
    size_t capacity = static_cast<size_t>(targetBytes);
    size_t i = 0;
    // A terminated ASCII text (the usual rule name or address) is copied in one
    // tight pass; the general loop below takes over at the first other character.
    if (sourceChars == -1) {
        for (; i < capacity && source[i] < 0x80; ++i) {
            target[i] = static_cast<char>(source[i]);
            if (source[i] == 0) return static_cast<int>(i + 1);
        }
    }
    size_t length =
        sourceChars == -1 ? i + std::char_traits<char16_t>::length(source + i) + 1 : static_cast<size_t>(sourceChars);
    size_t count = i;
    for (; i < length; ++i) {
        char32_t c = source[i];
        if (c < 0x80 && count < capacity) {  // the common case: ASCII into room
            target[count++] = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (source[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
            if (usedDefaultChar != nullptr) *usedDefaultChar = TRUE;
        }
        char encoded[4];
        size_t n = encodeUtf8(c, encoded);
        if (capacity > 0) {
            if (count + n > capacity) return 0;
            std::memcpy(target + count, encoded, n);
        }
        count += n;
    }
    return static_cast<int>(count);
}

namespace platform {

std::u16string Utf16FromUtf8(std::string_view utf8) {
    // Never more UTF-16 units than UTF-8 bytes: converted in place, invalid bytes
    // becoming U+FFFD as in MultiByteToWideChar.
    std::u16string out(utf8.size(), u'\0');
    if (utf8.empty()) return out;
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                                static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
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
        char encoded[4];
        out.append(encoded, encodeUtf8(c, encoded));
    }
    return out;
}

}  // namespace platform
