// The transport stand-in on arbitrary content: building the mail message (the null
// sender takes the From: field's address) and running the out-of-office marker.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mail_message.h"
#include "out_of_office_marker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    IMailMsgProperties* message = nullptr;
    if (FAILED(platform::smtp::CreateMailMessage(content, {"", {"bob@partner.example"}}, &message))) return 0;
    platform::smtp::Recognition result;
    if (FAILED(platform::smtp::RunOutOfOfficeMarker(message, true, &result))) std::abort();
    if (result.kind != platform::smtp::ClassifyMessage(content, true)) std::abort();

    char sender[4096];
    HRESULT hr = message->GetStringA(IMMPID_MP_SENDER_ADDRESS_SMTP, sizeof sender, sender);
    if (SUCCEEDED(hr) && std::string(sender).empty()) std::abort();  // an empty address is never stored
    if (message->Release() != 0) std::abort();
    return 0;
}
