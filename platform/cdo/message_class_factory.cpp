// The Message class's factory: one per process, never destroyed, so its count only
// tells the runtime whether it is in use.
#include <new>

#include "message.h"

namespace platform::cdo {
namespace {

class MessageFactory final : public IClassFactory {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++references_); }
    STDMETHOD_(ULONG, Release)() override { return ULONG(--references_); }

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* message = new (std::nothrow) Message;
        if (!message) return E_OUTOFMEMORY;
        message->AddRef();
        HRESULT hr = message->QueryInterface(riid, ppv);
        message->Release();  // destroys the object when the interface was refused
        return hr;
    }
    STDMETHOD(LockServer)(BOOL) override { return S_OK; }

private:
    std::atomic<LONG> references_{1};
};

}  // namespace

IClassFactory* MessageClassFactory() {
    static MessageFactory* factory = new MessageFactory;
    factory->AddRef();
    return factory;
}

}  // namespace platform::cdo
