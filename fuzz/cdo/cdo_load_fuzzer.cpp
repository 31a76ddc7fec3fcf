// The message component's loading from arbitrary bytes. The first byte picks how
// many bytes each Read delivers and whether Stat tells the truth about the size.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "memory_stream.h"
#include "message.h"
#include "oleauto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ULONG chunk = (data[0] & 0x7F) ? (data[0] & 0x7F) : 0xFFFFFFFFu;
    bool understate = data[0] & 0x80;
    MemoryStream stream(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    stream.readChunk = chunk;
    if (understate) stream.statSize_ /= 2;

    auto* message = new platform::cdo::Message;
    message->AddRef();
    IDataSource* source = nullptr;
    static_cast<IMessage*>(message)->get_DataSource(&source);
    BSTR name = SysAllocString(u"IStream");
    HRESULT hr = source->OpenObject(&stream, name);
    SysFreeString(name);
    source->Release();

    if (stream.references != 1) std::abort();  // every reference taken is given back
    if (SUCCEEDED(hr)) {
        // The parts are the content, in order, without gaps beyond the blank line; only
        // a leading mbox "From " line may stand before the header.
        std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
        std::string_view header = message->Header();
        std::string_view body = message->Body();
        if (header.empty() || header.size() + body.size() > input.size()) std::abort();
        const char* contentStart = body.data() + body.size() - input.size();
        size_t skipped = size_t(header.data() - contentStart);
        if (skipped > input.size() - body.size() - header.size()) std::abort();
        if (input.substr(skipped, header.size()) != header) std::abort();
        if (skipped > 0) {
            std::string_view from = input.substr(0, skipped);
            char lineEnd = input.find('\n') != input.npos ? '\n' : '\r';  // bare CR only without any LF
            if (!from.starts_with("From ") || from.find(lineEnd) != skipped - 1) std::abort();
        }
        if (input.substr(input.size() - body.size()) != body) std::abort();
    }
    message->Release();
    return 0;
}
