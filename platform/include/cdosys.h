// The collaboration data objects message component: the Message class, its
// IMessage interface and the IDataSource it loads through. Operation tables keep
// the platform's order (IMessage's DataSource at 49, IDataSource's OpenObject at
// 14); the interfaces of the component that this system never touches are only
// named, so that the slots before the ones in use keep their places.
#pragma once
#include "oaidl.h"
#include "objidl.h"

struct IBodyPart;
struct IBodyParts;
struct IConfiguration;
struct Fields;
struct _Connection;
struct _Stream;

enum CdoDSNOptions {
    cdoDSNDefault = 0,
    cdoDSNNever = 1,
    cdoDSNFailure = 2,
    cdoDSNSuccess = 4,
    cdoDSNDelay = 8,
    cdoDSNSuccessFailOrDelay = 14,
};
enum CdoReferenceType { cdoRefTypeId = 0, cdoRefTypeLocation = 1 };
enum CdoMHTMLFlags { cdoSuppressNone = 0, cdoSuppressAll = 31 };
enum ConnectModeEnum { adModeUnknown = 0, adModeRead = 1, adModeWrite = 2, adModeReadWrite = 3 };
enum RecordCreateOptionsEnum { adFailIfNotExists = -1, adCreateNonCollection = 0 };
enum RecordOpenOptionsEnum { adOpenRecordUnspecified = -1, adOpenSource = 0x800000 };

// {CD000001-8B95-11D1-82DB-00C04FB1625D}
inline constexpr CLSID CLSID_Message = {0xCD000001, 0x8B95, 0x11D1, {0x82, 0xDB, 0x00, 0xC0, 0x4F, 0xB1, 0x62, 0x5D}};
// {CD000020-8B95-11D1-82DB-00C04FB1625D}
inline constexpr IID IID_IMessage = {0xCD000020, 0x8B95, 0x11D1, {0x82, 0xDB, 0x00, 0xC0, 0x4F, 0xB1, 0x62, 0x5D}};
// {CD000029-8B95-11D1-82DB-00C04FB1625D}
inline constexpr IID IID_IDataSource = {0xCD000029, 0x8B95, 0x11D1, {0x82, 0xDB, 0x00, 0xC0, 0x4F, 0xB1, 0x62, 0x5D}};

struct IDataSource : IDispatch {
    STDMETHOD(get_SourceClass)(BSTR* varSourceClass) = 0;                    // 7
    STDMETHOD(get_Source)(IUnknown** varSource) = 0;                         // 8
    STDMETHOD(get_IsDirty)(VARIANT_BOOL* pIsDirty) = 0;                      // 9
    STDMETHOD(put_IsDirty)(VARIANT_BOOL varIsDirty) = 0;                     // 10
    STDMETHOD(get_SourceURL)(BSTR* varSourceURL) = 0;                        // 11
    STDMETHOD(get_ActiveConnection)(_Connection** varActiveConnection) = 0;  // 12
    STDMETHOD(SaveToObject)(IUnknown* Source, BSTR InterfaceName) = 0;       // 13
    STDMETHOD(OpenObject)(IUnknown* Source, BSTR InterfaceName) = 0;         // 14
    STDMETHOD(SaveTo)(BSTR SourceURL, IDispatch* ActiveConnection, ConnectModeEnum Mode,
                      RecordCreateOptionsEnum CreateOptions, RecordOpenOptionsEnum Options, BSTR UserName,
                      BSTR Password) = 0;  // 15
    STDMETHOD(Open)(BSTR SourceURL, IDispatch* ActiveConnection, ConnectModeEnum Mode,
                    RecordCreateOptionsEnum CreateOptions, RecordOpenOptionsEnum Options, BSTR UserName,
                    BSTR Password) = 0;  // 16
    STDMETHOD(Save)() = 0;               // 17
    STDMETHOD(SaveToContainer)(BSTR ContainerURL, IDispatch* ActiveConnection, ConnectModeEnum Mode,
                               RecordCreateOptionsEnum CreateOptions, RecordOpenOptionsEnum Options, BSTR UserName,
                               BSTR Password) = 0;  // 18
};

struct IMessage : IDispatch {
    STDMETHOD(get_BCC)(BSTR* pBCC) = 0;                                             // 7
    STDMETHOD(put_BCC)(BSTR varBCC) = 0;                                            // 8
    STDMETHOD(get_CC)(BSTR* pCC) = 0;                                               // 9
    STDMETHOD(put_CC)(BSTR varCC) = 0;                                              // 10
    STDMETHOD(get_FollowUpTo)(BSTR* pFollowUpTo) = 0;                               // 11
    STDMETHOD(put_FollowUpTo)(BSTR varFollowUpTo) = 0;                              // 12
    STDMETHOD(get_From)(BSTR* pFrom) = 0;                                           // 13
    STDMETHOD(put_From)(BSTR varFrom) = 0;                                          // 14
    STDMETHOD(get_Keywords)(BSTR* pKeywords) = 0;                                   // 15
    STDMETHOD(put_Keywords)(BSTR varKeywords) = 0;                                  // 16
    STDMETHOD(get_MimeFormatted)(VARIANT_BOOL* pMimeFormatted) = 0;                 // 17
    STDMETHOD(put_MimeFormatted)(VARIANT_BOOL varMimeFormatted) = 0;                // 18
    STDMETHOD(get_Newsgroups)(BSTR* pNewsgroups) = 0;                               // 19
    STDMETHOD(put_Newsgroups)(BSTR varNewsgroups) = 0;                              // 20
    STDMETHOD(get_Organization)(BSTR* pOrganization) = 0;                           // 21
    STDMETHOD(put_Organization)(BSTR varOrganization) = 0;                          // 22
    STDMETHOD(get_ReceivedTime)(DATE* varReceivedTime) = 0;                         // 23
    STDMETHOD(get_ReplyTo)(BSTR* pReplyTo) = 0;                                     // 24
    STDMETHOD(put_ReplyTo)(BSTR varReplyTo) = 0;                                    // 25
    STDMETHOD(get_DSNOptions)(CdoDSNOptions* pDSNOptions) = 0;                      // 26
    STDMETHOD(put_DSNOptions)(CdoDSNOptions varDSNOptions) = 0;                     // 27
    STDMETHOD(get_SentOn)(DATE* varSentOn) = 0;                                     // 28
    STDMETHOD(get_Subject)(BSTR* pSubject) = 0;                                     // 29
    STDMETHOD(put_Subject)(BSTR varSubject) = 0;                                    // 30
    STDMETHOD(get_To)(BSTR* pTo) = 0;                                               // 31
    STDMETHOD(put_To)(BSTR varTo) = 0;                                              // 32
    STDMETHOD(get_TextBody)(BSTR* pTextBody) = 0;                                   // 33
    STDMETHOD(put_TextBody)(BSTR varTextBody) = 0;                                  // 34
    STDMETHOD(get_HTMLBody)(BSTR* pHTMLBody) = 0;                                   // 35
    STDMETHOD(put_HTMLBody)(BSTR varHTMLBody) = 0;                                  // 36
    STDMETHOD(get_Attachments)(IBodyParts** varAttachments) = 0;                    // 37
    STDMETHOD(get_Sender)(BSTR* pSender) = 0;                                       // 38
    STDMETHOD(put_Sender)(BSTR varSender) = 0;                                      // 39
    STDMETHOD(get_Configuration)(IConfiguration** pConfiguration) = 0;              // 40
    STDMETHOD(put_Configuration)(IConfiguration* varConfiguration) = 0;             // 41
    STDMETHOD(putref_Configuration)(IConfiguration* varConfiguration) = 0;          // 42
    STDMETHOD(get_AutoGenerateTextBody)(VARIANT_BOOL* pAutoGenerateTextBody) = 0;   // 43
    STDMETHOD(put_AutoGenerateTextBody)(VARIANT_BOOL varAutoGenerateTextBody) = 0;  // 44
    STDMETHOD(get_EnvelopeFields)(Fields** varEnvelopeFields) = 0;                  // 45
    STDMETHOD(get_TextBodyPart)(IBodyPart** varTextBodyPart) = 0;                   // 46
    STDMETHOD(get_HTMLBodyPart)(IBodyPart** varHTMLBodyPart) = 0;                   // 47
    STDMETHOD(get_BodyPart)(IBodyPart** varBodyPart) = 0;                           // 48
    STDMETHOD(get_DataSource)(IDataSource** varDataSource) = 0;                     // 49
    STDMETHOD(get_Fields)(Fields** varFields) = 0;                                  // 50
    STDMETHOD(get_MDNRequested)(VARIANT_BOOL* pMDNRequested) = 0;                   // 51
    STDMETHOD(put_MDNRequested)(VARIANT_BOOL varMDNRequested) = 0;                  // 52
    STDMETHOD(AddRelatedBodyPart)(BSTR URL, BSTR Reference, CdoReferenceType ReferenceType, BSTR UserName,
                                  BSTR Password, IBodyPart** ppBody) = 0;                         // 53
    STDMETHOD(AddAttachment)(BSTR URL, BSTR UserName, BSTR Password, IBodyPart** ppBody) = 0;     // 54
    STDMETHOD(CreateMHTMLBody)(BSTR URL, CdoMHTMLFlags Flags, BSTR UserName, BSTR Password) = 0;  // 55
    STDMETHOD(Forward)(IMessage** ppMsg) = 0;                                                     // 56
    STDMETHOD(Post)() = 0;                                                                        // 57
    STDMETHOD(PostReply)(IMessage** ppMsg) = 0;                                                   // 58
    STDMETHOD(Reply)(IMessage** ppMsg) = 0;                                                       // 59
    STDMETHOD(ReplyAll)(IMessage** ppMsg) = 0;                                                    // 60
    STDMETHOD(Send)() = 0;                                                                        // 61
    STDMETHOD(GetStream)(_Stream** ppStream) = 0;                                                 // 62
    STDMETHOD(GetInterface)(BSTR Interface, IDispatch** ppUnknown) = 0;                           // 63
};
