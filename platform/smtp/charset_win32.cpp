#include <windows.h>

#include <string>

#include "charset.h"
#include "message_headers.h"

namespace platform::smtp {
namespace {

struct CodePage {
    std::string_view name;
    UINT page;
};

// The charsets mail carries, by their IANA names and common aliases.
constexpr CodePage kCodePages[] = {
    {"utf-8", CP_UTF8},     {"us-ascii", 20127},    {"iso-8859-1", 28591},  {"latin1", 28591},
    {"iso-8859-2", 28592},  {"iso-8859-3", 28593},  {"iso-8859-4", 28594},  {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},  {"iso-8859-7", 28597},  {"iso-8859-8", 28598},  {"iso-8859-8-i", 38598},
    {"iso-8859-9", 28599},  {"iso-8859-13", 28603}, {"iso-8859-15", 28605}, {"windows-1250", 1250},
    {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253}, {"windows-1254", 1254},
    {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257}, {"windows-1258", 1258},
    {"koi8-r", 20866},      {"koi8-u", 21866},      {"shift_jis", 932},     {"cp932", 932},
    {"iso-2022-jp", 50220}, {"euc-jp", 20932},      {"gb2312", 936},        {"gbk", 936},
    {"gb18030", 54936},     {"big5", 950},          {"euc-kr", 51949},      {"ks_c_5601-1987", 949},
    {"iso-2022-kr", 50225}, {"tis-620", 874},       {"windows-874", 874},   {"utf-16", 1200},
    {"cp1252", 1252},       {"cp1251", 1251},       {"cp1250", 1250},       {"ibm850", 850},
};

}  // namespace

bool AppendAsUtf8(std::string_view charset, std::string_view bytes, std::string& utf8) {
    UINT page = 0;
    for (const CodePage& known : kCodePages)
        if (EqualsIgnoringCase(known.name, charset)) page = known.page;
    if (page == 0 || bytes.empty()) return page != 0;
    DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    int wide = MultiByteToWideChar(page, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    if (wide <= 0) return false;
    std::wstring text(size_t(wide), L'\0');
    MultiByteToWideChar(page, flags, bytes.data(), int(bytes.size()), text.data(), wide);
    int narrow = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return false;
    size_t kept = utf8.size();
    utf8.resize(kept + size_t(narrow));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data() + kept, narrow, nullptr, nullptr);
    return true;
}

}  // namespace platform::smtp
