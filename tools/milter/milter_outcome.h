// What the milter does with a judged message in each mode, and the counters
// of what it did, logged every so often and on request.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "milter_options.h"
#include "transport_host.h"

namespace pellicor::milter {

enum class Action {
    Accept,        // delivered untouched
    AcceptFailed,  // delivered because judging failed: logged as an error
    Discard,
    Quarantine,    // held by the MTA
    WouldDiscard,  // delivered, logged as "would discard" (monitor mode)
};

Action ActionFor(const Judgement& judgement, Mode mode);

// Counts since the milter started; safe to bump from every session's thread.
class Counters {
public:
    // Counts one judged message by its judgement and the action taken.
    void Count(const Judgement& judgement, Action action);
    // A message accepted without a judgement (gathering it failed).
    void CountUnjudged();

    // "counters: judged=J recognised=R condemned=C failed=F (mode M)".
    std::string Line(Mode mode) const;

private:
    std::atomic<std::uint64_t> judged_{0}, recognised_{0}, condemned_{0}, failed_{0};
};

}  // namespace pellicor::milter
