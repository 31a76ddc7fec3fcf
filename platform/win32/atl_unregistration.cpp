// Server unregistration for the module library on Windows. ATL.DLL exports
// AtlModuleUnregisterServerEx, but Wine's ATL.DLL answers it with success and
// does nothing, so this module carries its own, with the documented behaviour:
// each class (or only pCLSID) applies its registry update with "unregister",
// then the module's type library is unregistered. Linked into the DLL ahead of
// the import library, it takes the import's place.
#include <windows.h>
#include <oleauto.h>

#include "atlbase.h"

namespace {

HRESULT UnregisterModuleTypeLib(_ATL_MODULE* pM) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(pM->m_hInstTypeLib, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    return hr;
}

}  // namespace

ATLAPI AtlModuleUnregisterServerEx(_ATL_MODULE* pM, BOOL bUnRegTypeLib, const CLSID* pCLSID) {
    if (!pM) return E_INVALIDARG;
    for (_ATL_OBJMAP_ENTRY* entry = pM->m_pObjMap; entry && entry->pclsid; ++entry) {
        if (pCLSID && !IsEqualCLSID(*pCLSID, *entry->pclsid)) continue;
        HRESULT hr = entry->pfnUpdateRegistry(FALSE);
        if (FAILED(hr)) return hr;
    }
    return bUnRegTypeLib ? UnregisterModuleTypeLib(pM) : S_OK;
}
