// The Sink object: the message event part, the cacheability part and the
// dispatch part (ISink), answering the interfaces of its interface table. A
// plain Sink counts its own references; an aggregated one lives in a wrapper
// with its own IUnknown and sends the parts' IUnknown calls to the outer object.
#pragma once
#include "atlbase.h"
#include "pellicor_interfaces.h"
#include "seo.h"
#include "smtpevent.h"

class SinkParts : public IMailTransportOnPostCategorize, public IEventIsCacheable, public ISink {
public:
    // The message event: judges the message; always S_OK.
    STDMETHOD(OnMessagePostCategorize)(IMailMsgProperties* message, IMailTransportNotify* notify,
                                       PVOID context) override;
    // S_OK: the caller may keep this object for later events.
    STDMETHOD(IsCacheable)() override { return S_OK; }

    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHOD(Invoke)(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

    // Looks `riid` up in the interface table (IUnknown gives the dispatch part).
    HRESULT InternalQueryInterface(REFIID riid, void** ppv);
};

// The class table's object creator: a plain Sink without an outer object, the
// aggregated form with one. The new object answers `riid` into `ppv`.
HRESULT WINAPI CreateSinkInstance(void* outer, REFIID riid, LPVOID* ppv);
