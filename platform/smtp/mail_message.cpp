#include "mail_message.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "message_headers.h"
#include "property_ranges.h"

namespace platform::smtp {
namespace {

// Property values are kept as bytes; strings without their terminator.
using PropertyMap = std::map<DWORD, std::string>;

HRESULT putBytes(PropertyMap& map, DWORD id, const void* value, size_t bytes) {
    map[id].assign(static_cast<const char*>(value), bytes);
    return S_OK;
}

HRESULT getString(const PropertyMap& map, DWORD id, DWORD capacity, LPSTR buffer) {
    if (!buffer) return E_POINTER;
    auto it = map.find(id);
    if (it == map.end()) return kPropertyNotFound;
    const std::string& value = it->second;
    if (value.size() >= capacity) return kBufferTooSmall;
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return S_OK;
}

HRESULT getBytes(const PropertyMap& map, DWORD id, DWORD capacity, DWORD* length, BYTE* value) {
    auto it = map.find(id);
    if (it == map.end()) return kPropertyNotFound;
    if (length) *length = DWORD(it->second.size());
    if (it->second.size() > capacity) return kBufferTooSmall;
    if (!value && !it->second.empty()) return E_POINTER;
    std::memcpy(value, it->second.data(), it->second.size());
    return S_OK;
}

HRESULT getDword(const PropertyMap& map, DWORD id, DWORD* value) {
    if (!value) return E_POINTER;
    auto it = map.find(id);
    if (it == map.end()) return kPropertyNotFound;
    if (it->second.size() != sizeof(DWORD)) return E_INVALIDARG;
    std::memcpy(value, it->second.data(), sizeof(DWORD));
    return S_OK;
}

class MailMessage final : public IMailMsgProperties, public IMailMsgPropertyManagement, public IMailMsgRecipients {
public:
    MailMessage(std::string content, std::vector<PropertyMap> recipients)
        : content_(std::move(content)), recipients_(std::move(recipients)) {}

    PropertyMap& properties() { return properties_; }

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMailMsgProperties) *ppv = static_cast<IMailMsgProperties*>(this);
        else if (riid == IID_IMailMsgPropertyManagement) *ppv = static_cast<IMailMsgPropertyManagement*>(this);
        else if (riid == IID_IMailMsgRecipients || riid == IID_IMailMsgRecipientsBase)
            *ppv = static_cast<IMailMsgRecipients*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++references_); }
    STDMETHOD_(ULONG, Release)() override {
        LONG left = --references_;
        if (left == 0) delete this;
        return ULONG(left);
    }

    // IMailMsgProperties: properties
    STDMETHOD(PutProperty)(DWORD id, DWORD length, BYTE* value) override {
        if (!value && length) return E_POINTER;
        std::lock_guard lock(mutex_);
        return putBytes(properties_, id, value, length);
    }
    STDMETHOD(GetProperty)(DWORD id, DWORD capacity, DWORD* length, BYTE* value) override {
        std::lock_guard lock(mutex_);
        return getBytes(properties_, id, capacity, length, value);
    }
    STDMETHOD(Commit)(IMailMsgNotify*) override { return S_OK; }
    STDMETHOD(PutStringA)(DWORD id, LPCSTR value) override {
        if (!value) return E_POINTER;
        std::lock_guard lock(mutex_);
        return putBytes(properties_, id, value, std::strlen(value));
    }
    STDMETHOD(GetStringA)(DWORD id, DWORD capacity, LPSTR buffer) override {
        std::lock_guard lock(mutex_);
        return getString(properties_, id, capacity, buffer);
    }
    STDMETHOD(PutStringW)(DWORD, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHOD(GetStringW)(DWORD, DWORD, LPWSTR) override { return E_NOTIMPL; }
    STDMETHOD(PutDWORD)(DWORD id, DWORD value) override {
        std::lock_guard lock(mutex_);
        return putBytes(properties_, id, &value, sizeof value);
    }
    STDMETHOD(GetDWORD)(DWORD id, DWORD* value) override {
        std::lock_guard lock(mutex_);
        return getDword(properties_, id, value);
    }
    STDMETHOD(PutBool)(DWORD id, DWORD value) override { return PutDWORD(id, value ? 1 : 0); }
    STDMETHOD(GetBool)(DWORD id, DWORD* value) override { return GetDWORD(id, value); }

    // IMailMsgProperties: content. Reads and writes report the bytes actually moved.
    STDMETHOD(GetContentSize)(DWORD* size, IMailMsgNotify*) override {
        if (!size) return E_POINTER;
        std::lock_guard lock(mutex_);
        *size = DWORD(content_.size());
        return S_OK;
    }
    STDMETHOD(ReadContent)(DWORD offset, DWORD length, DWORD* moved, BYTE* block, IMailMsgNotify*) override {
        if (!moved) return E_POINTER;
        *moved = 0;
        std::lock_guard lock(mutex_);
        if (offset >= content_.size() || length == 0) return S_OK;
        if (!block) return E_POINTER;
        size_t count = std::min<size_t>(length, content_.size() - offset);
        std::memcpy(block, content_.data() + offset, count);
        *moved = DWORD(count);
        return S_OK;
    }
    STDMETHOD(WriteContent)(DWORD offset, DWORD length, DWORD* moved, BYTE* block, IMailMsgNotify*) override {
        if (!moved) return E_POINTER;
        *moved = 0;
        if (length == 0) return S_OK;
        if (!block) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (offset > content_.size()) return E_INVALIDARG;  // no holes in the content
        if (length > kMaxContentBytes - offset) return E_INVALIDARG;
        try {
            if (size_t(offset) + length > content_.size()) content_.resize(size_t(offset) + length);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(content_.data() + offset, block, length);
        *moved = length;
        return S_OK;
    }
    STDMETHOD(CopyContentToFile)(PFIO_CONTEXT, IMailMsgNotify*) override { return E_NOTIMPL; }
    STDMETHOD(CopyContentToFileEx)(PFIO_CONTEXT, BOOL, IMailMsgNotify*) override { return E_NOTIMPL; }
    STDMETHOD(ForkForRecipients)(IMailMsgProperties**, IMailMsgRecipientsAdd**) override { return E_NOTIMPL; }
    STDMETHOD(CopyContentToFileAtOffset)(PFIO_CONTEXT, DWORD, IMailMsgNotify*) override { return E_NOTIMPL; }
    STDMETHOD(RebindAfterFork)(IMailMsgProperties*, IUnknown*) override { return E_NOTIMPL; }
    STDMETHOD(SetContentSize)(DWORD size, IMailMsgNotify*) override {
        std::lock_guard lock(mutex_);
        try {
            content_.resize(size);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    STDMETHOD(MapContent)(BOOL, BYTE**, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(UnmapContent)(BYTE*) override { return E_NOTIMPL; }

    // IMailMsgPropertyManagement
    STDMETHOD(AllocPropIDRange)(REFGUID guid, DWORD count, DWORD* start) override {
        return AllocatePropertyRange(guid, count, start);
    }

    // IMailMsgRecipients: the recipient list in envelope order.
    STDMETHOD(Count)(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = DWORD(recipients_.size());
        return S_OK;
    }
    STDMETHOD(Item)(DWORD index, DWORD, DWORD capacity, LPSTR name) override {
        return GetStringA(index, IMMPID_RP_ADDRESS_SMTP, capacity, name);
    }
    STDMETHOD(PutProperty)(DWORD index, DWORD id, DWORD length, BYTE* value) override {
        if (!value && length) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (index >= recipients_.size()) return E_INVALIDARG;
        return putBytes(recipients_[index], id, value, length);
    }
    STDMETHOD(GetProperty)(DWORD index, DWORD id, DWORD capacity, DWORD* length, BYTE* value) override {
        std::lock_guard lock(mutex_);
        if (index >= recipients_.size()) return E_INVALIDARG;
        return getBytes(recipients_[index], id, capacity, length, value);
    }
    STDMETHOD(PutStringA)(DWORD index, DWORD id, LPCSTR value) override {
        if (!value) return E_POINTER;
        std::lock_guard lock(mutex_);
        if (index >= recipients_.size()) return E_INVALIDARG;
        return putBytes(recipients_[index], id, value, std::strlen(value));
    }
    STDMETHOD(GetStringA)(DWORD index, DWORD id, DWORD capacity, LPSTR buffer) override {
        std::lock_guard lock(mutex_);
        if (index >= recipients_.size()) return E_INVALIDARG;
        return getString(recipients_[index], id, capacity, buffer);
    }
    STDMETHOD(PutStringW)(DWORD, DWORD, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHOD(GetStringW)(DWORD, DWORD, DWORD, LPWSTR) override { return E_NOTIMPL; }
    STDMETHOD(PutDWORD)(DWORD index, DWORD id, DWORD value) override {
        std::lock_guard lock(mutex_);
        if (index >= recipients_.size()) return E_INVALIDARG;
        return putBytes(recipients_[index], id, &value, sizeof value);
    }
    STDMETHOD(GetDWORD)(DWORD index, DWORD id, DWORD* value) override {
        std::lock_guard lock(mutex_);
        if (index >= recipients_.size()) return E_INVALIDARG;
        return getDword(recipients_[index], id, value);
    }
    STDMETHOD(PutBool)(DWORD index, DWORD id, DWORD value) override { return PutDWORD(index, id, value ? 1 : 0); }
    STDMETHOD(GetBool)(DWORD index, DWORD id, DWORD* value) override { return GetDWORD(index, id, value); }
    STDMETHOD(Commit)(DWORD, IMailMsgNotify*) override { return S_OK; }
    STDMETHOD(DomainCount)(DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DomainItem)(DWORD, DWORD, LPSTR, DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(AllocNewList)(IMailMsgRecipientsAdd**) override { return E_NOTIMPL; }
    STDMETHOD(WriteList)(IMailMsgRecipientsAdd*) override { return E_NOTIMPL; }
    STDMETHOD(SetNextDomain)(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(InitializeRecipientFilterContext)(LPRECIPIENT_FILTER_CONTEXT, DWORD, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHOD(TerminateRecipientFilterContext)(LPRECIPIENT_FILTER_CONTEXT) override { return E_NOTIMPL; }
    STDMETHOD(GetNextRecipient)(LPRECIPIENT_FILTER_CONTEXT, DWORD*) override { return E_NOTIMPL; }

    virtual ~MailMessage() = default;

private:
    std::atomic<LONG> references_{0};
    std::mutex mutex_;
    std::string content_;
    PropertyMap properties_;
    std::vector<PropertyMap> recipients_;
};

// An address taken from the content is used only if it could be one: no control bytes.
bool plausibleAddress(std::string_view address) {
    if (address.empty()) return false;
    for (unsigned char c : address)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

}  // namespace

bool IsNullSender(std::string_view sender) { return sender.empty() || sender == "<>"; }

std::string BareAddress(std::string_view address) {
    if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
        address = address.substr(1, address.size() - 2);
    return std::string(address);
}

HRESULT CreateMailMessage(std::string content, const Envelope& envelope, IMailMsgProperties** message) {
    if (!message) return E_POINTER;
    *message = nullptr;
    if (content.size() > kMaxContentBytes) return E_INVALIDARG;
    try {
        std::string sender;
        if (IsNullSender(envelope.sender)) {
            if (auto from = MessageHeaders(content).Get("From")) sender = MailboxAddress(*from);
            if (!plausibleAddress(sender)) sender.clear();
        } else {
            sender = BareAddress(envelope.sender);
        }
        std::vector<PropertyMap> recipients;
        recipients.reserve(envelope.recipients.size());
        for (const std::string& recipient : envelope.recipients)
            recipients.push_back({{IMMPID_RP_ADDRESS_SMTP, BareAddress(recipient)}});
        auto* created = new MailMessage(std::move(content), std::move(recipients));
        if (!sender.empty()) created->properties()[IMMPID_MP_SENDER_ADDRESS_SMTP] = sender;
        created->AddRef();
        *message = created;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace platform::smtp
