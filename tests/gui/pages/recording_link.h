#pragma once
// A stand-in for the link under the status page: it records every search
// step and every command in the order they arrive (the workers call it from
// their own threads) and answers record look-ups from a real store.

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "fleet/status_link.h"
#include "store/sql_management.h"

namespace kestrix::testing {

class RecordingLink : public StatusLink {
public:
    struct Call {
        std::string what;  // "send", "note", or the name of a search step
        std::string ip;    // send: the target; note: the current address
        MsgType type = MsgType::Announce;
        std::vector<uint8_t> payload;
        std::string mac;
        bool retry = false;
        std::string newIp;  // note
    };

    explicit RecordingLink(CSqlManagement* store = nullptr) : store_(store) {}

    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override {
        Call c{"send", target, type, {}, mac, registerRetry, {}};
        if (payload != nullptr) c.payload.assign(payload, payload + length);
        Add(std::move(c));
        return true;
    }
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp) override {
        Add({"note", currentIp, MsgType::Announce, {}, mac, false, newIp});
    }
    void RefreshCaptureDevices() override { Step("capture"); }
    void ReleaseAnnounced() override { Step("release"); }
    void DropAnnounced() override { Step("drop"); }
    void ReconcileStore() override { Step("reconcile"); }
    void Search() override { Step("search"); }
    bool GetDeviceByMac(const std::string& mac, ap_info_stu& record) override {
        return AppStatusLink(nullptr, store_).GetDeviceByMac(mac, record);
    }

    std::vector<Call> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const Call& c : Calls()) out.push_back(c.what);
        return out;
    }
    std::vector<Call> Sends(MsgType type) const {
        std::vector<Call> out;
        for (const Call& c : Calls())
            if (c.what == "send" && c.type == type) out.push_back(c);
        return out;
    }
    int Count(const std::string& what) const {
        const std::vector<Call> all = Calls();
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [&](const Call& c) { return c.what == what; }));
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    void Step(const char* name) {
        Call c;
        c.what = name;
        Add(std::move(c));
    }
    void Add(Call c) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(c));
    }

    CSqlManagement* store_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

}  // namespace kestrix::testing
