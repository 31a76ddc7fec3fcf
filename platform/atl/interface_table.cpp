// QueryInterface over an interface table of (interface, offset of its part) rows.
#include "atlbase.h"

HRESULT AtlInternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (!pThis || !pEntries || !pEntries->piid) return E_INVALIDARG;
    // The first row's part is the object's identity.
    if (IsEqualIID(iid, IID_IUnknown)) {
        auto* part = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(pThis) + pEntries->dw);
        part->AddRef();
        *ppvObject = part;
        return S_OK;
    }
    for (const _ATL_INTMAP_ENTRY* entry = pEntries; entry->pFunc; ++entry) {
        if (!entry->piid || !IsEqualIID(*entry->piid, iid)) continue;
        if (entry->pFunc != _ATL_SIMPLEMAPENTRY) return entry->pFunc(pThis, iid, ppvObject, entry->dw);
        auto* part = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(pThis) + entry->dw);
        part->AddRef();
        *ppvObject = part;
        return S_OK;
    }
    return E_NOINTERFACE;
}
