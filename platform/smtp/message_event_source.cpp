#include "message_event_source.h"

#include "atlbase.h"
#include "objbase.h"
#include "smtpevent.h"
#ifndef _WIN32
#include "registry_read_scope.h"
#endif

namespace platform::smtp {

namespace {

// The registry reads of one event come from one committed state of the hive, so a
// judgement never mixes two versions of the rule lists.
#ifndef _WIN32
using EventReadScope = platform::registry::ReadScope;
#else
struct EventReadScope {  // the system registry reads each call on its own
    EventReadScope() {}
};
#endif

}  // namespace

const char* VerdictName(Verdict verdict) { return verdict == Verdict::Deleted ? "deleted" : "delivered"; }

Verdict ReadVerdict(IMailMsgProperties* message) {
    DWORD status = MP_STATUS_SUCCESS;
    if (FAILED(message->GetDWORD(IMMPID_MP_MESSAGE_STATUS, &status))) return Verdict::Delivered;
    return status == MP_STATUS_ABORT_DELIVERY ? Verdict::Deleted : Verdict::Delivered;
}

HRESULT FireMessageEvent(MessageEventFunction handler, IMailMsgProperties* message, Verdict* verdict) {
    if (!handler || !message || !verdict) return E_POINTER;
    HRESULT hr;
    {
        EventReadScope scope;
        hr = handler(message);
    }
    *verdict = ReadVerdict(message);
    return hr;
}

HRESULT FireMessageEvent(IUnknown* sink, IMailMsgProperties* message, Verdict* verdict) {
    if (!sink || !message || !verdict) return E_POINTER;
    *verdict = ReadVerdict(message);
    CComPtr<IMailTransportOnPostCategorize> event;
    HRESULT hr = sink->QueryInterface(IID_IMailTransportOnPostCategorize, reinterpret_cast<void**>(&event));
    if (FAILED(hr)) return hr;
    {
        EventReadScope scope;
        hr = event->OnMessagePostCategorize(message, nullptr, nullptr);
    }
    *verdict = ReadVerdict(message);
    return hr;
}

HRESULT FireMessageEvent(REFCLSID sinkClass, IMailMsgProperties* message, Verdict* verdict) {
    if (!message || !verdict) return E_POINTER;
    *verdict = ReadVerdict(message);
    CComPtr<IUnknown> sink;
    HRESULT hr =
        CoCreateInstance(sinkClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&sink));
    if (FAILED(hr)) return hr;
    return FireMessageEvent(sink, message, verdict);
}

}  // namespace platform::smtp
