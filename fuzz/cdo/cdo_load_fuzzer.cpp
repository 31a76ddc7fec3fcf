// The message component's loading from arbitrary bytes. The first byte picks how
// many bytes each Read delivers and whether Stat tells the truth about the size.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "message.h"
#include "oleauto.h"

namespace {

class BytesStream final : public IStream {
public:
    BytesStream(const uint8_t* data, size_t size, ULONG chunk, bool understate)
        : data_(data), size_(size), chunk_(chunk), understate_(understate) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IStream) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++references_); }
    STDMETHOD_(ULONG, Release)() override { return ULONG(--references_); }
    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) override {
        size_t count = std::min<size_t>({cb, chunk_, size_ - position_});
        if (count) std::memcpy(pv, data_ + position_, count);
        position_ += count;
        *pcbRead = ULONG(count);
        return S_OK;
    }
    STDMETHOD(Write)(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        if (origin != STREAM_SEEK_SET || move.QuadPart != 0) return STG_E_WRITEFAULT;
        position_ = 0;
        if (newPosition) newPosition->QuadPart = 0;
        return S_OK;
    }
    STDMETHOD(SetSize)(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHOD(CopyTo)(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(Commit)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Revert)() override { return E_NOTIMPL; }
    STDMETHOD(LockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stat)(STATSTG* stat, DWORD) override {
        *stat = STATSTG{};
        stat->cbSize.QuadPart = understate_ ? size_ / 2 : size_;
        return S_OK;
    }
    STDMETHOD(Clone)(IStream**) override { return E_NOTIMPL; }

    LONG references() const { return references_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    ULONG chunk_;
    bool understate_;
    LONG references_ = 1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ULONG chunk = (data[0] & 0x7F) ? (data[0] & 0x7F) : 0xFFFFFFFFu;
    bool understate = data[0] & 0x80;
    BytesStream stream(data + 1, size - 1, chunk, understate);

    auto* message = new platform::cdo::Message;
    message->AddRef();
    IDataSource* source = nullptr;
    static_cast<IMessage*>(message)->get_DataSource(&source);
    BSTR name = SysAllocString(u"IStream");
    HRESULT hr = source->OpenObject(&stream, name);
    SysFreeString(name);
    source->Release();

    if (stream.references() != 1) std::abort();  // every reference taken is given back
    if (SUCCEEDED(hr)) {
        // The parts are the content, in order, without gaps beyond the blank line.
        std::string_view header = message->Header();
        std::string_view body = message->Body();
        if (header.empty() || header.size() + body.size() > size - 1) std::abort();
        if (std::memcmp(header.data(), data + 1, header.size()) != 0) std::abort();
        if (std::memcmp(body.data(), data + size - body.size(), body.size()) != 0) std::abort();
    }
    message->Release();
    return 0;
}
