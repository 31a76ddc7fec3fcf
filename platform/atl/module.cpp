// The module record's services: start and end, the class table with its cached
// class factories, registration and the clean-up list.
#include <new>
#include <string>

#include "atlbase.h"
#include "libloaderapi.h"
#include "registration_script.h"
#include "utf.h"

namespace {

_ATL_OBJMAP_ENTRY* nextEntry(_ATL_OBJMAP_ENTRY* entry) { return entry + 1; }

bool selected(const _ATL_OBJMAP_ENTRY* entry, const CLSID* only) {
    return !only || IsEqualCLSID(*entry->pclsid, *only);
}

std::string narrow(LPCOLESTR text) { return text ? platform::Utf8FromUtf16(text) : std::string(); }

std::string modulePath(HMODULE module) {
    char path[4096];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

// The module's path with the type library index appended, as LoadTypeLib takes it.
std::u16string typeLibPath(_ATL_MODULE* pM, LPCOLESTR index) {
    OLECHAR path[4096];
    DWORD length = GetModuleFileNameW(pM->m_hInstTypeLib, path, 4096);
    std::u16string full(path, length);
    if (index) full += index;
    return full;
}

}  // namespace

HRESULT AtlModuleInit(_ATL_MODULE* pM, _ATL_OBJMAP_ENTRY* p, HINSTANCE h) {
    if (!pM) return E_INVALIDARG;
    pM->cbSize = sizeof(_ATL_MODULE);
    pM->m_hInst = pM->m_hInstResource = pM->m_hInstTypeLib = h;
    pM->m_pObjMap = p;
    pM->m_nLockCnt = 0;
    pM->m_hHeap = nullptr;
    pM->m_pTermFuncs = nullptr;
    InitializeCriticalSection(&pM->m_csTypeInfoHolder);
    InitializeCriticalSection(&pM->m_csWindowCreate);
    InitializeCriticalSection(&pM->m_csObjMap);
    for (_ATL_OBJMAP_ENTRY* entry = p; entry && entry->pclsid; entry = nextEntry(entry)) {
        entry->pCF = nullptr;
        if (entry->pfnObjectMain) entry->pfnObjectMain(true);
    }
    return S_OK;
}

HRESULT AtlModuleTerm(_ATL_MODULE* pM) {
    if (!pM) return E_INVALIDARG;
    for (_ATL_OBJMAP_ENTRY* entry = pM->m_pObjMap; entry && entry->pclsid; entry = nextEntry(entry)) {
        if (entry->pCF) entry->pCF->Release();
        entry->pCF = nullptr;
        if (entry->pfnObjectMain) entry->pfnObjectMain(false);
    }
    // Latest first: later clean-ups may rely on what earlier ones still hold.
    for (_ATL_TERMFUNC_ELEM* elem = pM->m_pTermFuncs; elem;) {
        elem->pFunc(elem->dw);
        _ATL_TERMFUNC_ELEM* next = elem->pNext;
        delete elem;
        elem = next;
    }
    pM->m_pTermFuncs = nullptr;
    DeleteCriticalSection(&pM->m_csTypeInfoHolder);
    DeleteCriticalSection(&pM->m_csWindowCreate);
    DeleteCriticalSection(&pM->m_csObjMap);
    return S_OK;
}

HRESULT AtlModuleAddTermFunc(_ATL_MODULE* pM, _ATL_TERMFUNC* pFunc, DWORD_PTR dw) {
    if (!pM || !pFunc) return E_INVALIDARG;
    auto* elem = new (std::nothrow) _ATL_TERMFUNC_ELEM{pFunc, dw, nullptr};
    if (!elem) return E_OUTOFMEMORY;
    EnterCriticalSection(&pM->m_csObjMap);
    elem->pNext = pM->m_pTermFuncs;
    pM->m_pTermFuncs = elem;
    LeaveCriticalSection(&pM->m_csObjMap);
    return S_OK;
}

HRESULT AtlModuleGetClassObject(_ATL_MODULE* pM, REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!pM) return E_INVALIDARG;
    for (_ATL_OBJMAP_ENTRY* entry = pM->m_pObjMap; entry && entry->pclsid; entry = nextEntry(entry)) {
        if (!IsEqualCLSID(*entry->pclsid, rclsid) || !entry->pfnGetClassObject) continue;
        HRESULT hr = S_OK;
        EnterCriticalSection(&pM->m_csObjMap);
        if (!entry->pCF)
            hr = entry->pfnGetClassObject(reinterpret_cast<void*>(entry->pfnCreateInstance), IID_IUnknown,
                                          reinterpret_cast<LPVOID*>(&entry->pCF));
        LeaveCriticalSection(&pM->m_csObjMap);
        if (FAILED(hr)) return hr;
        return entry->pCF->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT AtlModuleRegisterTypeLib(_ATL_MODULE* pM, LPCOLESTR lpszIndex) {
    if (!pM) return E_INVALIDARG;
    std::u16string path = typeLibPath(pM, lpszIndex);
    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLib(path.c_str(), &lib);
    if (FAILED(hr)) return hr;
    std::u16string file = typeLibPath(pM, nullptr);
    std::u16string dir = file.substr(0, file.find_last_of(u'/') + 1);
    return RegisterTypeLib(lib, path.c_str(), dir.c_str());
}

HRESULT AtlModuleUnRegisterTypeLib(_ATL_MODULE* pM, LPCOLESTR lpszIndex) {
    if (!pM) return E_INVALIDARG;
    std::u16string path = typeLibPath(pM, lpszIndex);
    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLib(path.c_str(), &lib);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    return hr;
}

HRESULT AtlModuleRegisterServer(_ATL_MODULE* pM, BOOL bRegTypeLib, const CLSID* pCLSID) {
    if (!pM) return E_INVALIDARG;
    for (_ATL_OBJMAP_ENTRY* entry = pM->m_pObjMap; entry && entry->pclsid; entry = nextEntry(entry)) {
        if (!selected(entry, pCLSID) || !entry->pfnUpdateRegistry) continue;
        HRESULT hr = entry->pfnUpdateRegistry(TRUE);
        if (FAILED(hr)) return hr;
        // The platform's module library asks every class of a full-size module
        // record for its component categories; categories are not supported here.
        if (entry->pfnGetCategoryMap && entry->pfnGetCategoryMap()) return E_NOTIMPL;
    }
    return bRegTypeLib ? AtlModuleRegisterTypeLib(pM, nullptr) : S_OK;
}

HRESULT AtlModuleUnregisterServerEx(_ATL_MODULE* pM, BOOL bUnRegTypeLib, const CLSID* pCLSID) {
    if (!pM) return E_INVALIDARG;
    for (_ATL_OBJMAP_ENTRY* entry = pM->m_pObjMap; entry && entry->pclsid; entry = nextEntry(entry)) {
        if (!selected(entry, pCLSID) || !entry->pfnUpdateRegistry) continue;
        HRESULT hr = entry->pfnUpdateRegistry(FALSE);
        if (FAILED(hr)) return hr;
    }
    return bUnRegTypeLib ? AtlModuleUnRegisterTypeLib(pM, nullptr) : S_OK;
}

HRESULT AtlModuleUnregisterServer(_ATL_MODULE* pM, const CLSID* pCLSID) {
    return AtlModuleUnregisterServerEx(pM, FALSE, pCLSID);
}

HRESULT AtlModuleUpdateRegistryFromResourceD(_ATL_MODULE* pM, LPCOLESTR lpszRes, BOOL bRegister,
                                             _ATL_REGMAP_ENTRY* pMapEntries, IUnknown* pReg) {
    if (!pM || !lpszRes) return E_INVALIDARG;
    HRSRC resource = FindResourceW(pM->m_hInstResource, lpszRes, u"REGISTRY");
    if (!resource) return HRESULT_FROM_WIN32(1813L);  // ERROR_RESOURCE_TYPE_NOT_FOUND
    auto* text = static_cast<const char*>(LockResource(LoadResource(pM->m_hInstResource, resource)));
    DWORD size = SizeofResource(pM->m_hInstResource, resource);

    platform::atl::Replacements replacements{{"MODULE", modulePath(pM->m_hInst)}};
    for (_ATL_REGMAP_ENTRY* map = pMapEntries; map && map->szKey; ++map)
        replacements[narrow(map->szKey)] = narrow(map->szData);

    platform::atl::Script script;
    std::string error;
    if (!platform::atl::ParseRegistrationScript(std::string_view(text, size), replacements, script, error))
        return DISP_E_EXCEPTION;
    return platform::atl::ApplyRegistrationScript(script, bRegister != FALSE);
}
