#include "sink_type_info.h"

#include <atomic>
#include <new>
#include <string>

#include "atlbase.h"
#include "pellicor_interfaces.h"
#include "sink_module.h"

namespace {

struct CachedName {
    BSTR name = nullptr;
    UINT length = 0;
    DISPID id = DISPID_UNKNOWN;
};

struct TypeInfoHolder {
    const GUID* iid = &IID_ISink;
    const GUID* libid = &LIBID_PELLICORLib;
    WORD major = 1;
    WORD minor = 0;
    std::atomic<ITypeInfo*> info{nullptr};
    CachedName* names = nullptr;
    UINT nameCount = 0;
    bool cleanupAdded = false;  // guarded by the module's type-information lock
};

TypeInfoHolder holder;

void BuildNameCache(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return;
    UINT count = attr->cFuncs;
    holder.names = count ? new (std::nothrow) CachedName[count] : nullptr;
    holder.nameCount = holder.names ? count : 0;
    for (UINT i = 0; i < holder.nameCount; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc))) continue;
        BSTR name = nullptr;
        if (SUCCEEDED(info->GetDocumentation(desc->memid, &name, nullptr, nullptr, nullptr)) && name) {
            holder.names[i] = {name, SysStringLen(name), desc->memid};
        }
        info->ReleaseFuncDesc(desc);
    }
    info->ReleaseTypeAttr(attr);
}

void WINAPI CleanUp(DWORD_PTR) {
    if (ITypeInfo* info = holder.info.exchange(nullptr)) info->Release();
    for (UINT i = 0; i < holder.nameCount; ++i) SysFreeString(holder.names[i].name);
    delete[] holder.names;
    holder.names = nullptr;
    holder.nameCount = 0;
    holder.cleanupAdded = false;
}

HRESULT LoadLocked(LCID lcid) {
    CComPtr<ITypeLib> lib;
    HRESULT hr = LoadRegTypeLib(*holder.libid, holder.major, holder.minor, lcid, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = lib->GetTypeInfoOfGuid(*holder.iid, &info);
    if (SUCCEEDED(hr)) {
        ITypeInfo2* extended = nullptr;
        if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&extended)))) {
            info->Release();
            info = extended;
        }
        BuildNameCache(info);
        holder.info.store(info, std::memory_order_release);
    }
    return hr;
}

}  // namespace

HRESULT LoadSinkTypeInfo(LCID lcid) {
    if (holder.info.load(std::memory_order_acquire)) return S_OK;
    EnterCriticalSection(&_Module.m_csTypeInfoHolder);
    HRESULT hr = holder.info.load(std::memory_order_acquire) ? S_OK : LoadLocked(lcid);
    // One clean-up entry per process: appending one on every failed load would
    // grow the list without bound while the library stays unregistered.
    bool addCleanup = !holder.cleanupAdded;
    holder.cleanupAdded = true;
    LeaveCriticalSection(&_Module.m_csTypeInfoHolder);
    if (addCleanup) AtlModuleAddTermFunc(&_Module, CleanUp, 0);
    return hr;
}

ITypeInfo* SinkTypeInfo() { return holder.info.load(std::memory_order_acquire); }

HRESULT SinkIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    HRESULT hr = LoadSinkTypeInfo(lcid);
    ITypeInfo* info = SinkTypeInfo();
    if (!info) return hr;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
        UINT length = 0;
        while (names[i] && names[i][length]) ++length;
        bool hit = false;
        for (UINT n = holder.nameCount; n-- > 0 && !hit;) {
            const CachedName& entry = holder.names[n];
            if (!names[i] || !entry.name || entry.length != length) continue;
            if (std::char_traits<OLECHAR>::compare(entry.name, names[i], length) != 0) continue;
            ids[i] = entry.id;
            hit = true;
        }
        if (hit) continue;
        result = info->GetIDsOfNames(names, count, ids);
        if (FAILED(result)) break;
    }
    return result;
}
