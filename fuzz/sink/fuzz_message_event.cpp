// Input: a control byte (bit 0: mark as out-of-office whatever the headers say,
// bit 1: let the marker component decide), the envelope sender up to the first
// newline, comma-separated recipients up to the next, then the content.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "mail_message.h"
#include "message_event.h"
#include "out_of_office_marker.h"
#include "windows.h"

namespace {

void WriteList(const char16_t* path, std::initializer_list<const char16_t*> entries) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
        std::abort();
    }
    for (const char16_t* entry : entries) RegSetValueExW(key, entry, 0, REG_SZ, nullptr, 0);
    RegCloseKey(key);
}

std::string_view TakeLine(std::string_view& input) {
    std::size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return line;
}

std::string hivePath;

void RemoveHive() {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((hivePath + suffix).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hivePath = "/tmp/pellicor-fuzz-hive-" + std::to_string(getpid()) + ".sqlite";
    setenv("PELLICOR_REGISTRY", hivePath.c_str(), 1);
    RemoveHive();
    std::atexit(RemoveHive);
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains", {u"@away.example", u"*"});
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledRecipientDomains", {u"@home.example", u"@A"});
    WriteList(u"SOFTWARE\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses", {u"vip@away.example", u"x"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::uint8_t control = data[0];
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    platform::smtp::Envelope envelope;
    envelope.sender = std::string(TakeLine(input));
    std::string_view recipients = TakeLine(input);
    while (!recipients.empty()) {
        std::size_t comma = recipients.find(',');
        envelope.recipients.emplace_back(recipients.substr(0, comma));
        recipients.remove_prefix(comma == std::string_view::npos ? recipients.size() : comma + 1);
    }

    IMailMsgProperties* message = nullptr;
    if (FAILED(platform::smtp::CreateMailMessage(std::string(input), envelope, &message))) return 0;
    if (control & 1) platform::smtp::WriteOutOfOfficeMarker(message);
    if (control & 2) {
        platform::smtp::RunOutOfOfficeMarker(message, platform::smtp::IsNullSender(envelope.sender), nullptr);
    }
    if (HandleMessageEvent(message) != S_OK) std::abort();
    if (message->Release() != 0) std::abort();  // every reference the sink took is given back
    return 0;
}
