#include "reg_file.h"

#include <cstring>

#include "utf.h"
#include "winreg.h"

namespace pellicor::reg {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr size_t kMaxKeyLevel = 255;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kLineWidth = 80;

std::string BytesOf(std::u16string_view s) {
    std::string out(s.size() * 2, '\0');
    for (size_t i = 0; i < s.size(); ++i) {
        out[2 * i] = static_cast<char>(s[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(s[i] >> 8);
    }
    return out;
}

std::u16string UnitsOf(std::string_view bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

// The line (from 1) of the first UTF-16 surrogate without its partner, or 0.
size_t LoneSurrogateLine(std::u16string_view units) {
    size_t line = 1;
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t c = units[i];
        if (c == u'\n') ++line;
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return line;
        }
    }
    return 0;
}

// The file as UTF-8 text, whatever it was written in. A lone surrogate would turn
// into U+FFFD on the way, so it is refused instead.
bool DecodeFile(std::string_view bytes, std::string& text, std::string& error) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units = UnitsOf(bytes.substr(2));
        if (size_t line = LoneSurrogateLine(units)) {
            error = "line " + std::to_string(line) + ": the text has a UTF-16 surrogate without its partner";
            return false;
        }
        text = platform::Utf8FromUtf16(units);
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }
    return true;
}

// Whether the line is UTF-8 that converts to UTF-16 unchanged: no stray or
// overlong sequences, no surrogates, nothing past U+10FFFF.
bool ValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > s.size()) return false;
        uint32_t point = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A quoted string at s[pos] ('"' there); unescapes \\ and \". Returns false if unterminated.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size()) c = s[++pos];
        out += c;
    }
    return false;
}

bool ParseHexBytes(std::string_view text, std::string& out) {
    out.clear();
    text = Trim(text);
    if (text.empty()) return true;
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        int high = pos < text.size() ? HexDigit(text[pos]) : -1;
        int low = pos + 1 < text.size() ? HexDigit(text[pos + 1]) : -1;
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        pos += 2;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos == text.size()) return true;
        if (text[pos] != ',') return false;
        ++pos;
        if (Trim(text.substr(pos)).empty()) return true;  // a trailing comma
    }
}

class Parser {
public:
    Parser(std::vector<std::string> lines, std::vector<RegFileKey>& keys) : lines_(std::move(lines)), keys_(keys) {}

    bool Run(std::string& error) {
        for (size_t i = 0; i < lines_.size(); ++i) {
            // A NUL would cut a name short and bad UTF-8 would become U+FFFD: refuse both.
            std::string where = "line " + std::to_string(i + 1) + ": ";
            if (lines_[i].find('\0') != std::string::npos) return Fail(error, where + "the text has a NUL character");
            if (!ValidUtf8(lines_[i])) return Fail(error, where + "the text is not valid UTF-8");
        }
        if (!Header())
            return Fail(error, "not a registry file (the first line must be \"" + std::string(kHeader5) + "\")");
        while (next_ < lines_.size()) {
            size_t number = next_ + 1;
            std::string_view line = Trim(lines_[next_++]);
            if (line.empty() || line.front() == ';') continue;
            std::string problem;
            bool ok = line.front() == '[' ? KeyLine(line, problem) : ValueLine(line, problem);
            if (!ok) return Fail(error, "line " + std::to_string(number) + ": " + problem);
        }
        return true;
    }

private:
    bool Fail(std::string& error, const std::string& reason) {
        error = reason;
        return false;
    }

    bool Header() {
        while (next_ < lines_.size() && Trim(lines_[next_]).empty()) ++next_;
        if (next_ == lines_.size()) return false;
        std::string_view first = Trim(lines_[next_++]);
        unicode_ = first == kHeader5;
        return unicode_ || first == kHeader4;
    }

    bool KeyLine(std::string_view line, std::string& problem) {
        if (line.back() != ']') return (problem = "a key line must end with \"]\""), false;
        line = line.substr(1, line.size() - 2);
        RegFileKey key;
        if (!line.empty() && line.front() == '-') {
            key.remove = true;
            line.remove_prefix(1);
        }
        key.path = platform::Utf16FromUtf8(line);
        if (key.path.empty() || key.path.front() == u'\\') return (problem = "the key name is empty"), false;
        size_t start = 0;
        while (start <= key.path.size()) {
            size_t end = key.path.find(u'\\', start);
            if (end == std::u16string::npos) end = key.path.size();
            if (end - start > kMaxKeyLevel) return (problem = "a key name is longer than 255 characters"), false;
            if (end == start && end != key.path.size()) return (problem = "the key path has an empty level"), false;
            start = end + 1;
        }
        keys_.push_back(std::move(key));
        return true;
    }

    bool ValueLine(std::string_view line, std::string& problem) {
        if (keys_.empty()) return (problem = "a value comes before any key"), false;
        RegFileValue value;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            std::string name;
            if (!ReadQuoted(line, pos, name)) return (problem = "the value name has no closing quote"), false;
            value.name = platform::Utf16FromUtf8(name);
            if (value.name.size() > kMaxValueName)
                return (problem = "a value name is longer than 16383 characters"), false;
            if (value.name.empty()) return (problem = "write the default value as @, not \"\""), false;
        } else {
            return (problem = "expected a key in [brackets], a quoted value name or @"), false;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') return (problem = "expected \"=\" after the value name"), false;
        std::string data(Trim(line.substr(pos + 1)));
        if (!ValueData(data, value, problem)) return false;
        if (keys_.back().remove) return (problem = "a value under a key that is being deleted"), false;
        keys_.back().values.push_back(std::move(value));
        return true;
    }

    bool ValueData(std::string& data, RegFileValue& value, std::string& problem) {
        if (data == "-") {
            value.remove = true;
            return true;
        }
        if (!data.empty() && data.front() == '"') {
            size_t pos = 0;
            std::string text;
            if (!ReadQuoted(data, pos, text) || !Trim(std::string_view(data).substr(pos)).empty())
                return (problem = "the string has no closing quote or text after it"), false;
            value.type = REG_SZ;
            value.data = BytesOf(platform::Utf16FromUtf8(text) + u'\0');
            return true;
        }
        if (data.rfind("dword:", 0) == 0) {
            std::string_view digits = Trim(std::string_view(data).substr(6));
            if (digits.empty() || digits.size() > 8) return (problem = "dword: needs 1 to 8 hex digits"), false;
            uint32_t number = 0;
            for (char c : digits) {
                int d = HexDigit(c);
                if (d < 0) return (problem = "dword: needs 1 to 8 hex digits"), false;
                number = number * 16 + static_cast<uint32_t>(d);
            }
            value.type = REG_DWORD;
            value.data.assign(reinterpret_cast<const char*>(&number), 4);
            return true;
        }
        if (data.rfind("hex", 0) == 0) return HexData(data, value, problem);
        return (problem = "unknown value data (expected \"text\", dword:, hex: or -)"), false;
    }

    bool HexData(std::string& data, RegFileValue& value, std::string& problem) {
        size_t colon = data.find(':');
        if (colon == std::string::npos) return (problem = "hex data needs a \":\""), false;
        std::string_view kind = std::string_view(data).substr(0, colon);
        value.type = REG_BINARY;
        if (kind != "hex") {
            if (kind.size() < 6 || kind.substr(0, 4) != "hex(" || kind.back() != ')' || kind.size() > 13)
                return (problem = "expected hex: or hex(type):"), false;
            uint32_t type = 0;
            for (char c : kind.substr(4, kind.size() - 5)) {
                int d = HexDigit(c);
                if (d < 0) return (problem = "the type in hex(type) must be hexadecimal"), false;
                type = type * 16 + static_cast<uint32_t>(d);
            }
            value.type = type;
        }
        std::string bytes = data.substr(colon + 1);
        // Continued lines: a backslash at the end joins the next line.
        while (!Trim(bytes).empty() && Trim(bytes).back() == '\\') {
            std::string_view kept = Trim(bytes);
            bytes = std::string(kept.substr(0, kept.size() - 1));
            if (next_ >= lines_.size()) return (problem = "the data continues past the end of the file"), false;
            bytes += Trim(lines_[next_++]);
        }
        if (!ParseHexBytes(bytes, value.data))
            return (problem = "hex data must be two-digit bytes separated by commas"), false;
        if (!unicode_ && (value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ)) {
            value.data = BytesOf(platform::Utf16FromUtf8(value.data));  // 8-bit text in the old format
        }
        return true;
    }

    std::vector<std::string> lines_;
    std::vector<RegFileKey>& keys_;
    size_t next_ = 0;
    bool unicode_ = true;
};

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// A string type's data that the quoted form holds exactly: UTF-16 ending in its
// only NUL. Zero bytes count as the empty string, as the platform shows them.
bool Quotable(std::string_view data, std::u16string& text) {
    if (data.empty()) {
        text.clear();
        return true;
    }
    if (data.size() % 2 != 0) return false;
    text = UnitsOf(data);
    if (text.back() != u'\0') return false;
    text.pop_back();
    return text.find(u'\0') == std::u16string::npos;
}

// "hex:01,02,..." continued with a backslash before the line passes 80 columns;
// `used` columns of the line are taken before the prefix.
std::string HexList(std::string_view prefix, std::string_view data, size_t used) {
    static const char digits[] = "0123456789abcdef";
    std::string out(prefix);
    size_t lineStart = 0;
    size_t taken = used;
    for (size_t i = 0; i < data.size(); ++i) {
        auto b = static_cast<unsigned char>(data[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if (i + 1 == data.size()) break;
        out += ',';
        if (taken + out.size() - lineStart >= kLineWidth - 4) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
            taken = 0;
        }
    }
    return out;
}

std::string FormatData(DWORD type, std::string_view data, size_t used) {
    std::u16string text;
    if (type == REG_SZ && Quotable(data, text)) return "\"" + Escaped(platform::Utf8FromUtf16(text)) + "\"";
    if (type == REG_DWORD && data.size() == 4) {
        uint32_t number;
        std::memcpy(&number, data.data(), 4);
        char buffer[16];
        snprintf(buffer, sizeof buffer, "dword:%08x", number);
        return buffer;
    }
    if (type == REG_BINARY) return HexList("hex:", data, used);
    char prefix[24];
    snprintf(prefix, sizeof prefix, "hex(%x):", type);
    return HexList(prefix, data, used);
}

}  // namespace

bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& keys, std::string& error) {
    keys.clear();
    std::string text;
    if (!DecodeFile(bytes, text, error)) return false;
    Parser parser(SplitLines(text), keys);
    return parser.Run(error);
}

std::string WriteRegFile(const std::vector<RegFileKey>& keys) {
    std::string text = std::string(kHeader5) + "\r\n\r\n";
    for (const auto& key : keys) {
        text += key.remove ? "[-" : "[";
        text += platform::Utf8FromUtf16(key.path) + "]\r\n";
        for (const auto& value : key.values) {
            std::string line = value.name.empty() ? "@=" : "\"" + Escaped(platform::Utf8FromUtf16(value.name)) + "\"=";
            text += line + (value.remove ? "-" : FormatData(value.type, value.data, line.size())) + "\r\n";
        }
        text += "\r\n";
    }
    return "\xFF\xFE" + BytesOf(platform::Utf16FromUtf8(text));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace pellicor::reg
