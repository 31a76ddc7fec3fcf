#include "received_message.h"

namespace pellicor::milter {

void ReceivedMessage::AppendWithCrlf(const char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char c = data[i];
        if (c == '\n' && !lastWasCr_) content_.push_back('\r');
        content_.push_back(c);
        lastWasCr_ = c == '\r';
    }
}

void ReceivedMessage::AddHeader(const std::string& name, const std::string& value, bool valueHasLeadingSpace) {
    // Unless asked to keep it, the protocol strips the space after the colon.
    content_ += name;
    content_ += valueHasLeadingSpace ? ":" : ": ";
    lastWasCr_ = false;
    AppendWithCrlf(value.data(), value.size());
    content_ += lastWasCr_ ? "\n" : "\r\n";
    lastWasCr_ = false;
}

void ReceivedMessage::EndHeaders() {
    if (headersEnded_) return;
    headersEnded_ = true;
    content_ += "\r\n";
    lastWasCr_ = false;
}

void ReceivedMessage::AddBody(const unsigned char* data, size_t length) {
    EndHeaders();
    AppendWithCrlf(reinterpret_cast<const char*>(data), length);
}

std::string ReceivedMessage::TakeContent() {
    std::string taken = std::move(content_);
    content_.clear();
    headersEnded_ = false;
    lastWasCr_ = false;
    return taken;
}

}  // namespace pellicor::milter
