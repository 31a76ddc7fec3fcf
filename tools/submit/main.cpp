// pellicor-submit: the transport stand-in's command line. Until the sink can be
// created through the component runtime, the event goes straight to the sink's
// event operation.
#include <iostream>

#include "message_event.h"
#include "submit_command.h"

namespace {

HRESULT fireAtSink(IMailMsgProperties* message, platform::smtp::Verdict* verdict) {
    platform::smtp::MessageEventFunction handler = HandleMessageEvent;
    return platform::smtp::FireMessageEvent(handler, message, verdict);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return submit::RunSubmit(args, fireAtSink, stdin, std::cout, std::cerr);
}
