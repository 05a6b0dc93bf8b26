#pragma once
// The simulator's firmware fetches: TFTP through libcurl, the client the
// devices' firmware fetch is modelled on and one that is not ours, so the
// tool's file server meets a client it was not written against.
//
// One thread runs every transfer through a curl multi handle, at most
// `maxConcurrent` at a time (the rest wait in order), so a thousand devices
// upgrading at once cost one thread and a bounded number of sockets. Each
// transfer leaves from its device's own address. Finished fetches are
// collected with TakeResults when notify_fd() is readable; the receive loop
// never waits for a transfer.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tools/devsim/upgrade.h"

namespace kestrix::devsim {

class TftpFetcher : public Fetcher {
public:
    explicit TftpFetcher(int maxConcurrent);
    ~TftpFetcher() override;
    TftpFetcher(const TftpFetcher&) = delete;
    TftpFetcher& operator=(const TftpFetcher&) = delete;

    // Sets libcurl up and starts the thread. Call before any other thread
    // uses libcurl.
    bool Open(std::string& err);
    void Start(const FetchRequest& request) override;
    void Cancel(uint64_t id) override;
    // Readable while finished fetches wait to be taken.
    int notify_fd() const { return eventFd_; }
    std::vector<FetchResult> TakeResults();
    // Ends every transfer and the thread (within a poll wake-up).
    void Stop();

private:
    struct Transfer;
    void Run(std::stop_token stop);
    void Begin(const FetchRequest& request);
    void Finish(Transfer& t, int code);
    void Post(FetchResult result);

    const size_t maxConcurrent_;
    int eventFd_ = -1;
    void* multi_ = nullptr;  // CURLM*, kept out of this header

    std::mutex mutex_;
    std::deque<FetchRequest> queued_;
    std::vector<uint64_t> cancels_;
    std::vector<FetchResult> results_;

    // Only the thread touches these.
    std::unordered_map<uint64_t, std::unique_ptr<Transfer>> active_;
    std::jthread thread_;
};

}  // namespace kestrix::devsim
