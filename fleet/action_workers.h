#pragma once
// The worker threads of a page's actions, one per action kind. A worker
// takes copies of everything it needs when it starts (the selection, the
// settings to send) and never touches the page. Starting an action again
// asks the previous worker of that kind to stop and lets it go, so the new
// one starts at once; a page that goes away does the same with all of them.
// (A worker that pauses uses InterruptibleSleep of fleet/device_workers.h, which a
// stop request cuts short.)

#include <chrono>
#include <functional>
#include <map>
#include <stop_token>
#include <thread>

namespace kestrix {

class ActionWorkers {
public:
    using Body = std::function<void(std::stop_token)>;

    ActionWorkers() = default;
    ~ActionWorkers() { ReleaseAll(); }
    ActionWorkers(const ActionWorkers&) = delete;
    ActionWorkers& operator=(const ActionWorkers&) = delete;

    // Runs `body` on a thread of its own as the worker of `kind`.
    void Start(int kind, Body body);
    // Whether a worker of `kind` was started and not released since (it
    // may have finished).
    bool IsRegistered(int kind) const { return workers_.count(kind) != 0; }
    // Asks the worker of `kind` to stop and forgets it.
    void Release(int kind);
    void ReleaseAll();

    // Workers of every page still running, released or not.
    static int RunningCount();
    // Waits until no worker runs any more, or `limit` has passed; true when
    // none runs. The application calls it after its pages are gone (so every
    // worker has been asked to stop) and before the link shuts down, so that
    // no worker is caught halfway through a send while the link goes away.
    static bool WaitForRunningWorkers(std::chrono::milliseconds limit);

private:
    std::map<int, std::jthread> workers_;
};

}  // namespace kestrix
