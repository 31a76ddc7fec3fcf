// The transport's side of one message: build the mail message from content and
// envelope, let the out-of-office marker mark it, fire the message event at the
// sink ("Pellicor.Sink") and read the verdict. The sink is created once and kept
// when it says it may be cached; it is free-threaded, so every session shares it.
// Events run on the calling thread: libmilter's thread for the MTA connection.
#pragma once
#include <mutex>
#include <string>

#include "atlbase.h"
#include "hive_warning.h"
#include "mail_message.h"
#include "message_event_source.h"
#include "seo.h"

namespace pellicor::milter {

// The marker judges by header fields only, so the MTA need not send the body.
inline constexpr bool kMarkerReadsBody = false;

struct Judgement {
    bool recognised = false;  // the marker took it for an out-of-office reply
    bool deleted = false;     // the sink set the status that aborts delivery
    bool failed = false;      // something in the host or the sink failed: deliver
    std::string reason;       // why it failed, in words, for the log
    std::string evidence;     // what the out-of-office marker decided on ("Auto-Submitted: ...")
};

// Why a step failed with `hr`, in words an administrator can act on, the status
// in brackets. `loadError` is the loader's reason when a library did not load.
enum class Step { BuildMessage, Marker, CreateSink, MessageEvent };
std::string FailureReason(Step step, HRESULT hr, const std::string& loadError);

class TransportHost {
public:
    TransportHost();
    ~TransportHost();
    TransportHost(const TransportHost&) = delete;
    TransportHost& operator=(const TransportHost&) = delete;

    // Never throws; a failure comes back as failed, and the message is delivered.
    Judgement Judge(std::string content, const platform::smtp::Envelope& envelope);

    // Drops the cached sink (before the process ends).
    void Shutdown();

private:
    // The sink with one reference for the caller, or a failed status.
    HRESULT AcquireSink(IUnknown** sink);

    std::mutex sinkMutex_;
    CComPtr<IUnknown> cachedSink_;
    HiveWarning hiveWarning_;
};

}  // namespace pellicor::milter
