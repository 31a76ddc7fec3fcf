// pellicor-submit: the transport stand-in's command line. The sink is created the
// way the transport creates it: by "Pellicor.Sink" through the component runtime,
// in the multithreaded apartment the transport's threads live in.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#endif

#include "message_event_source.h"
#include "objbase.h"
#include "sink_class.h"
#include "submit_command.h"

namespace {

// The sink is looked up (and registered, with --register) only for good input, so that
// a bad command line leaves the hive as it was.
HRESULT FireAtSink(IMailMsgProperties* message, platform::smtp::Verdict* verdict, bool registerSink,
                   std::string& reason) {
    CLSID sinkClass{};
    HRESULT hr = pellicor::submit::FindSinkClass(sinkClass, registerSink, reason);
    if (FAILED(hr)) return hr;
    return platform::smtp::FireMessageEvent(sinkClass, message, verdict);
}

}  // namespace

int main(int argc, char** argv) {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "pellicor-submit: the component runtime did not start (0x%08lX)\n",
                     static_cast<unsigned long>(hr));
        return 1;
    }
#ifdef _WIN32
    // The message is read byte for byte: its CR LF line ends are part of it.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = pellicor::submit::RunSubmit(args, FireAtSink, stdin, std::cout, std::cerr);
    CoUninitialize();
    return status;
}
