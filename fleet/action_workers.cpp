#include "fleet/action_workers.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace kestrix {

namespace {

std::mutex runningMutex;
std::condition_variable runningChanged;
int running = 0;

// Counts a worker from its first to its last instruction.
class RunningWorker {
public:
    RunningWorker() {
        std::lock_guard lock(runningMutex);
        ++running;
    }
    ~RunningWorker() {
        std::lock_guard lock(runningMutex);
        --running;
        runningChanged.notify_all();
    }
    RunningWorker(const RunningWorker&) = delete;
    RunningWorker& operator=(const RunningWorker&) = delete;
};

// Stopped and let go: the thread ends by itself once it sees the request.
// It holds only its own copies, so nothing it reads goes away under it.
void LetGo(std::jthread& worker) {
    worker.request_stop();
    if (worker.joinable()) worker.detach();
}

}  // namespace

void ActionWorkers::Start(int kind, Body body) {
    Release(kind);
    // Counted before the thread exists, so a wait that starts right after
    // Start never misses it.
    auto counted = std::make_shared<RunningWorker>();
    workers_.emplace(kind, std::jthread([body = std::move(body), counted = std::move(counted)](
                                            std::stop_token stop) mutable {
                         body(stop);
                         counted.reset();
                     }));
}

int ActionWorkers::RunningCount() {
    std::lock_guard lock(runningMutex);
    return running;
}

bool ActionWorkers::WaitForRunningWorkers(std::chrono::milliseconds limit) {
    std::unique_lock lock(runningMutex);
    return runningChanged.wait_for(lock, limit, [] { return running == 0; });
}

void ActionWorkers::Release(int kind) {
    auto it = workers_.find(kind);
    if (it == workers_.end()) return;
    LetGo(it->second);
    workers_.erase(it);
}

void ActionWorkers::ReleaseAll() {
    for (auto& [kind, worker] : workers_) LetGo(worker);
    workers_.clear();
}

}  // namespace kestrix
