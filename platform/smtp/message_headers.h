// The header fields of an RFC 5322 message, unfolded, looked up by name without
// regard to case.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::smtp {

class MessageHeaders {
public:
    // Reads the header section at the start of `content`; no fields when it has none.
    explicit MessageHeaders(std::string_view content);

    // The first field of that name: its value unfolded, without surrounding white space.
    std::optional<std::string> Get(std::string_view name) const;
    bool Has(std::string_view name) const { return Get(name).has_value(); }
    bool Empty() const { return fields_.empty(); }

private:
    struct Field {
        std::string name;
        std::string value;
    };
    std::vector<Field> fields_;
};

// The address of the first mailbox in an address field ("Name <a@b>", "a@b (Name)"):
// the text between angle brackets, else the field without comments; empty if none.
std::string MailboxAddress(std::string_view fieldValue);

// Compares ASCII text without regard to the case of letters.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace platform::smtp
