// The transport's side of one message: build the mail message from content and
// envelope, let the out-of-office marker mark it, fire the message event at the
// sink ("Pellicor.Sink") and read the verdict. The sink is created once and kept
// when it says it may be cached; it is free-threaded, so every session shares it.
// Events run on a few long-lived threads of the host's own, as a transport's do:
// libmilter starts a thread per MTA connection, and what a thread sets up once
// (its registry connection, say) would otherwise be set up again for every message.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mail_message.h"
#include "message_event_source.h"
#include "seo.h"

namespace pellicor_milter {

// The marker judges by header fields only, so the MTA need not send the body.
inline constexpr bool kMarkerReadsBody = false;

struct Judgement {
    bool deleted = false;  // the sink set the status that aborts delivery
    bool failed = false;   // something in the host or the sink failed: deliver
    std::string reason;    // why it failed, for the log
};

class TransportHost {
public:
    TransportHost() = default;
    ~TransportHost();
    TransportHost(const TransportHost&) = delete;
    TransportHost& operator=(const TransportHost&) = delete;

    // Starts `count` event threads. Start them after any fork and with the signal
    // mask the threads should have; until then events run on the caller's thread.
    void StartEventThreads(unsigned count);

    // Never throws; a failure comes back as failed, and the message is delivered.
    Judgement Judge(std::string content, const platform::smtp::Envelope& envelope);

    // Stops the event threads and drops the cached sink (before the process ends).
    void Shutdown();

private:
    Judgement JudgeOnThisThread(std::string content, const platform::smtp::Envelope& envelope);
    void RunEvents();
    // The sink with one reference for the caller, or a failed status.
    HRESULT AcquireSink(IUnknown** sink);

    std::mutex sinkMutex_;
    IUnknown* cachedSink_ = nullptr;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> eventThreads_;
};

}  // namespace pellicor_milter
