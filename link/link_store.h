#pragma once
// The narrow view of the device store that the link writes through. The
// link owns this interface so that it never includes the store's headers and
// its tests run without a database; the application hands it the real store
// (CSqlManagement implements it).

#include <cstdint>
#include <string>
#include <vector>

#include "link/wire/wire_format.h"

namespace kestrix {

class LinkStore {
public:
    virtual ~LinkStore() = default;
    // Discovery (full information, removal, reconciliation, heartbeats).
    virtual bool SaveDeviceInfo(const ap_info_stu& record) = 0;
    // Several records at once, in order; a store that can write them more
    // cheaply together overrides this. True when every record was saved.
    virtual bool SaveDeviceInfos(const std::vector<ap_info_stu>& records) {
        bool all = true;
        for (const auto& record : records) all = SaveDeviceInfo(record) && all;
        return all;
    }
    virtual bool DeleteDevice(const std::string& mac) = 0;
    virtual bool GetAllDeviceMacs(std::vector<std::string>& out) = 0;
    virtual bool UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                                    uint32_t seconds) = 0;
    // Command replies.
    virtual bool SetDeviceStatus(const std::string& mac, uint32_t status) = 0;
    virtual bool MarkUpgrading(const std::string& mac) = 0;
    // One ScanNeighbours report packet, SSIDs already converted.
    virtual bool SaveScanPacket(const NeighbourReport& report) = 0;
};

}  // namespace kestrix
