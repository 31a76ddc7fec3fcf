#include "message_content_stream.h"

#include <memory>
#include <new>

#include "winbase.h"

MessageContentStream::MessageContentStream(IMailMsgProperties* message) {
    if (message == nullptr) return;
    message_ = message;
    message_->AddRef();
    // A size the message will not vouch for with S_OK is treated as empty.
    if (message_->GetContentSize(&stat_.cbSize.u.LowPart, nullptr) != S_OK) stat_.cbSize.u.LowPart = 0;
    GetSystemTimeAsFileTime(&stat_.ctime);
    valid_ = true;
}

MessageContentStream::~MessageContentStream() = default;

HRESULT MessageContentStream::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IStream)) return E_NOINTERFACE;
    *ppvObject = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
}

ULONG MessageContentStream::AddRef() { return InterlockedIncrement(&refCount_); }

ULONG MessageContentStream::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count != 0) return count;
    if (message_ != nullptr) message_->Release();
    delete this;
    return 0;
}

HRESULT MessageContentStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (message_ == nullptr) return E_UNEXPECTED;
    if (pcbRead == nullptr) return STG_E_INVALIDPOINTER;
    *pcbRead = 0;
    if (cb == 0 || RecordedSize() == 0 || position_ == RecordedSize()) return S_OK;
    // The message bounds the read; the length is not cut to the recorded size.
    HRESULT hr = message_->ReadContent(position_, cb, pcbRead, static_cast<BYTE*>(pv), nullptr);
    if (FAILED(hr)) return hr;
    position_ += *pcbRead;
    GetSystemTimeAsFileTime(&stat_.atime);
    return hr;
}

HRESULT MessageContentStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (message_ == nullptr) return E_UNEXPECTED;
    if (pcbWritten != nullptr) *pcbWritten = 0;
    if (cb == 0) return S_OK;
    DWORD written = 0;
    HRESULT hr = message_->WriteContent(position_, cb, &written, static_cast<BYTE*>(const_cast<void*>(pv)), nullptr);
    if (FAILED(hr)) return hr;
    position_ += written;
    if (position_ > RecordedSize()) stat_.cbSize.u.LowPart = position_;
    if (pcbWritten != nullptr) *pcbWritten = written;
    GetSystemTimeAsFileTime(&stat_.mtime);
    return hr;
}

HRESULT MessageContentStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) {
    if (message_ == nullptr) return E_UNEXPECTED;
    // Refuses every negative move and every move of 4 GiB or more.
    if (dlibMove.u.HighPart != 0) return STG_E_WRITEFAULT;
    DWORD move = dlibMove.u.LowPart;
    if (dwOrigin <= STREAM_SEEK_END) {
        DWORD target = move;
        if (dwOrigin == STREAM_SEEK_CUR) target = position_ + move;
        if (dwOrigin == STREAM_SEEK_END) target = RecordedSize() + move;
        if (target > RecordedSize()) return STG_E_WRITEFAULT;
        position_ = target;
    }
    if (plibNewPosition != nullptr) {
        plibNewPosition->u.HighPart = 0;
        plibNewPosition->u.LowPart = position_;
    }
    return S_OK;
}

HRESULT MessageContentStream::SetSize(ULARGE_INTEGER libNewSize) {
    if (message_ == nullptr) return E_UNEXPECTED;
    DWORD size = libNewSize.u.LowPart;
    HRESULT hr = message_->SetContentSize(size, nullptr);
    if (FAILED(hr)) return hr;
    stat_.cbSize.u.LowPart = size;
    if (position_ > size) position_ = size;
    return hr;
}

HRESULT MessageContentStream::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) {
    if (message_ == nullptr) return E_UNEXPECTED;
    if (pstm == nullptr) return STG_E_INVALIDPOINTER;
    // A read the message let run past the recorded size leaves nothing to copy.
    DWORD remaining = position_ < RecordedSize() ? RecordedSize() - position_ : 0;
    DWORD count = cb.u.LowPart < remaining ? cb.u.LowPart : remaining;
    DWORD read = 0;
    ULONG written = 0;
    HRESULT result = S_OK;
    if (count > 0) {
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[count]);
        if (buffer == nullptr) return E_OUTOFMEMORY;
        HRESULT hr = message_->ReadContent(position_, count, &read, buffer.get(), nullptr);
        if (FAILED(hr)) return hr;
        result = pstm->Write(buffer.get(), read, &written);
    }
    if (pcbRead != nullptr) pcbRead->QuadPart = read;
    if (pcbWritten != nullptr) pcbWritten->QuadPart = written;
    return result;
}

HRESULT MessageContentStream::Commit(DWORD) {
    if (message_ == nullptr) return E_UNEXPECTED;
    return message_->Commit(nullptr);
}

HRESULT MessageContentStream::Revert() { return E_NOTIMPL; }

HRESULT MessageContentStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }

// Region locks are refused alike, whichever way they are asked for.
HRESULT MessageContentStream::UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) {
    return LockRegion(libOffset, cb, dwLockType);
}

HRESULT MessageContentStream::Stat(STATSTG* pstatstg, DWORD) {
    if (pstatstg == nullptr) return STG_E_INVALIDPOINTER;
    *pstatstg = stat_;
    return S_OK;
}

HRESULT MessageContentStream::Clone(IStream**) { return E_NOTIMPL; }
