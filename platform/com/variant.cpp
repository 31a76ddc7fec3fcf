// Variants: clearing frees what the variant owns (a string, an object reference).
#include "oaidl.h"

#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)

void WINAPI VariantInit(VARIANT* v) {
    if (!v) return;
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    // Arrays (SAFEARRAY) are not supported; refuse rather than leak or free wrongly.
    if ((v->vt & VT_ARRAY) && !(v->vt & VT_BYREF)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        switch (v->vt) {
        case VT_BSTR: SysFreeString(v->bstrVal); break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (v->punkVal) v->punkVal->Release();
            break;
        default: break;
        }
    }
    v->vt = VT_EMPTY;
    return S_OK;
}
