// The sink's event operation: called by the transport once for every message,
// from any of its threads, several at once. It loads the message into the
// message component through a MessageContentStream and, when that succeeds,
// runs FilterMessage. Every failure leaves the message as it came.
#pragma once
#include "mailmsg.h"
#include "rule_store.h"

// Judges one message against the rule lists in the machine registry. Always
// returns S_OK and never throws; keeps no state between calls.
HRESULT HandleMessageEvent(IMailMsgProperties* message);

// Creates the message component and returns its IUnknown.
using MessageComponentFactory = HRESULT (*)(IUnknown** component);

// The CDO Message class through the component runtime, in creation context 23.
HRESULT CreateMessageComponent(IUnknown** component);

// The same with the rule lists and the message component taken from elsewhere;
// substitutes for tests.
HRESULT HandleMessageEvent(IMailMsgProperties* message, RuleStore& rules, MessageComponentFactory create);
