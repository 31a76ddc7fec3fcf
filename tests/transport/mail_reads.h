// Reads of the transport's mail message as the sink makes them: a string property
// (capacity 4096), the out-of-office marker and the recipients.
#pragma once
#include <string>

#include <gtest/gtest.h>

#include "mail_message.h"
#include "out_of_office_marker.h"

// The value, or "<missing>" when the read fails.
inline std::string StringProperty(IMailMsgProperties* message, DWORD id) {
    char buffer[4096] = {};
    return SUCCEEDED(message->GetStringA(id, sizeof buffer, buffer)) ? buffer : "<missing>";
}

// The property at the marker range's start + 27.
inline std::string MarkerOf(IMailMsgProperties* message) {
    IMailMsgPropertyManagement* management = nullptr;
    EXPECT_EQ(message->QueryInterface(IID_IMailMsgPropertyManagement, reinterpret_cast<void**>(&management)), S_OK);
    DWORD start = 0;
    EXPECT_EQ(management->AllocPropIDRange(platform::smtp::kMarkerRange, 2000, &start), S_OK);
    management->Release();
    return StringProperty(message, start + 27);
}

// Every recipient's SMTP address in order, each followed by a space.
inline std::string RecipientsOf(IMailMsgProperties* message) {
    IMailMsgRecipients* recipients = nullptr;
    EXPECT_EQ(message->QueryInterface(IID_IMailMsgRecipients, reinterpret_cast<void**>(&recipients)), S_OK);
    DWORD count = 0;
    EXPECT_EQ(recipients->Count(&count), S_OK);
    std::string all;
    char buffer[4096];
    for (DWORD i = 0; i < count; ++i) {
        HRESULT hr = recipients->GetStringA(i, IMMPID_RP_ADDRESS_SMTP, sizeof buffer, buffer);
        all += (SUCCEEDED(hr) ? buffer : "<missing>") + std::string(" ");
    }
    recipients->Release();
    return all;
}
