// Upper case one UTF-16 unit at a time, by the C library's Unicode table.
// Surrogates and characters whose upper case needs more than one unit stay.
#include <locale.h>
#include <wctype.h>

#include "winuser.h"

namespace {

locale_t unicodeLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

WCHAR upper(WCHAR c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<WCHAR>(c - ('a' - 'A')) : c;
    if ((c >= 0xD800 && c <= 0xDFFF) || unicodeLocale() == static_cast<locale_t>(0)) return c;
    wint_t folded = towupper_l(static_cast<wint_t>(c), unicodeLocale());
    return folded <= 0xFFFF ? static_cast<WCHAR>(folded) : c;
}

}  // namespace

EXTERN_C DWORD WINAPI CharUpperBuffW(LPWSTR text, DWORD length) {
    if (!text) return 0;
    for (DWORD i = 0; i < length; ++i) text[i] = upper(text[i]);
    return length;
}
