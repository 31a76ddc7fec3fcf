// Object creation and the runtime's small services. Everything runs in process:
// the runtime needs no initialisation, and a created object is already running.

#include "atlbase.h"
#include "class_table.h"
#include "objbase.h"

namespace {

constexpr DWORD kInProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

int hexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[at]; false if any is not a hex digit.
bool readHex(LPCOLESTR text, size_t at, int digits, uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = hexValue(text[at + i]);
        if (v < 0) return false;
        value = value << 4 | uint64_t(v);
    }
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", exactly 38 characters.
bool parseGuid(LPCOLESTR text, GUID& guid) {
    size_t length = 0;
    while (length < 39 && text[length]) ++length;
    if (length != 38 || text[0] != u'{' || text[37] != u'}') return false;
    if (text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-') return false;
    uint64_t v;
    if (!readHex(text, 1, 8, v)) return false;
    guid.Data1 = uint32_t(v);
    if (!readHex(text, 10, 4, v)) return false;
    guid.Data2 = uint16_t(v);
    if (!readHex(text, 15, 4, v)) return false;
    guid.Data3 = uint16_t(v);
    static constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text, kByteAt[i], 2, v)) return false;
        guid.Data4[i] = uint8_t(v);
    }
    return true;
}

}  // namespace

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) { return S_OK; }

void CoUninitialize() {}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, LPVOID serverInfo, REFIID iid, LPVOID* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!(clsContext & kInProcess)) return REGDB_E_CLASSNOTREG;
    CComPtr<IClassFactory> factory;
    HRESULT hr = platform::com::GetClassFactory(clsid, &factory);
    if (FAILED(hr)) return hr;
    return factory->QueryInterface(iid, result);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID iid, LPVOID* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!(clsContext & kInProcess)) return REGDB_E_CLASSNOTREG;
    CComPtr<IClassFactory> factory;
    HRESULT hr = platform::com::GetClassFactory(clsid, &factory);
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, iid, result);
    if (FAILED(hr)) *result = nullptr;
    return hr;
}

HRESULT OleRun(LPUNKNOWN object) {
    if (!object) return E_INVALIDARG;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    if (!clsid) return E_INVALIDARG;
    *clsid = GUID{};
    if (!text) return S_OK;  // a null string names the null class
    GUID parsed{};
    if (!parseGuid(text, parsed)) return CO_E_CLASSSTRING;
    *clsid = parsed;
    return S_OK;
}
