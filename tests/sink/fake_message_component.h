// A substitute for the message component: its data source reads the whole
// source stream the way the component does (Stat, Seek to the start, Read to the
// end), and every result the event operation depends on can be changed.
#pragma once
#include <atomic>
#include <string>

#include "cdosys.h"
#include "oleauto.h"

struct FakeComponentScript {
    HRESULT dataSourceResult = S_OK;
    bool dataSourceNull = false;
    HRESULT openResult = S_OK;
    bool answersMessage = true;
    // Keep the source stream until the component itself goes away.
    bool keepSource = false;

    // What happened.
    std::string interfaceName;
    std::string loaded;
    int created = 0;
    std::atomic<int> alive{0};
};

class FakeMessageComponent final : public IMessage, public IDataSource {
public:
    explicit FakeMessageComponent(FakeComponentScript& script) : script_(script) {
        ++script_.created;
        ++script_.alive;
    }
    virtual ~FakeMessageComponent() {
        if (kept_ != nullptr) kept_->Release();
        --script_.alive;
    }

    // Creates one, as CoCreateInstance would, for the script in `current`.
    static inline FakeComponentScript* current = nullptr;
    static HRESULT Create(IUnknown** component) {
        auto* created = new FakeMessageComponent(*current);
        *component = static_cast<IMessage*>(created);
        created->AddRef();
        return S_OK;
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IMessage*>(this);
        } else if (IsEqualIID(riid, IID_IMessage) && script_.answersMessage) {
            *ppv = static_cast<IMessage*>(this);
        } else if (IsEqualIID(riid, IID_IDataSource)) {
            *ppv = static_cast<IDataSource*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references_; }
    STDMETHOD_(ULONG, Release)() override {
        ULONG count = --references_;
        if (count == 0) delete this;
        return count;
    }

    STDMETHOD(get_DataSource)(IDataSource** dataSource) override {
        *dataSource = nullptr;
        if (FAILED(script_.dataSourceResult) || script_.dataSourceNull) return script_.dataSourceResult;
        *dataSource = static_cast<IDataSource*>(this);
        AddRef();
        return S_OK;
    }

    STDMETHOD(OpenObject)(IUnknown* source, BSTR name) override {
        script_.interfaceName.assign(name, name + SysStringLen(name));
        IStream* stream = nullptr;
        if (FAILED(source->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream)))) return E_NOINTERFACE;
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        char chunk[512];
        ULONG count = 0;
        script_.loaded.clear();
        while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &count)) && count > 0) script_.loaded.append(chunk, count);
        if (script_.keepSource) {
            kept_ = stream;
        } else {
            stream->Release();
        }
        return script_.openResult;
    }

#define FAKE_UNUSED(name, ...) \
    STDMETHOD(name)(__VA_ARGS__) override { return E_NOTIMPL; }
    FAKE_UNUSED(GetTypeInfoCount, UINT*)
    FAKE_UNUSED(GetTypeInfo, UINT, LCID, ITypeInfo**)
    FAKE_UNUSED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    FAKE_UNUSED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    FAKE_UNUSED(get_BCC, BSTR*)
    FAKE_UNUSED(put_BCC, BSTR)
    FAKE_UNUSED(get_CC, BSTR*)
    FAKE_UNUSED(put_CC, BSTR)
    FAKE_UNUSED(get_FollowUpTo, BSTR*)
    FAKE_UNUSED(put_FollowUpTo, BSTR)
    FAKE_UNUSED(get_From, BSTR*)
    FAKE_UNUSED(put_From, BSTR)
    FAKE_UNUSED(get_Keywords, BSTR*)
    FAKE_UNUSED(put_Keywords, BSTR)
    FAKE_UNUSED(get_MimeFormatted, VARIANT_BOOL*)
    FAKE_UNUSED(put_MimeFormatted, VARIANT_BOOL)
    FAKE_UNUSED(get_Newsgroups, BSTR*)
    FAKE_UNUSED(put_Newsgroups, BSTR)
    FAKE_UNUSED(get_Organization, BSTR*)
    FAKE_UNUSED(put_Organization, BSTR)
    FAKE_UNUSED(get_ReceivedTime, DATE*)
    FAKE_UNUSED(get_ReplyTo, BSTR*)
    FAKE_UNUSED(put_ReplyTo, BSTR)
    FAKE_UNUSED(get_DSNOptions, CdoDSNOptions*)
    FAKE_UNUSED(put_DSNOptions, CdoDSNOptions)
    FAKE_UNUSED(get_SentOn, DATE*)
    FAKE_UNUSED(get_Subject, BSTR*)
    FAKE_UNUSED(put_Subject, BSTR)
    FAKE_UNUSED(get_To, BSTR*)
    FAKE_UNUSED(put_To, BSTR)
    FAKE_UNUSED(get_TextBody, BSTR*)
    FAKE_UNUSED(put_TextBody, BSTR)
    FAKE_UNUSED(get_HTMLBody, BSTR*)
    FAKE_UNUSED(put_HTMLBody, BSTR)
    FAKE_UNUSED(get_Attachments, IBodyParts**)
    FAKE_UNUSED(get_Sender, BSTR*)
    FAKE_UNUSED(put_Sender, BSTR)
    FAKE_UNUSED(get_Configuration, IConfiguration**)
    FAKE_UNUSED(put_Configuration, IConfiguration*)
    FAKE_UNUSED(putref_Configuration, IConfiguration*)
    FAKE_UNUSED(get_AutoGenerateTextBody, VARIANT_BOOL*)
    FAKE_UNUSED(put_AutoGenerateTextBody, VARIANT_BOOL)
    FAKE_UNUSED(get_EnvelopeFields, Fields**)
    FAKE_UNUSED(get_TextBodyPart, IBodyPart**)
    FAKE_UNUSED(get_HTMLBodyPart, IBodyPart**)
    FAKE_UNUSED(get_BodyPart, IBodyPart**)
    FAKE_UNUSED(get_Fields, Fields**)
    FAKE_UNUSED(get_MDNRequested, VARIANT_BOOL*)
    FAKE_UNUSED(put_MDNRequested, VARIANT_BOOL)
    FAKE_UNUSED(AddRelatedBodyPart, BSTR, BSTR, CdoReferenceType, BSTR, BSTR, IBodyPart**)
    FAKE_UNUSED(AddAttachment, BSTR, BSTR, BSTR, IBodyPart**)
    FAKE_UNUSED(CreateMHTMLBody, BSTR, CdoMHTMLFlags, BSTR, BSTR)
    FAKE_UNUSED(Forward, IMessage**)
    FAKE_UNUSED(Post)
    FAKE_UNUSED(PostReply, IMessage**)
    FAKE_UNUSED(Reply, IMessage**)
    FAKE_UNUSED(ReplyAll, IMessage**)
    FAKE_UNUSED(Send)
    FAKE_UNUSED(GetStream, _Stream**)
    FAKE_UNUSED(GetInterface, BSTR, IDispatch**)
    FAKE_UNUSED(get_SourceClass, BSTR*)
    FAKE_UNUSED(get_Source, IUnknown**)
    FAKE_UNUSED(get_IsDirty, VARIANT_BOOL*)
    FAKE_UNUSED(put_IsDirty, VARIANT_BOOL)
    FAKE_UNUSED(get_SourceURL, BSTR*)
    FAKE_UNUSED(get_ActiveConnection, _Connection**)
    FAKE_UNUSED(SaveToObject, IUnknown*, BSTR)
    FAKE_UNUSED(SaveTo, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum, BSTR, BSTR)
    FAKE_UNUSED(Open, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum, BSTR, BSTR)
    FAKE_UNUSED(Save)
    FAKE_UNUSED(SaveToContainer, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum,
                BSTR, BSTR)
#undef FAKE_UNUSED

private:
    FakeComponentScript& script_;
    std::atomic<ULONG> references_{0};
    IStream* kept_ = nullptr;
};
