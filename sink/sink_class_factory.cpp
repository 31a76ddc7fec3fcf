#include "sink_class_factory.h"

#include <new>

#include "sink_module.h"

namespace {

class SinkClassFactory final : public IClassFactory {
public:
    explicit SinkClassFactory(_ATL_CREATORFUNC* creator) : creator_(creator) { InitializeCriticalSection(&lock_); }
    ~SinkClassFactory() { DeleteCriticalSection(&lock_); }
    SinkClassFactory(const SinkClassFactory&) = delete;
    SinkClassFactory& operator=(const SinkClassFactory&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }

    // The test for the second reference and the lock it takes stay together.
    STDMETHOD_(ULONG, AddRef)() override {
        EnterCriticalSection(&lock_);
        LONG count = InterlockedIncrement(&refs_);
        if (count == 2) LockModule();
        LeaveCriticalSection(&lock_);
        return ULONG(count);
    }

    STDMETHOD_(ULONG, Release)() override {
        EnterCriticalSection(&lock_);
        LONG count = InterlockedDecrement(&refs_);
        LeaveCriticalSection(&lock_);
        if (count == 0) delete this;
        else if (count == 1) UnlockModule();
        return ULONG(count);
    }

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return creator_(outer, riid, ppv);
    }

    STDMETHOD(LockServer)(BOOL lock) override {
        if (lock) LockModule();
        else UnlockModule();
        return S_OK;
    }

private:
    LONG refs_ = 0;
    CRITICAL_SECTION lock_;
    _ATL_CREATORFUNC* creator_;
};

}  // namespace

HRESULT WINAPI CreateSinkClassFactory(void* creator, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new (std::nothrow) SinkClassFactory(reinterpret_cast<_ATL_CREATORFUNC*>(creator));
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();  // hold it through the query
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}
