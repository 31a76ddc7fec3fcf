// The SMTP transport's events. A sink bound after categorisation receives every
// message through IMailTransportOnPostCategorize.
#pragma once
#include "mailmsg.h"

inline constexpr IID IID_IMailTransportOnPostCategorize = {
    0x76719653, 0x05A6, 0x11D2, {0x9D, 0xFD, 0x00, 0xC0, 0x4F, 0xA3, 0x22, 0xBA}};

// Completion callback for sinks that finish asynchronously; unused by synchronous sinks.
struct IMailTransportNotify : IUnknown {
    STDMETHOD(Notify)(HRESULT hrStatus, PVOID pvContext) = 0;
};

struct IMailTransportOnPostCategorize : IUnknown {
    STDMETHOD(OnMessagePostCategorize)(IMailMsgProperties* pIMailMsg, IMailTransportNotify* pINotify,  // 3
                                       PVOID pvNotifyContext) = 0;
};
