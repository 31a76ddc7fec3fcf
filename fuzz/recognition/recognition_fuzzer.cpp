// The recogniser on arbitrary content: it never crashes, agrees with itself
// whatever the envelope, and names the evidence for every decision it makes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "header_text.h"
#include "out_of_office_marker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view content(reinterpret_cast<const char*>(data), size);
    platform::smtp::Recognition withNull = platform::smtp::RecogniseMessage(content, true);
    platform::smtp::Recognition withSender = platform::smtp::RecogniseMessage(content, false);
    // The null sender is only ever a sign for marking, never against it.
    if (withSender.kind == platform::smtp::MessageKind::OutOfOffice && withNull.kind != withSender.kind) std::abort();
    if (withNull.kind != platform::smtp::MessageKind::Other && withNull.rule.empty()) std::abort();
    if (!withNull.fieldName.empty() && withNull.Reason().rfind(withNull.fieldName + ": ", 0) != 0) std::abort();
    platform::smtp::DecodeHeaderText(content);
    return 0;
}
