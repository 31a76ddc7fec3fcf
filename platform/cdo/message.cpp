#include "message.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "atlbase.h"
#include "rfc5322_split.h"

namespace platform::cdo {
namespace {

// The only source type offered: a stream, named as the component's callers name it.
bool isStreamName(BSTR name) { return name && std::basic_string_view<OLECHAR>(name) == OLESTR("IStream"); }

// A buffer that grows without zeroing what it is about to receive.
class ReadBuffer {
public:
    explicit ReadBuffer(size_t capacity) : data_(new char[capacity]), capacity_(capacity) {}

    char* free() { return data_.get() + used_; }
    size_t freeBytes() const { return capacity_ - used_; }
    void commit(size_t bytes) { used_ += bytes; }
    size_t used() const { return used_; }
    std::unique_ptr<char[]> take() { return std::move(data_); }

    // Doubles the capacity up to `limit`; false when already at it.
    bool grow(size_t limit) {
        if (capacity_ >= limit) return false;
        size_t bigger = std::min(limit, std::max<size_t>(capacity_ * 2, 4096));
        std::unique_ptr<char[]> data(new char[bigger]);
        std::copy_n(data_.get(), used_, data.get());
        data_ = std::move(data);
        capacity_ = bigger;
        return true;
    }

private:
    std::unique_ptr<char[]> data_;
    size_t capacity_;
    size_t used_ = 0;
};

}  // namespace

HRESULT Message::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IMessage) *ppv = static_cast<IMessage*>(this);
    else if (riid == IID_IDataSource) *ppv = static_cast<IDataSource*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG Message::AddRef() { return ULONG(++references_); }

ULONG Message::Release() {
    LONG left = --references_;
    if (left == 0) delete this;
    return ULONG(left);
}

HRESULT Message::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT Message::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT Message::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT Message::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }

HRESULT Message::get_DataSource(IDataSource** varDataSource) {
    if (!varDataSource) return E_POINTER;
    *varDataSource = static_cast<IDataSource*>(this);
    AddRef();
    return S_OK;
}

HRESULT Message::OpenObject(IUnknown* Source, BSTR InterfaceName) {
    if (!Source || !isStreamName(InterfaceName)) return E_INVALIDARG;
    CComPtr<IStream> stream;
    HRESULT hr = Source->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream));
    if (FAILED(hr)) return hr;
    if (!stream) return E_NOINTERFACE;
    try {
        return load(stream);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

constexpr size_t kFirstBufferLimit = size_t(64) << 20;

// Stat for the size, back to the start, then read until the stream has no more:
// the size is only the first guess at the buffer, the stream's end is what counts.
HRESULT Message::load(IStream* stream) {
    STATSTG stat{};
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER start{};
    hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;

    // The size is trusted only so far: a stream claiming gigabytes gets a buffer
    // that grows with what it really delivers.
    size_t expected = size_t(std::min<ULONGLONG>(stat.cbSize.QuadPart, kFirstBufferLimit));
    ReadBuffer buffer(expected + 1);  // one spare byte: the read that finds the end
    for (;;) {
        if (buffer.freeBytes() == 0 && !buffer.grow(kMaxContentBytes + 1)) return E_OUTOFMEMORY;
        ULONG want = ULONG(std::min<size_t>(buffer.freeBytes(), 0xFFFFFFFFu));
        ULONG got = 0;
        hr = stream->Read(buffer.free(), want, &got);
        if (FAILED(hr)) return hr;
        if (got > want) return E_UNEXPECTED;
        if (got == 0) break;
        buffer.commit(got);
    }

    size_t bytes = buffer.used();
    std::unique_ptr<char[]> content = buffer.take();
    auto parts = SplitMessage({content.get(), bytes});
    if (!parts) return kNotAMessage;
    content_ = std::move(content);
    contentBytes_ = bytes;
    headerOffset_ = size_t(parts->header.data() - content_.get());
    headerBytes_ = parts->header.size();
    bodyOffset_ = bytes - parts->body.size();
    loaded_ = true;
    return S_OK;
}

}  // namespace platform::cdo
