// A substitute mail message for the sink's tests: content, string and DWORD
// properties, a property range per GUID and a recipient list, with every result
// the sink depends on open to change and a count of what was called.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "mailmsg.h"

class FakeMailMessage final : public IMailMsgProperties, public IMailMsgPropertyManagement, public IMailMsgRecipients {
public:
    static constexpr DWORD kRangeStart = 0x8000;
    static constexpr HRESULT kMissing = HRESULT(0x80030002);  // STG_E_FILENOTFOUND

    explicit FakeMailMessage(std::string content = "") : content(std::move(content)) {}

    // What the message holds.
    std::string content;
    std::map<DWORD, std::string> strings;
    std::map<DWORD, DWORD> dwords;
    std::vector<std::string> recipients;

    // Results to hand back instead of the normal ones (S_OK means "behave normally").
    HRESULT contentSizeResult = S_OK;
    HRESULT readContentResult = S_OK;
    HRESULT writeContentResult = S_OK;
    HRESULT setContentSizeResult = S_OK;
    HRESULT commitResult = S_OK;
    HRESULT managementQueryResult = S_OK;
    HRESULT allocRangeResult = S_OK;
    HRESULT recipientsQueryResult = S_OK;
    HRESULT countResult = S_OK;
    HRESULT recipientReadResult = S_OK;
    // Bytes a single read content call delivers at most (0: no limit).
    DWORD readLimit = 0;

    // What was called.
    std::atomic<LONG> references{1};
    int readContentCalls = 0;
    int stringReads = 0;
    int putDwordCalls = 0;
    int recipientReads = 0;

    void MarkOutOfOffice(const std::string& text = "ExOOF") { strings[kRangeStart + 27] = text; }
    void SetSender(const std::string& address) { strings[IMMPID_MP_SENDER_ADDRESS_SMTP] = address; }
    // A marked out-of-office reply from `sender` to `recipient`.
    void MakeReply(const std::string& sender = "ooo@away.example",
                   const std::string& recipient = "friend@home.example") {
        SetSender(sender);
        MarkOutOfOffice();
        recipients = {recipient};
    }
    bool Condemned() const {
        auto status = dwords.find(IMMPID_MP_MESSAGE_STATUS);
        return status != dwords.end() && status->second == MP_STATUS_ABORT_DELIVERY;
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMailMsgProperties)) {
            *ppv = static_cast<IMailMsgProperties*>(this);
        } else if (IsEqualIID(riid, IID_IMailMsgPropertyManagement)) {
            if (managementQueryResult != S_OK) return managementQueryResult;
            *ppv = static_cast<IMailMsgPropertyManagement*>(this);
        } else if (IsEqualIID(riid, IID_IMailMsgRecipients) || IsEqualIID(riid, IID_IMailMsgRecipientsBase)) {
            if (recipientsQueryResult != S_OK) return recipientsQueryResult;
            *ppv = static_cast<IMailMsgRecipients*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    // Owned by the test: the count is checked, the object never deletes itself.
    STDMETHOD_(ULONG, Release)() override { return --references; }

    STDMETHOD(Commit)(IMailMsgNotify*) override { return commitResult; }
    STDMETHOD(GetStringA)(DWORD id, DWORD capacity, LPSTR value) override {
        ++stringReads;
        return CopyString(strings, id, capacity, value);
    }
    STDMETHOD(PutDWORD)(DWORD id, DWORD value) override {
        ++putDwordCalls;
        dwords[id] = value;
        return S_OK;
    }
    STDMETHOD(GetContentSize)(DWORD* size, IMailMsgNotify*) override {
        *size = static_cast<DWORD>(content.size());
        return contentSizeResult;
    }
    STDMETHOD(ReadContent)(DWORD offset, DWORD length, DWORD* count, BYTE* block, IMailMsgNotify*) override {
        ++readContentCalls;
        if (FAILED(readContentResult)) return readContentResult;
        DWORD available = offset < content.size() ? static_cast<DWORD>(content.size()) - offset : 0;
        DWORD n = std::min(length, available);
        if (readLimit != 0) n = std::min(n, readLimit);
        if (n > 0) std::memcpy(block, content.data() + offset, n);
        *count = n;
        return readContentResult;
    }
    STDMETHOD(WriteContent)(DWORD offset, DWORD length, DWORD* count, BYTE* block, IMailMsgNotify*) override {
        if (FAILED(writeContentResult)) return writeContentResult;
        if (content.size() < std::size_t{offset} + length) content.resize(std::size_t{offset} + length);
        std::memcpy(content.data() + offset, block, length);
        *count = length;
        return writeContentResult;
    }
    STDMETHOD(SetContentSize)(DWORD size, IMailMsgNotify*) override {
        if (FAILED(setContentSizeResult)) return setContentSizeResult;
        content.resize(size);
        return setContentSizeResult;
    }

    STDMETHOD(AllocPropIDRange)(REFGUID, DWORD, DWORD* start) override {
        *start = kRangeStart;
        return allocRangeResult;
    }

    STDMETHOD(Count)(DWORD* count) override {
        *count = static_cast<DWORD>(recipients.size());
        return countResult;
    }
    STDMETHOD(GetStringA)(DWORD index, DWORD id, DWORD capacity, LPSTR value) override {
        ++recipientReads;
        if (FAILED(recipientReadResult)) return recipientReadResult;
        if (index >= recipients.size() || id != IMMPID_RP_ADDRESS_SMTP) return kMissing;
        return CopyString({{id, recipients[index]}}, id, capacity, value);
    }

#define FAKE_UNUSED(name, ...) \
    STDMETHOD(name)(__VA_ARGS__) override { return E_NOTIMPL; }
    FAKE_UNUSED(PutProperty, DWORD, DWORD, BYTE*)
    FAKE_UNUSED(GetProperty, DWORD, DWORD, DWORD*, BYTE*)
    FAKE_UNUSED(PutStringA, DWORD, LPCSTR)
    FAKE_UNUSED(PutStringW, DWORD, LPCWSTR)
    FAKE_UNUSED(GetStringW, DWORD, DWORD, LPWSTR)
    FAKE_UNUSED(GetDWORD, DWORD, DWORD*)
    FAKE_UNUSED(PutBool, DWORD, DWORD)
    FAKE_UNUSED(GetBool, DWORD, DWORD*)
    FAKE_UNUSED(CopyContentToFile, PFIO_CONTEXT, IMailMsgNotify*)
    FAKE_UNUSED(CopyContentToFileEx, PFIO_CONTEXT, BOOL, IMailMsgNotify*)
    FAKE_UNUSED(ForkForRecipients, IMailMsgProperties**, IMailMsgRecipientsAdd**)
    FAKE_UNUSED(CopyContentToFileAtOffset, PFIO_CONTEXT, DWORD, IMailMsgNotify*)
    FAKE_UNUSED(RebindAfterFork, IMailMsgProperties*, IUnknown*)
    FAKE_UNUSED(MapContent, BOOL, BYTE**, DWORD*)
    FAKE_UNUSED(UnmapContent, BYTE*)
    FAKE_UNUSED(Item, DWORD, DWORD, DWORD, LPSTR)
    FAKE_UNUSED(PutProperty, DWORD, DWORD, DWORD, BYTE*)
    FAKE_UNUSED(GetProperty, DWORD, DWORD, DWORD, DWORD*, BYTE*)
    FAKE_UNUSED(PutStringA, DWORD, DWORD, LPCSTR)
    FAKE_UNUSED(PutStringW, DWORD, DWORD, LPCWSTR)
    FAKE_UNUSED(GetStringW, DWORD, DWORD, DWORD, LPWSTR)
    FAKE_UNUSED(PutDWORD, DWORD, DWORD, DWORD)
    FAKE_UNUSED(GetDWORD, DWORD, DWORD, DWORD*)
    FAKE_UNUSED(PutBool, DWORD, DWORD, DWORD)
    FAKE_UNUSED(GetBool, DWORD, DWORD, DWORD*)
    FAKE_UNUSED(Commit, DWORD, IMailMsgNotify*)
    FAKE_UNUSED(DomainCount, DWORD*)
    FAKE_UNUSED(DomainItem, DWORD, DWORD, LPSTR, DWORD*, DWORD*)
    FAKE_UNUSED(AllocNewList, IMailMsgRecipientsAdd**)
    FAKE_UNUSED(WriteList, IMailMsgRecipientsAdd*)
    FAKE_UNUSED(SetNextDomain, DWORD, DWORD, DWORD)
    FAKE_UNUSED(InitializeRecipientFilterContext, LPRECIPIENT_FILTER_CONTEXT, DWORD, DWORD, DWORD)
    FAKE_UNUSED(TerminateRecipientFilterContext, LPRECIPIENT_FILTER_CONTEXT)
    FAKE_UNUSED(GetNextRecipient, LPRECIPIENT_FILTER_CONTEXT, DWORD*)
#undef FAKE_UNUSED

private:
    // Like the transport: the value and its terminator must fit the capacity.
    static HRESULT CopyString(const std::map<DWORD, std::string>& values, DWORD id, DWORD capacity, LPSTR out) {
        auto found = values.find(id);
        if (found == values.end()) return kMissing;
        if (found->second.size() + 1 > capacity) return HRESULT(0x8007007A);  // ERROR_INSUFFICIENT_BUFFER
        std::memcpy(out, found->second.c_str(), found->second.size() + 1);
        return S_OK;
    }
};
