// An IStream over bytes in memory for the message component's tests, with a fault
// to inject per operation and the sink stream's rule that seeks only go forward
// within the size.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>

#include "objidl.h"

class MemoryStream final : public IStream {
public:
    explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)), statSize_(bytes_.size()) {}

    std::string bytes_;
    ULONGLONG statSize_;        // what Stat reports
    HRESULT statStatus = S_OK;  // forced results
    HRESULT seekStatus = S_OK;
    HRESULT readStatus = S_OK;
    ULONG readChunk = ~0u;  // most bytes one Read delivers
    int reads = 0;
    ULONG largestRead = 0;  // the most bytes one Read asked for
    LONG references = 1;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IStream) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++references); }
    STDMETHOD_(ULONG, Release)() override { return ULONG(--references); }

    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) override {
        ++reads;
        largestRead = std::max(largestRead, cb);
        *pcbRead = 0;
        if (FAILED(readStatus)) return readStatus;
        size_t count = std::min<size_t>({cb, readChunk, bytes_.size() - std::min(position_, bytes_.size())});
        std::memcpy(pv, bytes_.data() + position_, count);
        position_ += count;
        *pcbRead = ULONG(count);
        return S_OK;
    }
    STDMETHOD(Write)(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    // Forward only, within the reported size, like the transport's content stream.
    STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        if (FAILED(seekStatus)) return seekStatus;
        if (move.QuadPart < 0) return STG_E_WRITEFAULT;
        ULONGLONG base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? position_ : statSize_;
        ULONGLONG target = base + ULONGLONG(move.QuadPart);
        if (target > statSize_) return STG_E_WRITEFAULT;
        position_ = size_t(target);
        if (newPosition) newPosition->QuadPart = target;
        return S_OK;
    }
    STDMETHOD(SetSize)(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHOD(CopyTo)(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(Commit)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Revert)() override { return E_NOTIMPL; }
    STDMETHOD(LockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stat)(STATSTG* stat, DWORD) override {
        if (FAILED(statStatus)) return statStatus;
        *stat = STATSTG{};
        stat->cbSize.QuadPart = statSize_;
        return S_OK;
    }
    STDMETHOD(Clone)(IStream**) override { return E_NOTIMPL; }

private:
    size_t position_ = 0;
};
