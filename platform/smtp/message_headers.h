// The header fields of an RFC 5322 message, read in place: nothing is copied until
// a value is asked for unfolded.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace platform::smtp {

struct HeaderField {
    std::string_view name;   // as written, trimmed
    std::string_view value;  // raw: after the colon, folded lines and their line ends included
};

// Walks the fields of the header section at the start of a message in order.
class HeaderFieldReader {
public:
    explicit HeaderFieldReader(std::string_view content);

    // The next field; false after the last one.
    bool Next(HeaderField& field);

private:
    std::string_view header_;
    size_t at_ = 0;
    bool bareCr_ = false;  // lines end with a bare CR
};

// A raw value unfolded (line ends removed, RFC 5322 3.2.2) and trimmed of white space.
std::string Unfold(std::string_view rawValue);

class MessageHeaders {
public:
    // Reads the header section at the start of `content`; no fields when it has none.
    explicit MessageHeaders(std::string_view content) : content_(content) {}

    // The first field of that name: its value unfolded, without surrounding white space.
    std::optional<std::string> Get(std::string_view name) const;
    bool Has(std::string_view name) const { return Get(name).has_value(); }

private:
    std::string_view content_;
};

// The address of the first mailbox in an address field ("Name <a@b>", "a@b (Name)"):
// the text between angle brackets, else the field without comments; empty if none.
std::string MailboxAddress(std::string_view fieldValue);

// Compares ASCII text without regard to the case of letters.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
// Where `needle` occurs in `text`, letter case aside; npos if nowhere.
size_t FindIgnoringCase(std::string_view text, std::string_view needle);

}  // namespace platform::smtp
