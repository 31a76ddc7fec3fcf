#include <errno.h>
#include <iconv.h>

#include <string>

#include "charset.h"

namespace platform::smtp {
namespace {

// Names Outlook writes that glibc knows by their superset's name.
std::string iconvName(std::string_view charset) {
    struct Alias {
        std::string_view mail, iconv;
    };
    static constexpr Alias kAliases[] = {
        {"ks_c_5601-1987", "CP949"},
        {"gb2312", "GBK"},
        {"iso-8859-8-i", "ISO-8859-8"},
        {"x-sjis", "SHIFT_JIS"},
    };
    std::string name(charset);
    for (char& c : name) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    for (const Alias& alias : kAliases)
        if (name == alias.mail) return std::string(alias.iconv);
    return name;
}

}  // namespace

bool AppendAsUtf8(std::string_view charset, std::string_view bytes, std::string& utf8) {
    std::string name = iconvName(charset);
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == iconv_t(-1)) return false;
    size_t kept = utf8.size();
    utf8.resize(kept + bytes.size() * 4 + 8);  // UTF-8 needs at most 4 bytes per input byte
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* out = utf8.data() + kept;
    size_t outLeft = utf8.size() - kept;
    size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    // Flush the shift state of stateful charsets such as ISO-2022-JP.
    if (result != size_t(-1)) result = iconv(converter, nullptr, nullptr, &out, &outLeft);
    iconv_close(converter);
    if (result == size_t(-1)) {
        utf8.resize(kept);
        return false;
    }
    utf8.resize(size_t(out - utf8.data()));
    return true;
}

}  // namespace platform::smtp
