#include "header_text.h"

#include "charset.h"

namespace platform::smtp {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// RFC 2047 4.1; padding and stray characters are forgiven, as readers do.
bool decodeBase64(std::string_view text, std::string& out) {
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        int value = base64Value(c);
        if (value < 0) return false;
        bits = (bits << 6) | unsigned(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(char((bits >> count) & 0xFF));
        }
    }
    return true;
}

// RFC 2047 4.2: "_" is a space, "=XX" a byte.
bool decodeQ(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=') {
            if (i + 2 >= text.size()) return false;
            int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) return false;
            out.push_back(char(high * 16 + low));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return true;
}

// The encoded word at the start of `text`: its length, and its text appended to `out`;
// 0 (and `out` unchanged) when none starts there or it does not decode.
size_t decodeWord(std::string_view text, std::string& out) {
    if (text.substr(0, 2) != "=?") return 0;
    size_t charsetEnd = text.find('?', 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?') return 0;
    size_t end = text.find("?=", charsetEnd + 3);
    if (end == std::string_view::npos) return 0;
    std::string_view charset = text.substr(2, charsetEnd - 2);
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
    char encoding = text[charsetEnd + 1];
    std::string_view payload = text.substr(charsetEnd + 3, end - charsetEnd - 3);
    std::string bytes;
    bool decoded = (encoding == 'B' || encoding == 'b')   ? decodeBase64(payload, bytes)
                   : (encoding == 'Q' || encoding == 'q') ? decodeQ(payload, bytes)
                                                          : false;
    if (!decoded || !AppendAsUtf8(charset, bytes, out)) return 0;
    return end + 2;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string DecodeHeaderText(std::string_view text) {
    std::string out;
    if (text.find("=?") == std::string_view::npos) return std::string(text);
    size_t i = 0;
    bool afterWord = false;  // the last thing appended was an encoded word
    while (i < text.size()) {
        if (size_t used = decodeWord(text.substr(i), out)) {
            i += used;
            afterWord = true;
            continue;
        }
        if (afterWord && isSpace(text[i])) {
            size_t next = i;
            while (next < text.size() && isSpace(text[next])) ++next;
            std::string probe;
            if (next < text.size() && decodeWord(text.substr(next), probe)) {
                i = next;  // white space between encoded words is not part of the text
                continue;
            }
        }
        out.push_back(text[i++]);
        afterWord = false;
    }
    return out;
}

}  // namespace platform::smtp
