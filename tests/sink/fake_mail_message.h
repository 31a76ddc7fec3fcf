// A substitute mail message for the sink's tests: content, string and DWORD
// properties, a property range per GUID and a recipient list, with every result
// the sink depends on open to change and a count of what was called. It also
// plays the message component (IMessage, IDataSource): its data source reads the
// whole source stream as the component does (Stat, Seek to the start, Read to the end).
#pragma once
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cdosys.h"
#include "mailmsg.h"
#include "oleauto.h"

class FakeMailMessage final : public IMailMsgProperties,
                              public IMailMsgPropertyManagement,
                              public IMailMsgRecipients,
                              public IMessage,
                              public IDataSource {
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
    HRESULT contentSizeResult = S_OK, readContentResult = S_OK, writeContentResult = S_OK;
    HRESULT setContentSizeResult = S_OK, commitResult = S_OK;
    HRESULT managementQueryResult = S_OK, allocRangeResult = S_OK;
    HRESULT recipientsQueryResult = S_OK, countResult = S_OK, recipientReadResult = S_OK;
    // As the message component.
    HRESULT dataSourceResult = S_OK, openResult = S_OK;
    bool dataSourceNull = false, answersMessage = true;
    // Bytes a single read content call delivers at most (0: no limit).
    DWORD readLimit = 0;

    // What was called.
    std::atomic<LONG> references{1};
    int readContentCalls = 0, stringReads = 0, putDwordCalls = 0, recipientReads = 0;
    std::string interfaceName, loaded;  // what the component's OpenObject was given

    void MarkOutOfOffice(const std::string& text = "ExOOF") { strings[kRangeStart + 27] = text; }
    void SetSender(const std::string& address) { strings[IMMPID_MP_SENDER_ADDRESS_SMTP] = address; }
    // A marked out-of-office reply from `sender` to friend@home.example.
    void MakeReply(const std::string& sender = "ooo@away.example") {
        SetSender(sender);
        MarkOutOfOffice();
        recipients = {"friend@home.example"};
    }
    bool Condemned() const {
        auto status = dwords.find(IMMPID_MP_MESSAGE_STATUS);
        return status != dwords.end() && status->second == MP_STATUS_ABORT_DELIVERY;
    }

    // The message component factory: hands out `current` as the component.
    static inline FakeMailMessage* current = nullptr;
    static HRESULT Create(IUnknown** component) {
        *component = static_cast<IMessage*>(current);
        current->AddRef();
        return S_OK;
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
        } else if (IsEqualIID(riid, IID_IDispatch) || (IsEqualIID(riid, IID_IMessage) && answersMessage)) {
            *ppv = static_cast<IMessage*>(this);
        } else if (IsEqualIID(riid, IID_IDataSource)) {
            *ppv = static_cast<IDataSource*>(this);
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

    STDMETHOD(get_DataSource)(IDataSource** dataSource) override {
        *dataSource = nullptr;
        if (FAILED(dataSourceResult) || dataSourceNull) return dataSourceResult;
        *dataSource = static_cast<IDataSource*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD(OpenObject)(IUnknown* source, BSTR name) override {
        interfaceName.assign(name, name + SysStringLen(name));
        IStream* stream = nullptr;
        if (FAILED(source->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream)))) return E_NOINTERFACE;
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        char chunk[512];
        ULONG count = 0;
        loaded.clear();
        while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &count)) && count > 0) loaded.append(chunk, count);
        stream->Release();
        return openResult;
    }

    // Like the transport: the value and its terminator must fit the capacity.
    static HRESULT CopyString(const std::map<DWORD, std::string>& values, DWORD id, DWORD capacity, LPSTR out) {
        auto found = values.find(id);
        if (found == values.end()) return kMissing;
        if (found->second.size() + 1 > capacity) return HRESULT(0x8007007A);  // ERROR_INSUFFICIENT_BUFFER
        std::memcpy(out, found->second.c_str(), found->second.size() + 1);
        return S_OK;
    }

    // Not used by the sink: each answers E_NOTIMPL.
#define FAKE_UNUSED(name, ...) \
    STDMETHOD(name)(__VA_ARGS__) override { return E_NOTIMPL; }
#define FAKE_PROPERTY(name, type) FAKE_UNUSED(get_##name, type*) FAKE_UNUSED(put_##name, type)
    // clang-format off
    FAKE_UNUSED(PutProperty, DWORD, DWORD, BYTE*) FAKE_UNUSED(GetProperty, DWORD, DWORD, DWORD*, BYTE*)
    FAKE_UNUSED(PutStringA, DWORD, LPCSTR) FAKE_UNUSED(PutStringW, DWORD, LPCWSTR)
    FAKE_UNUSED(GetStringW, DWORD, DWORD, LPWSTR) FAKE_UNUSED(GetDWORD, DWORD, DWORD*)
    FAKE_UNUSED(PutBool, DWORD, DWORD) FAKE_UNUSED(GetBool, DWORD, DWORD*)
    FAKE_UNUSED(CopyContentToFile, PFIO_CONTEXT, IMailMsgNotify*)
    FAKE_UNUSED(CopyContentToFileEx, PFIO_CONTEXT, BOOL, IMailMsgNotify*)
    FAKE_UNUSED(ForkForRecipients, IMailMsgProperties**, IMailMsgRecipientsAdd**)
    FAKE_UNUSED(CopyContentToFileAtOffset, PFIO_CONTEXT, DWORD, IMailMsgNotify*)
    FAKE_UNUSED(RebindAfterFork, IMailMsgProperties*, IUnknown*)
    FAKE_UNUSED(MapContent, BOOL, BYTE**, DWORD*) FAKE_UNUSED(UnmapContent, BYTE*)

    FAKE_UNUSED(Item, DWORD, DWORD, DWORD, LPSTR) FAKE_UNUSED(PutProperty, DWORD, DWORD, DWORD, BYTE*)
    FAKE_UNUSED(GetProperty, DWORD, DWORD, DWORD, DWORD*, BYTE*) FAKE_UNUSED(PutStringA, DWORD, DWORD, LPCSTR)
    FAKE_UNUSED(PutStringW, DWORD, DWORD, LPCWSTR) FAKE_UNUSED(GetStringW, DWORD, DWORD, DWORD, LPWSTR)
    FAKE_UNUSED(PutDWORD, DWORD, DWORD, DWORD) FAKE_UNUSED(GetDWORD, DWORD, DWORD, DWORD*)
    FAKE_UNUSED(PutBool, DWORD, DWORD, DWORD) FAKE_UNUSED(GetBool, DWORD, DWORD, DWORD*)
    FAKE_UNUSED(Commit, DWORD, IMailMsgNotify*) FAKE_UNUSED(DomainCount, DWORD*)
    FAKE_UNUSED(DomainItem, DWORD, DWORD, LPSTR, DWORD*, DWORD*) FAKE_UNUSED(AllocNewList, IMailMsgRecipientsAdd**)
    FAKE_UNUSED(WriteList, IMailMsgRecipientsAdd*) FAKE_UNUSED(SetNextDomain, DWORD, DWORD, DWORD)
    FAKE_UNUSED(InitializeRecipientFilterContext, LPRECIPIENT_FILTER_CONTEXT, DWORD, DWORD, DWORD)
    FAKE_UNUSED(TerminateRecipientFilterContext, LPRECIPIENT_FILTER_CONTEXT)
    FAKE_UNUSED(GetNextRecipient, LPRECIPIENT_FILTER_CONTEXT, DWORD*)

    FAKE_UNUSED(GetTypeInfoCount, UINT*) FAKE_UNUSED(GetTypeInfo, UINT, LCID, ITypeInfo**)
    FAKE_UNUSED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    FAKE_UNUSED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    FAKE_PROPERTY(BCC, BSTR) FAKE_PROPERTY(CC, BSTR) FAKE_PROPERTY(FollowUpTo, BSTR) FAKE_PROPERTY(From, BSTR)
    FAKE_PROPERTY(Keywords, BSTR) FAKE_PROPERTY(MimeFormatted, VARIANT_BOOL) FAKE_PROPERTY(Newsgroups, BSTR)
    FAKE_PROPERTY(Organization, BSTR) FAKE_UNUSED(get_ReceivedTime, DATE*) FAKE_PROPERTY(ReplyTo, BSTR)
    FAKE_PROPERTY(DSNOptions, CdoDSNOptions) FAKE_UNUSED(get_SentOn, DATE*) FAKE_PROPERTY(Subject, BSTR)
    FAKE_PROPERTY(To, BSTR) FAKE_PROPERTY(TextBody, BSTR) FAKE_PROPERTY(HTMLBody, BSTR)
    FAKE_UNUSED(get_Attachments, IBodyParts**) FAKE_PROPERTY(Sender, BSTR)
    FAKE_PROPERTY(Configuration, IConfiguration*) FAKE_UNUSED(putref_Configuration, IConfiguration*)
    FAKE_PROPERTY(AutoGenerateTextBody, VARIANT_BOOL) FAKE_UNUSED(get_EnvelopeFields, Fields**)
    FAKE_UNUSED(get_TextBodyPart, IBodyPart**) FAKE_UNUSED(get_HTMLBodyPart, IBodyPart**)
    FAKE_UNUSED(get_BodyPart, IBodyPart**) FAKE_UNUSED(get_Fields, Fields**) FAKE_PROPERTY(MDNRequested, VARIANT_BOOL)
    FAKE_UNUSED(AddRelatedBodyPart, BSTR, BSTR, CdoReferenceType, BSTR, BSTR, IBodyPart**)
    FAKE_UNUSED(AddAttachment, BSTR, BSTR, BSTR, IBodyPart**)
    FAKE_UNUSED(CreateMHTMLBody, BSTR, CdoMHTMLFlags, BSTR, BSTR) FAKE_UNUSED(Forward, IMessage**) FAKE_UNUSED(Post)
    FAKE_UNUSED(PostReply, IMessage**) FAKE_UNUSED(Reply, IMessage**) FAKE_UNUSED(ReplyAll, IMessage**)
    FAKE_UNUSED(Send) FAKE_UNUSED(GetStream, _Stream**) FAKE_UNUSED(GetInterface, BSTR, IDispatch**)

    FAKE_UNUSED(get_SourceClass, BSTR*) FAKE_UNUSED(get_Source, IUnknown**) FAKE_PROPERTY(IsDirty, VARIANT_BOOL)
    FAKE_UNUSED(get_SourceURL, BSTR*) FAKE_UNUSED(get_ActiveConnection, _Connection**)
    FAKE_UNUSED(SaveToObject, IUnknown*, BSTR) FAKE_UNUSED(Save)
    FAKE_UNUSED(SaveTo, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum, BSTR, BSTR)
    FAKE_UNUSED(Open, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum, BSTR, BSTR)
    FAKE_UNUSED(SaveToContainer, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum,
                BSTR, BSTR)
    // clang-format on
#undef FAKE_PROPERTY
#undef FAKE_UNUSED
};
