// The dispatch part of a Sink: IDispatch answered from the type information of
// ISink in the registered type library.
#include "sink.h"
#include "sink_type_info.h"

HRESULT SinkParts::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

// There is one type information, whatever the index.
HRESULT SinkParts::GetTypeInfo(UINT, LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    HRESULT hr = LoadSinkTypeInfo(lcid);
    ITypeInfo* loaded = SinkTypeInfo();
    if (!loaded) return hr;
    loaded->AddRef();
    *info = loaded;
    return S_OK;
}

HRESULT SinkParts::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    if (count > 0 && (!names || !ids)) return E_POINTER;
    return SinkIDsOfNames(names, count, lcid, ids);
}

HRESULT SinkParts::Invoke(DISPID member, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) {
    HRESULT hr = LoadSinkTypeInfo(lcid);
    ITypeInfo* info = SinkTypeInfo();
    if (!info) return hr;
    return info->Invoke(static_cast<ISink*>(this), member, flags, params, result, exception, argError);
}
