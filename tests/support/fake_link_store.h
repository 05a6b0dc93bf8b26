#pragma once
// A thread-safe in-memory LinkStore for link tests: it keeps what the link
// wrote, the way the device table would, and counts the calls.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/link_store.h"
#include "link/wire/wire_format.h"

namespace kestrix::testing {

class FakeLinkStore : public LinkStore {
public:
    struct Row {
        ap_info_stu record;
        uint32_t status = 0;
        std::string ip;
        uint32_t uptime = 0;
        int saves = 0;
    };

    bool SaveDeviceInfo(const ap_info_stu& record) override {
        std::lock_guard lock(mutex_);
        Row& row = rows_[record.mac()];
        row.record = record;
        row.status = 1;
        row.ip = IpBytesToText(record.info().address().ip());
        row.uptime = record.info().up_time();
        ++row.saves;
        return true;
    }
    bool DeleteDevice(const std::string& mac) override {
        std::lock_guard lock(mutex_);
        deleted_.push_back(mac);
        return rows_.erase(mac) > 0;
    }
    bool GetAllDeviceMacs(std::vector<std::string>& out) override {
        std::lock_guard lock(mutex_);
        out.clear();
        for (const auto& [mac, row] : rows_) out.push_back(mac);
        return true;
    }
    bool UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                            uint32_t seconds) override {
        std::lock_guard lock(mutex_);
        ++uptimeCalls_;
        auto it = rows_.find(mac);
        if (it == rows_.end()) return false;
        it->second.ip = ip;
        it->second.uptime = seconds;
        return true;
    }
    bool SetDeviceStatus(const std::string& mac, uint32_t status) override {
        std::lock_guard lock(mutex_);
        statusLog_.push_back({mac, status});
        auto it = rows_.find(mac);
        if (it == rows_.end()) return false;
        it->second.status = status;
        return true;
    }
    bool MarkUpgrading(const std::string& mac) override {
        std::lock_guard lock(mutex_);
        auto it = rows_.find(mac);
        if (it == rows_.end() || it->second.status != 6) return false;
        it->second.status = 7;
        return true;
    }
    bool SaveScanPacket(const NeighbourReport& report) override {
        std::lock_guard lock(mutex_);
        scans_.push_back(report);
        return true;
    }

    // Test side.
    void Put(const std::string& mac, uint32_t status) {
        std::lock_guard lock(mutex_);
        Row& row = rows_[mac];
        row.record.set_mac(mac);
        row.status = status;
    }
    bool Has(const std::string& mac) const {
        std::lock_guard lock(mutex_);
        return rows_.count(mac) > 0;
    }
    Row Get(const std::string& mac) const {
        std::lock_guard lock(mutex_);
        auto it = rows_.find(mac);
        return it == rows_.end() ? Row{} : it->second;
    }
    size_t Count() const {
        std::lock_guard lock(mutex_);
        return rows_.size();
    }
    std::vector<std::string> Deleted() const {
        std::lock_guard lock(mutex_);
        return deleted_;
    }
    std::vector<std::pair<std::string, uint32_t>> StatusLog() const {
        std::lock_guard lock(mutex_);
        return statusLog_;
    }
    std::vector<NeighbourReport> Scans() const {
        std::lock_guard lock(mutex_);
        return scans_;
    }
    int UptimeCalls() const {
        std::lock_guard lock(mutex_);
        return uptimeCalls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, Row> rows_;
    std::vector<std::string> deleted_;
    std::vector<std::pair<std::string, uint32_t>> statusLog_;
    std::vector<NeighbourReport> scans_;
    int uptimeCalls_ = 0;
};

}  // namespace kestrix::testing
