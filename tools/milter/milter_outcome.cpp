#include "milter_outcome.h"

namespace pellicor::milter {

Action ActionFor(const Judgement& judgement, Mode mode) {
    if (judgement.failed) return Action::AcceptFailed;
    if (!judgement.deleted) return Action::Accept;
    switch (mode) {
    case Mode::Hold: return Action::Quarantine;
    case Mode::Monitor: return Action::WouldDiscard;
    case Mode::Discard: break;
    }
    return Action::Discard;
}

void Counters::Count(const Judgement& judgement, Action action) {
    ++judged_;
    if (judgement.recognised) ++recognised_;
    if (action == Action::AcceptFailed) ++failed_;
    else if (judgement.deleted) ++condemned_;
}

void Counters::CountUnjudged() { ++failed_; }

std::string Counters::Line(Mode mode) const {
    return "counters: judged=" + std::to_string(judged_) + " recognised=" + std::to_string(recognised_) +
           " condemned=" + std::to_string(condemned_) + " failed=" + std::to_string(failed_) + " (mode " +
           ModeName(mode) + ")";
}

}  // namespace pellicor::milter
