// One message as the MTA hands it over the milter protocol, put back together as
// the transport would have received it: envelope, then the content with CRLF lines.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace pellicor::milter {

class ReceivedMessage {
public:
    // The envelope sender without angle brackets; empty for the null sender "<>".
    void SetSender(std::string address) { sender_ = std::move(address); }
    void AddRecipient(std::string address) { recipients_.push_back(std::move(address)); }

    // One header field as received; line breaks inside a folded value become CRLF.
    // `valueHasLeadingSpace`: the value keeps the white space after the colon.
    void AddHeader(const std::string& name, const std::string& value, bool valueHasLeadingSpace);
    // The blank line between the header section and the body.
    void EndHeaders();
    // A piece of the body; bare LF line ends become CRLF, even across pieces.
    void AddBody(const unsigned char* data, size_t length);

    const std::string& sender() const { return sender_; }
    const std::vector<std::string>& recipients() const { return recipients_; }
    const std::string& content() const { return content_; }
    // Hands the content over; the message is empty afterwards.
    std::string TakeContent();

private:
    void AppendWithCrlf(const char* data, size_t length);

    std::string sender_;
    std::vector<std::string> recipients_;
    std::string content_;
    bool headersEnded_ = false;
    bool lastWasCr_ = false;
};

}  // namespace pellicor::milter
