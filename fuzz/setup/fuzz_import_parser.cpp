// The import file parser on arbitrary bytes, for every list: every entry it yields
// comes from one field and carries an "@"; a domain entry begins with it; none
// has a line end, a TAB or spaces at its end; and the exported form of the
// entries parses back to the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rule_list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view content(reinterpret_cast<const char*>(data), size);
    for (int16_t list = 0; list < 3; ++list) {
        std::vector<std::string> entries = ParseRuleListFile(content, list);
        for (const std::string& entry : entries) {
            if (entry.find('@') == std::string::npos || entry.find_first_of("\r\n\t") != std::string::npos)
                std::abort();
            if (list != 2 && entry.front() != '@') std::abort();
            if (entry.back() == ' ' || (list == 2 && entry.front() == ' ')) std::abort();
            if (entry.size() > size) std::abort();
        }
        if (ParseRuleListFile(FormatRuleListFile(entries), list) != entries) std::abort();
    }
    return 0;
}
