// pellicor-submit: the transport stand-in's command line. The sink is created the
// way the transport creates it: by "Pellicor.Sink" through the component runtime.
#include <iostream>
#include <string>

#include "message_event_source.h"
#include "sink_class.h"
#include "submit_command.h"

// The sink is looked up (and registered, with --register) only for good input, so that
// a bad command line leaves the hive as it was.
HRESULT FireAtSink(IMailMsgProperties* message, platform::smtp::Verdict* verdict, bool registerSink,
                   std::string& reason) {
    CLSID sinkClass{};
    HRESULT hr = pellicor::submit::FindSinkClass(sinkClass, registerSink, reason);
    if (FAILED(hr)) return hr;
    return platform::smtp::FireMessageEvent(sinkClass, message, verdict);
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return pellicor::submit::RunSubmit(args, FireAtSink, stdin, std::cout, std::cerr);
}
