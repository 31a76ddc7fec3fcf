// The message component stand-in: a Message object that its data source loads from
// a stream holding an RFC 5322 message. It keeps the bytes and the boundary between
// header section and body; nothing else of the component is offered.
#pragma once
#include <atomic>
#include <memory>
#include <string_view>

#include "cdosys.h"

namespace platform::cdo {

class Message final : public IMessage, public IDataSource {
public:
    Message() = default;
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    // IUnknown, shared by both interfaces.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDispatch: no type information; late binding is not offered.
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IMessage: only the data source is offered.
    STDMETHOD(get_DataSource)(IDataSource** varDataSource) override;

    // IDataSource: only loading from a stream is offered.
    STDMETHOD(OpenObject)(IUnknown* Source, BSTR InterfaceName) override;

    // The loaded message, for the platform's own use and its tests; empty before a load.
    bool Loaded() const { return loaded_; }
    std::string_view Header() const { return {content_.get() + headerOffset_, headerBytes_}; }
    std::string_view Body() const { return {content_.get() + bodyOffset_, contentBytes_ - bodyOffset_}; }

#define PELLICOR_CDO_UNUSED(name, ...) \
    STDMETHOD(name)(__VA_ARGS__) override { return E_NOTIMPL; }
    PELLICOR_CDO_UNUSED(get_BCC, BSTR*)
    PELLICOR_CDO_UNUSED(put_BCC, BSTR)
    PELLICOR_CDO_UNUSED(get_CC, BSTR*)
    PELLICOR_CDO_UNUSED(put_CC, BSTR)
    PELLICOR_CDO_UNUSED(get_FollowUpTo, BSTR*)
    PELLICOR_CDO_UNUSED(put_FollowUpTo, BSTR)
    PELLICOR_CDO_UNUSED(get_From, BSTR*)
    PELLICOR_CDO_UNUSED(put_From, BSTR)
    PELLICOR_CDO_UNUSED(get_Keywords, BSTR*)
    PELLICOR_CDO_UNUSED(put_Keywords, BSTR)
    PELLICOR_CDO_UNUSED(get_MimeFormatted, VARIANT_BOOL*)
    PELLICOR_CDO_UNUSED(put_MimeFormatted, VARIANT_BOOL)
    PELLICOR_CDO_UNUSED(get_Newsgroups, BSTR*)
    PELLICOR_CDO_UNUSED(put_Newsgroups, BSTR)
    PELLICOR_CDO_UNUSED(get_Organization, BSTR*)
    PELLICOR_CDO_UNUSED(put_Organization, BSTR)
    PELLICOR_CDO_UNUSED(get_ReceivedTime, DATE*)
    PELLICOR_CDO_UNUSED(get_ReplyTo, BSTR*)
    PELLICOR_CDO_UNUSED(put_ReplyTo, BSTR)
    PELLICOR_CDO_UNUSED(get_DSNOptions, CdoDSNOptions*)
    PELLICOR_CDO_UNUSED(put_DSNOptions, CdoDSNOptions)
    PELLICOR_CDO_UNUSED(get_SentOn, DATE*)
    PELLICOR_CDO_UNUSED(get_Subject, BSTR*)
    PELLICOR_CDO_UNUSED(put_Subject, BSTR)
    PELLICOR_CDO_UNUSED(get_To, BSTR*)
    PELLICOR_CDO_UNUSED(put_To, BSTR)
    PELLICOR_CDO_UNUSED(get_TextBody, BSTR*)
    PELLICOR_CDO_UNUSED(put_TextBody, BSTR)
    PELLICOR_CDO_UNUSED(get_HTMLBody, BSTR*)
    PELLICOR_CDO_UNUSED(put_HTMLBody, BSTR)
    PELLICOR_CDO_UNUSED(get_Attachments, IBodyParts**)
    PELLICOR_CDO_UNUSED(get_Sender, BSTR*)
    PELLICOR_CDO_UNUSED(put_Sender, BSTR)
    PELLICOR_CDO_UNUSED(get_Configuration, IConfiguration**)
    PELLICOR_CDO_UNUSED(put_Configuration, IConfiguration*)
    PELLICOR_CDO_UNUSED(putref_Configuration, IConfiguration*)
    PELLICOR_CDO_UNUSED(get_AutoGenerateTextBody, VARIANT_BOOL*)
    PELLICOR_CDO_UNUSED(put_AutoGenerateTextBody, VARIANT_BOOL)
    PELLICOR_CDO_UNUSED(get_EnvelopeFields, Fields**)
    PELLICOR_CDO_UNUSED(get_TextBodyPart, IBodyPart**)
    PELLICOR_CDO_UNUSED(get_HTMLBodyPart, IBodyPart**)
    PELLICOR_CDO_UNUSED(get_BodyPart, IBodyPart**)
    PELLICOR_CDO_UNUSED(get_Fields, Fields**)
    PELLICOR_CDO_UNUSED(get_MDNRequested, VARIANT_BOOL*)
    PELLICOR_CDO_UNUSED(put_MDNRequested, VARIANT_BOOL)
    PELLICOR_CDO_UNUSED(AddRelatedBodyPart, BSTR, BSTR, CdoReferenceType, BSTR, BSTR, IBodyPart**)
    PELLICOR_CDO_UNUSED(AddAttachment, BSTR, BSTR, BSTR, IBodyPart**)
    PELLICOR_CDO_UNUSED(CreateMHTMLBody, BSTR, CdoMHTMLFlags, BSTR, BSTR)
    PELLICOR_CDO_UNUSED(Forward, IMessage**)
    PELLICOR_CDO_UNUSED(Post)
    PELLICOR_CDO_UNUSED(PostReply, IMessage**)
    PELLICOR_CDO_UNUSED(Reply, IMessage**)
    PELLICOR_CDO_UNUSED(ReplyAll, IMessage**)
    PELLICOR_CDO_UNUSED(Send)
    PELLICOR_CDO_UNUSED(GetStream, _Stream**)
    PELLICOR_CDO_UNUSED(GetInterface, BSTR, IDispatch**)

    PELLICOR_CDO_UNUSED(get_SourceClass, BSTR*)
    PELLICOR_CDO_UNUSED(get_Source, IUnknown**)
    PELLICOR_CDO_UNUSED(get_IsDirty, VARIANT_BOOL*)
    PELLICOR_CDO_UNUSED(put_IsDirty, VARIANT_BOOL)
    PELLICOR_CDO_UNUSED(get_SourceURL, BSTR*)
    PELLICOR_CDO_UNUSED(get_ActiveConnection, _Connection**)
    PELLICOR_CDO_UNUSED(SaveToObject, IUnknown*, BSTR)
    PELLICOR_CDO_UNUSED(SaveTo, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum, BSTR,
                        BSTR)
    PELLICOR_CDO_UNUSED(Open, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum, RecordOpenOptionsEnum, BSTR,
                        BSTR)
    PELLICOR_CDO_UNUSED(Save)
    PELLICOR_CDO_UNUSED(SaveToContainer, BSTR, IDispatch*, ConnectModeEnum, RecordCreateOptionsEnum,
                        RecordOpenOptionsEnum, BSTR, BSTR)
#undef PELLICOR_CDO_UNUSED

    virtual ~Message() = default;

private:
    HRESULT load(IStream* stream);

    std::atomic<LONG> references_{0};
    std::unique_ptr<char[]> content_;
    size_t contentBytes_ = 0;
    size_t headerOffset_ = 0;  // after a leading mbox "From " line
    size_t headerBytes_ = 0;
    size_t bodyOffset_ = 0;
    bool loaded_ = false;
};

// Status of OpenObject when the content is not a message (no header section).
inline constexpr HRESULT kNotAMessage = HRESULT(0x8007000D);  // HRESULT_FROM_WIN32(ERROR_INVALID_DATA)

// Largest content the component loads; the transport's sizes are 32-bit.
inline constexpr size_t kMaxContentBytes = 0xFFFFFFFFu;

// The Message class's factory (one per process); returns an added reference.
IClassFactory* MessageClassFactory();

}  // namespace platform::cdo
