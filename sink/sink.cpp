#include "sink.h"

#include <cassert>
#include <new>

#include "message_event.h"
#include "sink_module.h"

namespace {

// Offset of an interface part from the start of the object.
template <class Part>
DWORD_PTR OffsetOfPart() {
    constexpr DWORD_PTR base = 8;  // any non-null address will do
    return reinterpret_cast<DWORD_PTR>(static_cast<Part*>(reinterpret_cast<SinkParts*>(base))) - base;
}

const _ATL_INTMAP_ENTRY* InterfaceTable() {
    static const _ATL_INTMAP_ENTRY table[] = {
        {&IID_ISink, OffsetOfPart<ISink>(), _ATL_SIMPLEMAPENTRY},
        {&IID_IMailTransportOnPostCategorize, OffsetOfPart<IMailTransportOnPostCategorize>(), _ATL_SIMPLEMAPENTRY},
        {&IID_IEventIsCacheable, OffsetOfPart<IEventIsCacheable>(), _ATL_SIMPLEMAPENTRY},
        {&IID_IDispatch, OffsetOfPart<ISink>(), _ATL_SIMPLEMAPENTRY},
        {nullptr, 0, nullptr},
    };
    return table;
}

// The reference count of a whole object, which is deleted with its last
// reference and holds the module lock while it lives.
template <class Object, class Interfaces>
class CountedObject : public Interfaces {
public:
    CountedObject() { LockModule(); }
    ~CountedObject() { UnlockModule(); }

    STDMETHOD_(ULONG, AddRef)() override { return ULONG(InterlockedIncrement(&refs_)); }
    STDMETHOD_(ULONG, Release)() override {
        LONG count = InterlockedDecrement(&refs_);
        assert(count >= 0 && "released more often than referenced");
        if (count == 0) delete static_cast<Object*>(this);
        return ULONG(count);
    }

private:
    LONG refs_ = 0;
};

class Sink final : public CountedObject<Sink, SinkParts> {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return InternalQueryInterface(riid, ppv); }
};

// The parts inside an aggregate: their IUnknown is the outer object's, held
// without a reference.
class ContainedSink final : public SinkParts {
public:
    explicit ContainedSink(IUnknown* outer) : outer_(outer) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        HRESULT hr = outer_->QueryInterface(riid, ppv);
        if (SUCCEEDED(hr) || outer_ == static_cast<ISink*>(this)) return hr;
        return InternalQueryInterface(riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return outer_->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return outer_->Release(); }

private:
    IUnknown* outer_;
};

class AggregatedSink final : public CountedObject<AggregatedSink, IUnknown> {
public:
    explicit AggregatedSink(IUnknown* outer) : contained_(outer) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!IsEqualIID(riid, IID_IUnknown)) return contained_.InternalQueryInterface(riid, ppv);
        if (!ppv) return E_POINTER;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }

private:
    ContainedSink contained_;
};

template <class Object>
HRESULT CreateAndQuery(Object* object, REFIID riid, LPVOID* ppv) {
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete object;  // never referenced: its count is still 0
    return hr;
}

}  // namespace

HRESULT SinkParts::OnMessagePostCategorize(IMailMsgProperties* message, IMailTransportNotify*, PVOID) {
    return HandleMessageEvent(message);
}

HRESULT SinkParts::InternalQueryInterface(REFIID riid, void** ppv) {
    return AtlInternalQueryInterface(this, InterfaceTable(), riid, ppv);
}

HRESULT WINAPI CreateSinkInstance(void* outer, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!outer) return CreateAndQuery(new (std::nothrow) Sink, riid, ppv);
    return CreateAndQuery(new (std::nothrow) AggregatedSink(static_cast<IUnknown*>(outer)), riid, ppv);
}
