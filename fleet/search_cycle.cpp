#include "fleet/search_cycle.h"

#include <algorithm>

namespace kestrix {

SearchSchedule::SearchSchedule(int64_t totalMs, int64_t intervalMs)
    : totalMs_(std::max<int64_t>(0, totalMs)),
      intervalMs_(std::max<int64_t>(1, intervalMs)),
      nextMs_(intervalMs_) {}

bool SearchSchedule::TakeDue(int64_t elapsedMs) {
    if (nextMs_ >= totalMs_ || elapsedMs < nextMs_ || elapsedMs >= totalMs_) return false;
    // Skip every step already passed, so a late caller searches once.
    nextMs_ = (elapsedMs / intervalMs_ + 1) * intervalMs_;
    return true;
}

int64_t SearchSchedule::NextEventMs() const {
    return std::min(nextMs_, totalMs_);
}

}  // namespace kestrix
