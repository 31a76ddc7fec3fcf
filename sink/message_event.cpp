#include "message_event.h"

#include <new>

#include "atlbase.h"
#include "cdosys.h"
#include "message_content_stream.h"
#include "message_filter.h"
#include "objbase.h"
#include "windows.h"

namespace {

// In-process, handler, local and remote server: whatever can serve the class.
constexpr DWORD kCreationContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
static_assert(kCreationContext == 23);

// The interface name under which the data source opens the stream.
struct InterfaceName {
    BSTR text = nullptr;
    InterfaceName() {
        constexpr char kName[] = "IStream";
        OLECHAR wide[sizeof kName];
        int chars = MultiByteToWideChar(CP_ACP, 0, kName, sizeof kName - 1, wide, sizeof kName);
        if (chars > 0) text = SysAllocStringLen(wide, static_cast<UINT>(chars));
    }
    ~InterfaceName() { SysFreeString(text); }
    InterfaceName(const InterfaceName&) = delete;
    InterfaceName& operator=(const InterfaceName&) = delete;
};

// Creates the component, runs it and asks it for IMessage. Null when any of the
// three moves fails.
IMessage* CreateMessage(MessageComponentFactory create) {
    CComPtr<IUnknown> unknown;
    if (FAILED(create(&unknown)) || unknown == nullptr) return nullptr;
    if (FAILED(OleRun(unknown))) return nullptr;
    IMessage* message = nullptr;
    if (FAILED(unknown->QueryInterface(IID_IMessage, reinterpret_cast<void**>(&message)))) return nullptr;
    return message;
}

// Loads the message's content into the component; the filter runs only when
// this succeeds. Releases the stream, data source and component in that order.
void LoadAndFilter(IMailMsgProperties* mail, RuleStore& rules, MessageComponentFactory create) {
    InterfaceName name;
    if (name.text == nullptr) return;
    CComPtr<IMessage> component;
    component.Attach(CreateMessage(create));
    if (component == nullptr) return;
    CComPtr<IDataSource> dataSource;
    CComPtr<MessageContentStream> stream;
    {
        auto* created = new (std::nothrow) MessageContentStream(mail);
        if (created == nullptr) return;
        if (!created->IsValid()) {
            delete created;
            return;
        }
        stream.Attach(created);
        stream->AddRef();
    }
    if (FAILED(component->get_DataSource(&dataSource)) || dataSource == nullptr) return;
    if (FAILED(dataSource->OpenObject(static_cast<IStream*>(stream), name.text))) return;
    FilterMessage(mail, rules);
}

}  // namespace

HRESULT CreateMessageComponent(IUnknown** component) {
    return CoCreateInstance(CLSID_Message, nullptr, kCreationContext, IID_IUnknown,
                            reinterpret_cast<void**>(component));
}

HRESULT HandleMessageEvent(IMailMsgProperties* message, RuleStore& rules, MessageComponentFactory create) {
    try {
        LoadAndFilter(message, rules, create);
    } catch (...) {
        // Out of memory in a lookup, or a fault thrown by a collaborator: the
        // message passes as it came and the transport carries on.
    }
    return S_OK;
}

HRESULT HandleMessageEvent(IMailMsgProperties* message) {
    return HandleMessageEvent(message, RegistryRuleStore(), CreateMessageComponent);
}
