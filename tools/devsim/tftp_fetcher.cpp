#include "tools/devsim/tftp_fetcher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

#include <curl/curl.h>

namespace kestrix::devsim {

struct TftpFetcher::Transfer {
    FetchRequest request;
    CURL* easy = nullptr;
    uint64_t bytes = 0;
    bool overflow = false;
    std::string url;
    std::string interface;
};

namespace {

CURLM* Multi(void* p) {
    return static_cast<CURLM*>(p);
}

// A device that moved to an address the fleet interface does not hold still
// binds its socket there; its fetch then fails like any unreachable one.
int OnSocket(void*, curl_socket_t fd, curlsocktype) {
    int one = 1;
    setsockopt(fd, IPPROTO_IP, IP_FREEBIND, &one, sizeof one);
    return CURL_SOCKOPT_OK;
}

}  // namespace

TftpFetcher::TftpFetcher(int maxConcurrent)
    : maxConcurrent_(static_cast<size_t>(std::max(1, maxConcurrent))) {}

TftpFetcher::~TftpFetcher() {
    Stop();
    if (eventFd_ >= 0) close(eventFd_);
}

bool TftpFetcher::Open(std::string& err) {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        err = "libcurl cannot be initialised";
        return false;
    }
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    bool tftp = false;
    for (const char* const* p = info->protocols; p != nullptr && *p != nullptr; ++p) {
        tftp |= std::strcmp(*p, "tftp") == 0;
    }
    if (!tftp) {
        err = std::string("libcurl ") + info->version + " has no TFTP";
        return false;
    }
    eventFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventFd_ < 0) {
        err = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    multi_ = curl_multi_init();
    if (multi_ == nullptr) {
        err = "curl_multi_init failed";
        return false;
    }
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    return true;
}

void TftpFetcher::Start(const FetchRequest& request) {
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(request);
    }
    if (multi_ != nullptr) curl_multi_wakeup(Multi(multi_));
}

void TftpFetcher::Cancel(uint64_t id) {
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(queued_.begin(), queued_.end(),
                               [id](const FetchRequest& r) { return r.id == id; });
        if (it != queued_.end()) {
            queued_.erase(it);
            return;
        }
        cancels_.push_back(id);
    }
    if (multi_ != nullptr) curl_multi_wakeup(Multi(multi_));
}

std::vector<FetchResult> TftpFetcher::TakeResults() {
    uint64_t n = 0;
    if (eventFd_ >= 0) (void)!read(eventFd_, &n, sizeof n);
    std::lock_guard lock(mutex_);
    return std::exchange(results_, {});
}

void TftpFetcher::Stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    curl_multi_wakeup(Multi(multi_));
    thread_.join();
    for (auto& [id, t] : active_) {
        curl_multi_remove_handle(Multi(multi_), t->easy);
        curl_easy_cleanup(t->easy);
    }
    active_.clear();
    curl_multi_cleanup(Multi(multi_));
    multi_ = nullptr;
}

void TftpFetcher::Begin(const FetchRequest& request) {
    auto t = std::make_unique<Transfer>();
    t->request = request;
    t->easy = curl_easy_init();
    if (t->easy == nullptr) {
        FetchResult r;
        r.id = request.id;
        r.device = request.device;
        r.error = "curl_easy_init failed";
        Post(std::move(r));
        return;
    }
    CURL* e = t->easy;
    // Every byte of the name travels escaped, so no character of it can
    // change the URL (a '/', '?', '#' or ";mode=" stays part of the name).
    char* escaped = curl_easy_escape(e, request.file.data(), static_cast<int>(request.file.size()));
    t->url = "tftp://" + IpBytesToText(request.server) + ":" + std::to_string(request.port) + "/" +
             (escaped != nullptr ? escaped : "");
    curl_free(escaped);
    t->interface = "host!" + IpBytesToText(request.local);
    curl_easy_setopt(e, CURLOPT_URL, t->url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "tftp");
    curl_easy_setopt(e, CURLOPT_INTERFACE, t->interface.c_str());
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, OnSocket);
    curl_easy_setopt(e, CURLOPT_TFTP_BLKSIZE, static_cast<long>(request.block_size));
    // The simulator gives the fetch up at its own deadline and cancels it;
    // libcurl's limit, a second later, only backs that up.
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout_ms + 1000));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // The image is counted, not kept: the simulator needs only its size. A
    // server that sends more than the request announced is cut off there,
    // as a device with a partition of that size would.
    curl_easy_setopt(
        e, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t n, void* user) {
            auto* tr = static_cast<Transfer*>(user);
            const uint64_t len = static_cast<uint64_t>(size) * n;
            tr->bytes += len;
            if (tr->bytes > tr->request.expected) {
                tr->overflow = true;
                return size_t{0};
            }
            return static_cast<size_t>(len);
        });
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
    if (curl_multi_add_handle(Multi(multi_), e) != CURLM_OK) {
        Finish(*t, CURLE_FAILED_INIT);
        curl_easy_cleanup(e);
        return;
    }
    active_.emplace(request.id, std::move(t));
}

void TftpFetcher::Finish(Transfer& t, int code) {
    FetchResult r;
    r.id = t.request.id;
    r.device = t.request.device;
    r.bytes = t.bytes;
    r.overflow = t.overflow;
    r.complete = code == CURLE_OK;
    if (!r.complete && !r.overflow) {
        // The code's own text: libcurl's error buffer keeps the first
        // complaint of the transfer, which for TFTP is often a harmless one
        // about the unconnected UDP socket.
        r.error = curl_easy_strerror(static_cast<CURLcode>(code));
    }
    Post(std::move(r));
}

void TftpFetcher::Post(FetchResult result) {
    {
        std::lock_guard lock(mutex_);
        results_.push_back(std::move(result));
    }
    uint64_t one = 1;
    (void)!write(eventFd_, &one, sizeof one);
}

void TftpFetcher::Run(std::stop_token stop) {
    CURLM* multi = Multi(multi_);
    while (!stop.stop_requested()) {
        std::vector<uint64_t> cancels;
        std::vector<FetchRequest> starts;
        {
            std::lock_guard lock(mutex_);
            cancels.swap(cancels_);
            while (active_.size() + starts.size() < maxConcurrent_ && !queued_.empty()) {
                starts.push_back(std::move(queued_.front()));
                queued_.pop_front();
            }
        }
        for (uint64_t id : cancels) {
            auto it = active_.find(id);
            if (it == active_.end()) continue;
            curl_multi_remove_handle(multi, it->second->easy);
            curl_easy_cleanup(it->second->easy);
            active_.erase(it);
        }
        for (const FetchRequest& r : starts) Begin(r);

        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
            if (m->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
            CURL* easy = m->easy_handle;
            const int code = m->data.result;
            if (t != nullptr) {
                Finish(*t, code);
                const uint64_t id = t->request.id;
                curl_multi_remove_handle(multi, easy);
                curl_easy_cleanup(easy);
                active_.erase(id);
            }
        }
        // A finished transfer makes room for a queued one at once.
        bool more = false;
        {
            std::lock_guard lock(mutex_);
            more = !queued_.empty() && active_.size() < maxConcurrent_;
        }
        if (!more) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
}

}  // namespace kestrix::devsim
