// pellicor-submit: the transport stand-in's command line. The sink is created the
// way the transport creates it: by "Pellicor.Sink" through the component runtime.
#include <iostream>

#include "message_event_source.h"
#include "sink_class.h"
#include "submit_command.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CLSID sinkClass{};
    std::string reason;
    if (FAILED(submit::FindSinkClass(sinkClass, reason))) {
        std::cerr << "pellicor-submit: " << reason << "\n";
        return submit::kExitBadInput;
    }
    auto fireAtSink = [&](IMailMsgProperties* message, platform::smtp::Verdict* verdict) {
        return platform::smtp::FireMessageEvent(sinkClass, message, verdict);
    };
    return submit::RunSubmit(args, fireAtSink, stdin, std::cout, std::cerr);
}
