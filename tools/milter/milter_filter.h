// The milter protocol callbacks: gather each message, judge it at its end, and
// discard it when the sink condemned it. Any failure accepts the message.
#pragma once
#include <libmilter/mfapi.h>

namespace pellicor_milter {

class TransportHost;

// The filter description for smfi_register; callbacks judge through `host`.
smfiDesc MilterDescription(TransportHost& host);

// Sessions (MTA connections) still open, for a clean stop.
int OpenSessions();

}  // namespace pellicor_milter
