// An IStream over one mail message's content, so that the message component can
// load the message from the transport. A thin adapter: reads and writes go
// straight to the mail message at the current position; nothing is buffered.
// Moves backwards or past the end are refused; transactions, region locks and
// cloning are not offered.
#pragma once
#include "mailmsg.h"
#include "objidl.h"

class MessageContentStream : public IStream {
public:
    // Holds a reference to `message` until the last Release. The count starts at
    // 0: the creator takes the first reference. Not valid when `message` is null.
    explicit MessageContentStream(IMailMsgProperties* message);

    bool IsValid() const { return valid_; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) override;
    STDMETHOD(CopyTo)(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
    STDMETHOD(Commit)(DWORD grfCommitFlags) override;
    STDMETHOD(Revert)() override;
    STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) override;
    STDMETHOD(Clone)(IStream** ppstm) override;

    // After the interface operations in the table; only the last Release calls it.
    virtual ~MessageContentStream();

    MessageContentStream(const MessageContentStream&) = delete;
    MessageContentStream& operator=(const MessageContentStream&) = delete;

private:
    DWORD RecordedSize() const { return stat_.cbSize.u.LowPart; }

    LONG refCount_ = 0;
    bool valid_ = false;
    IMailMsgProperties* message_ = nullptr;
    DWORD position_ = 0;
    // cbSize's low half is the only record of the content's length; it grows
    // with writes past the end and follows SetSize.
    STATSTG stat_{};
};
