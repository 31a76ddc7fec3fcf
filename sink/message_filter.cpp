#include "message_filter.h"

#include <cstring>
#include <memory>
#include <new>

#include "atlbase.h"

namespace {

// Every string property is read with room for 4095 characters and the terminator.
constexpr DWORD kStringCapacity = 4096;
constexpr char kMarkerText[] = "ExOOF";

std::unique_ptr<char[]> NewWorkBuffer() {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStringCapacity]);
    if (buffer) buffer[0] = '\0';
    return buffer;
}

// Copies a property value read into the work buffer; false when it is too long
// to hold (or was left unterminated).
bool CopyAddress(const char* value, AddressText& target) {
    std::size_t length = strnlen(value, kStringCapacity);
    if (length >= kAddressCapacity) return false;
    std::memcpy(target.data(), value, length + 1);
    return true;
}

// Fills `address` and `domain` from the sender property; both stay empty when it
// cannot be read. Without an `@` the domain is the whole address.
void ReadSender(IMailMsgProperties* message, char* buffer, AddressText& address, AddressText& domain) {
    if (message->GetStringA(IMMPID_MP_SENDER_ADDRESS_SMTP, kStringCapacity, buffer) != S_OK) return;
    buffer[kStringCapacity - 1] = '\0';
    if (!CopyAddress(buffer, address)) return;
    const char* at = std::strchr(address.data(), '@');
    CopyAddress(at != nullptr ? at : address.data(), domain);
}

bool HasMarker(IMailMsgProperties* message, char* buffer) {
    CComPtr<IMailMsgPropertyManagement> management;
    if (message->QueryInterface(IID_IMailMsgPropertyManagement, reinterpret_cast<void**>(&management)) != S_OK) {
        return false;
    }
    DWORD start = 0;
    if (management->AllocPropIDRange(kMarkerRange, kMarkerRangeSize, &start) != S_OK) return false;
    std::memset(buffer, 0, kStringCapacity);
    if (message->GetStringA(start + kMarkerIndex, kStringCapacity, buffer) != S_OK) return false;
    return std::memcmp(buffer, kMarkerText, sizeof kMarkerText) == 0;
}

// The three lookups in order, each made only when the earlier ones leave the
// outcome open.
bool IsCondemned(const AddressText& senderAddress, const AddressText& senderDomain, const AddressText& recipientDomain,
                 RuleStore& rules) {
    if (recipientDomain[0] == '\0' || senderDomain[0] == '\0') return false;
    if (!IsInRuleList(senderDomain.data(), kDisabledDomainsList, rules)) return false;
    if (IsInRuleList(recipientDomain.data(), kEnabledRecipientDomainsList, rules)) return false;
    return !IsInRuleList(senderAddress.data(), kEnabledSenderAddressesList, rules);
}

}  // namespace

AddressText FirstRecipientDomain(IMailMsgProperties* message) {
    AddressText domain{};
    std::unique_ptr<char[]> buffer = NewWorkBuffer();
    if (!buffer) return domain;
    CComPtr<IMailMsgRecipients> recipients;
    if (FAILED(message->QueryInterface(IID_IMailMsgRecipients, reinterpret_cast<void**>(&recipients)))) {
        return domain;
    }
    DWORD count = 0;
    if (FAILED(recipients->Count(&count)) || count == 0) return domain;
    std::memset(buffer.get(), 0, kStringCapacity);
    if (FAILED(recipients->GetStringA(0, IMMPID_RP_ADDRESS_SMTP, kStringCapacity, buffer.get()))) {
        return domain;
    }
    buffer[kStringCapacity - 1] = '\0';
    AddressText address{};
    if (!CopyAddress(buffer.get(), address)) return domain;
    const char* at = std::strchr(address.data(), '@');
    if (at != nullptr) CopyAddress(at, domain);
    return domain;
}

void FilterMessage(IMailMsgProperties* message, RuleStore& rules) {
    AddressText senderAddress{};
    AddressText senderDomain{};
    bool outOfOffice = false;
    {
        std::unique_ptr<char[]> buffer = NewWorkBuffer();
        if (!buffer) return;
        ReadSender(message, buffer.get(), senderAddress, senderDomain);
        outOfOffice = HasMarker(message, buffer.get());
    }
    if (!outOfOffice) return;
    AddressText recipientDomain = FirstRecipientDomain(message);
    if (!IsCondemned(senderAddress, senderDomain, recipientDomain, rules)) return;
    message->PutDWORD(IMMPID_MP_MESSAGE_STATUS, MP_STATUS_ABORT_DELIVERY);
}

void FilterMessage(IMailMsgProperties* message) { FilterMessage(message, RegistryRuleStore()); }
