#include "controls/logic/wait_schedule.h"

#include <algorithm>

namespace kestrix {

WaitSchedule::WaitSchedule(int seconds, bool research, int researchCount)
    : total_(2 * std::max(seconds, 0)),
      research_(research),
      researchCount_(researchCount),
      remaining_(researchCount) {}

WaitSchedule::Step WaitSchedule::Tick() {
    Step step;
    ++counter_;
    // Searches fall on ticks total - 6r + 6 for r = researchCount .. 1:
    // six ticks (three seconds) apart, the last on the final tick.
    if (research_ && remaining_ > 0 && counter_ == total_ - 6 * remaining_ + 6) {
        step.releaseAnnounced = remaining_ == researchCount_;
        --remaining_;
        step.search = true;
    }
    step.position = std::min(counter_, total_);
    step.finished = counter_ >= total_;
    return step;
}

}  // namespace kestrix
