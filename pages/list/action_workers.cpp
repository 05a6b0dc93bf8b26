#include "pages/list/action_workers.h"

namespace kestrix {

namespace {

// Stopped and let go: the thread ends by itself once it sees the request.
// It holds only its own copies, so nothing it reads goes away under it.
void LetGo(std::jthread& worker) {
    worker.request_stop();
    if (worker.joinable()) worker.detach();
}

}  // namespace

void ActionWorkers::Start(int kind, Body body) {
    Release(kind);
    workers_.emplace(kind,
                     std::jthread([body = std::move(body)](std::stop_token stop) { body(stop); }));
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
