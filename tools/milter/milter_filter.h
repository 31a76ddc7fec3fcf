// The milter protocol callbacks: gather each message, judge it at its end, and
// discard, hold or only log it when the sink condemned it, as the mode says.
// Any failure accepts the message.
#pragma once
#include <libmilter/mfapi.h>

#include "milter_options.h"

namespace pellicor::milter {

class Counters;
class TransportHost;

// The filter description for smfi_register; callbacks judge through `host`
// and count what they did in `counters`.
smfiDesc MilterDescription(TransportHost& host, Mode mode, Counters& counters);

// Sessions (MTA connections) still open, for a clean stop.
int OpenSessions();

}  // namespace pellicor::milter
