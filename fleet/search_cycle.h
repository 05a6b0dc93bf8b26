#pragma once
// The status page's search: the full cycle once (so that devices no longer
// heard leave the list and announced-only ones are asked again), then a
// plain search at every interval until the search time is up.

#include <cstdint>

namespace kestrix {

inline constexpr int64_t kSearchIntervalMs = 3000;
inline constexpr int64_t kStatusSearchMs = 30000;

// The order matters: capture devices first (the ARP frame needs them),
// announced-only devices released before they are dropped, the store
// reconciled with what is left, and only then the new search.
template <class Link>
void StartSearchCycle(Link& link) {
    link.RefreshCaptureDevices();
    link.ReleaseAnnounced();
    link.DropAnnounced();
    link.ReconcileStore();
    link.Search();
}

// When the repeated searches of one search run are due. The cycle itself
// goes out at 0; a search is due at every multiple of the interval that
// lies before the end (a 9-second run with 3-second steps searches again at
// 3 and 6 seconds and ends at 9). A caller that wakes up late gets one
// search, not a burst of the ones it missed.
class SearchSchedule {
public:
    SearchSchedule(int64_t totalMs, int64_t intervalMs);

    // True when a repeated search is due at `elapsedMs`; it is then taken.
    bool TakeDue(int64_t elapsedMs);
    bool Finished(int64_t elapsedMs) const { return elapsedMs >= totalMs_; }
    // When the next search is due, or the end when none is left.
    int64_t NextEventMs() const;
    int64_t TotalMs() const { return totalMs_; }

private:
    int64_t totalMs_;
    int64_t intervalMs_;
    int64_t nextMs_;
};

}  // namespace kestrix
