#pragma once
// A LinkStore that hands every call on to the real store and keeps, beside
// it, the exact record of each SaveDeviceInfo: the database keeps only the
// columns of its table, while a test wants to see every byte the link built.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/link_store.h"

namespace kestrix::testing {

class RecordingStore : public LinkStore {
public:
    explicit RecordingStore(LinkStore& inner) : inner_(inner) {}

    bool SaveDeviceInfo(const ap_info_stu& record) override {
        {
            std::lock_guard lock(mutex_);
            saved_[record.mac()] = record;
        }
        return inner_.SaveDeviceInfo(record);
    }
    bool SaveDeviceInfos(const std::vector<ap_info_stu>& records) override {
        {
            std::lock_guard lock(mutex_);
            for (const auto& record : records) saved_[record.mac()] = record;
        }
        return inner_.SaveDeviceInfos(records);
    }
    bool DeleteDevice(const std::string& mac) override {
        {
            std::lock_guard lock(mutex_);
            deleted_.push_back(mac);
        }
        return inner_.DeleteDevice(mac);
    }
    bool GetAllDeviceMacs(std::vector<std::string>& out) override {
        return inner_.GetAllDeviceMacs(out);
    }
    bool UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                            uint32_t seconds) override {
        return inner_.UpdateDeviceUptime(mac, ip, seconds);
    }
    bool SetDeviceStatus(const std::string& mac, uint32_t status) override {
        return inner_.SetDeviceStatus(mac, status);
    }
    bool MarkUpgrading(const std::string& mac) override { return inner_.MarkUpgrading(mac); }
    bool SaveScanPacket(const NeighbourReport& report) override {
        return inner_.SaveScanPacket(report);
    }

    std::map<std::string, ap_info_stu> Saved() const {
        std::lock_guard lock(mutex_);
        return saved_;
    }
    std::vector<std::string> Deleted() const {
        std::lock_guard lock(mutex_);
        return deleted_;
    }

private:
    LinkStore& inner_;
    mutable std::mutex mutex_;
    std::map<std::string, ap_info_stu> saved_;
    std::vector<std::string> deleted_;
};

}  // namespace kestrix::testing
