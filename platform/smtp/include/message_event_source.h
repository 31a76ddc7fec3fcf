// Firing the transport's message event at a sink and reading its verdict: a message
// whose status property (0x1014) holds 2 afterwards is deleted, any other is delivered.
#pragma once
#include "mailmsg.h"

namespace platform::smtp {

enum class Verdict { Delivered, Deleted };

// "delivered" or "deleted".
const char* VerdictName(Verdict verdict);

// The verdict the message's status property gives now.
Verdict ReadVerdict(IMailMsgProperties* message);

// A sink's event operation called as a plain function, for hosts that link the
// sink's logic directly instead of creating the sink through the component runtime.
using MessageEventFunction = HRESULT (*)(IMailMsgProperties* message);

// Calls `handler` with the message, then reads the verdict. Returns the handler's status.
HRESULT FireMessageEvent(MessageEventFunction handler, IMailMsgProperties* message, Verdict* verdict);

// Asks `sink` for the message event interface, calls its operation with the message
// and no notification, then reads the verdict. Returns the query's or the call's status.
HRESULT FireMessageEvent(IUnknown* sink, IMailMsgProperties* message, Verdict* verdict);

// Creates the sink of class `sinkClass` in process, fires the event at it and releases it.
HRESULT FireMessageEvent(REFCLSID sinkClass, IMailMsgProperties* message, Verdict* verdict);

}  // namespace platform::smtp
