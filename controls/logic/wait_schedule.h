#pragma once
// The clock of the wait dialog: a tick every 500 ms for `seconds`, and in
// its last seconds a few searches three seconds apart (the last on the
// final tick), so that devices coming back from a restart are found again.
// The first of those searches is preceded by releasing the devices that
// only announced themselves.

namespace kestrix {

class WaitSchedule {
public:
    static constexpr int kTickMs = 500;

    WaitSchedule(int seconds, bool research, int researchCount);

    struct Step {
        bool releaseAnnounced = false;
        bool search = false;
        int position = 0;  // progress, 0..Total()
        bool finished = false;
    };
    // One timer event.
    Step Tick();

    int Total() const { return total_; }
    int Counter() const { return counter_; }
    int SearchesLeft() const { return remaining_; }

private:
    int total_;
    int counter_ = 1;
    bool research_;
    int researchCount_;
    int remaining_;
};

}  // namespace kestrix
