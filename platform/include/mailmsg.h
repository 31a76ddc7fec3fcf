// The SMTP transport's mail message: message properties and content, property id
// ranges, and the recipient list. Operation tables keep the platform's order; an
// unused operation still holds its slot.
#pragma once
#include "unknwn.h"

inline constexpr IID IID_IMailMsgNotify = {
    0x0F7C3C30, 0xA8AD, 0x11D1, {0xAA, 0x91, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
inline constexpr IID IID_IMailMsgProperties = {
    0xAB95FB40, 0xA34F, 0x11D1, {0xAA, 0x8A, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
inline constexpr IID IID_IMailMsgPropertyManagement = {
    0xA2F196C0, 0xA351, 0x11D1, {0xAA, 0x8A, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
inline constexpr IID IID_IMailMsgRecipientsBase = {
    0xD1A97920, 0xA891, 0x11D1, {0xAA, 0x91, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
inline constexpr IID IID_IMailMsgRecipientsAdd = {
    0x4C28A700, 0xA892, 0x11D1, {0xAA, 0x91, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};
inline constexpr IID IID_IMailMsgRecipients = {
    0x19507FE0, 0xA892, 0x11D1, {0xAA, 0x91, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};

// Message properties (IMMPID_MP_*) and recipient properties (IMMPID_RP_*).
enum IMMPID_MP_ENUM : DWORD {
    IMMPID_MP_SENDER_ADDRESS_SMTP = 0x1002,
    IMMPID_MP_MESSAGE_STATUS = 0x1014,
};
enum IMMPID_RP_ENUM : DWORD {
    IMMPID_RP_ADDRESS_SMTP = 0x2009,
};

// Values of IMMPID_MP_MESSAGE_STATUS the transport acts on.
#define MP_STATUS_SUCCESS 0
#define MP_STATUS_ABORT_DELIVERY 2

// Opaque to the sink: file handles, property streams and filter contexts of the transport.
typedef struct _FIO_CONTEXT* PFIO_CONTEXT;
typedef struct _RECIPIENT_FILTER_CONTEXT* LPRECIPIENT_FILTER_CONTEXT;
struct IMailMsgPropertyStream;
struct IMailMsgRecipientsAdd;

// Completion callback for asynchronous operations; the sink always passes null.
struct IMailMsgNotify : IUnknown {
    STDMETHOD(Notify)(HRESULT hrRes) = 0;
};

struct IMailMsgProperties : IUnknown {
    STDMETHOD(PutProperty)(DWORD dwPropID, DWORD cbLength, BYTE* pbValue) = 0;                    // 3
    STDMETHOD(GetProperty)(DWORD dwPropID, DWORD cbLength, DWORD* pcbLength, BYTE* pbValue) = 0;  // 4
    STDMETHOD(Commit)(IMailMsgNotify* pNotify) = 0;                                               // 5
    STDMETHOD(PutStringA)(DWORD dwPropID, LPCSTR pszValue) = 0;                                   // 6
    STDMETHOD(GetStringA)(DWORD dwPropID, DWORD cchLength, LPSTR pszValue) = 0;                   // 7
    STDMETHOD(PutStringW)(DWORD dwPropID, LPCWSTR pszValue) = 0;                                  // 8
    STDMETHOD(GetStringW)(DWORD dwPropID, DWORD cchLength, LPWSTR pszValue) = 0;                  // 9
    STDMETHOD(PutDWORD)(DWORD dwPropID, DWORD dwValue) = 0;                                       // 10
    STDMETHOD(GetDWORD)(DWORD dwPropID, DWORD* pdwValue) = 0;                                     // 11
    STDMETHOD(PutBool)(DWORD dwPropID, DWORD bValue) = 0;                                         // 12
    STDMETHOD(GetBool)(DWORD dwPropID, DWORD* pbValue) = 0;                                       // 13
    STDMETHOD(GetContentSize)(DWORD* pdwSize, IMailMsgNotify* pNotify) = 0;                       // 14
    STDMETHOD(ReadContent)(DWORD dwOffset, DWORD dwLength, DWORD* pdwLength, BYTE* pbBlock,       // 15
                           IMailMsgNotify* pNotify) = 0;
    STDMETHOD(WriteContent)(DWORD dwOffset, DWORD dwLength, DWORD* pdwLength, BYTE* pbBlock,  // 16
                            IMailMsgNotify* pNotify) = 0;
    STDMETHOD(CopyContentToFile)(PFIO_CONTEXT pFIOCopy, IMailMsgNotify* pNotify) = 0;  // 17
    STDMETHOD(CopyContentToFileEx)(PFIO_CONTEXT pFIOCopy, BOOL fDotStuffed,            // 18
                                   IMailMsgNotify* pNotify) = 0;
    STDMETHOD(ForkForRecipients)(IMailMsgProperties** ppNewMessage,  // 19
                                 IMailMsgRecipientsAdd** ppRecipients) = 0;
    STDMETHOD(CopyContentToFileAtOffset)(PFIO_CONTEXT pFIOCopy, DWORD dwOffset,  // 20
                                         IMailMsgNotify* pNotify) = 0;
    STDMETHOD(RebindAfterFork)(IMailMsgProperties* pOriginalMsg, IUnknown* pStoreDriver) = 0;  // 21
    STDMETHOD(SetContentSize)(DWORD dwSize, IMailMsgNotify* pNotify) = 0;                      // 22
    STDMETHOD(MapContent)(BOOL fWrite, BYTE** ppbContent, DWORD* pcContent) = 0;               // 23
    STDMETHOD(UnmapContent)(BYTE* pbContent) = 0;                                              // 24
};

// Property id ranges registered by GUID: the same GUID always yields the same start.
struct IMailMsgPropertyManagement : IUnknown {
    STDMETHOD(AllocPropIDRange)(REFGUID rguid, DWORD cCount, DWORD* pdwStart) = 0;  // 3
};

struct IMailMsgRecipientsBase : IUnknown {
    STDMETHOD(Count)(DWORD* pdwCount) = 0;                                                     // 3
    STDMETHOD(Item)(DWORD dwIndex, DWORD dwWhichName, DWORD cchLength, LPSTR pszName) = 0;     // 4
    STDMETHOD(PutProperty)(DWORD dwIndex, DWORD dwPropID, DWORD cbLength, BYTE* pbValue) = 0;  // 5
    STDMETHOD(GetProperty)(DWORD dwIndex, DWORD dwPropID, DWORD cbLength, DWORD* pcbLength,    // 6
                           BYTE* pbValue) = 0;
    STDMETHOD(PutStringA)(DWORD dwIndex, DWORD dwPropID, LPCSTR pszValue) = 0;                   // 7
    STDMETHOD(GetStringA)(DWORD dwIndex, DWORD dwPropID, DWORD cchLength, LPSTR pszValue) = 0;   // 8
    STDMETHOD(PutStringW)(DWORD dwIndex, DWORD dwPropID, LPCWSTR pszValue) = 0;                  // 9
    STDMETHOD(GetStringW)(DWORD dwIndex, DWORD dwPropID, DWORD cchLength, LPWSTR pszValue) = 0;  // 10
    STDMETHOD(PutDWORD)(DWORD dwIndex, DWORD dwPropID, DWORD dwValue) = 0;                       // 11
    STDMETHOD(GetDWORD)(DWORD dwIndex, DWORD dwPropID, DWORD* pdwValue) = 0;                     // 12
    STDMETHOD(PutBool)(DWORD dwIndex, DWORD dwPropID, DWORD dwValue) = 0;                        // 13
    STDMETHOD(GetBool)(DWORD dwIndex, DWORD dwPropID, DWORD* pdwValue) = 0;                      // 14
};

struct IMailMsgRecipients : IMailMsgRecipientsBase {
    STDMETHOD(Commit)(DWORD dwIndex, IMailMsgNotify* pNotify) = 0;                                    // 15
    STDMETHOD(DomainCount)(DWORD* pdwCount) = 0;                                                      // 16
    STDMETHOD(DomainItem)(DWORD dwIndex, DWORD cchLength, LPSTR pszDomain, DWORD* pdwRecipientIndex,  // 17
                          DWORD* pdwRecipientCount) = 0;
    STDMETHOD(AllocNewList)(IMailMsgRecipientsAdd** ppNewList) = 0;                             // 18
    STDMETHOD(WriteList)(IMailMsgRecipientsAdd* pNewList) = 0;                                  // 19
    STDMETHOD(SetNextDomain)(DWORD dwDomainIndex, DWORD dwNextDomainIndex, DWORD dwFlags) = 0;  // 20
    STDMETHOD(InitializeRecipientFilterContext)(LPRECIPIENT_FILTER_CONTEXT pContext,            // 21
                                                DWORD dwStartingDomain, DWORD dwFilterFlags, DWORD dwFilterMask) = 0;
    STDMETHOD(TerminateRecipientFilterContext)(LPRECIPIENT_FILTER_CONTEXT pContext) = 0;             // 22
    STDMETHOD(GetNextRecipient)(LPRECIPIENT_FILTER_CONTEXT pContext, DWORD* pdwRecipientIndex) = 0;  // 23
};
