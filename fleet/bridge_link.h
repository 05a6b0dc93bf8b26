#pragma once
// What the bridge page and its wizard ask of the device link and the store:
// the scan and SetBridge commands, the link's scan-complete flag, the
// device's stored record, the neighbour table of the last scan and the
// stored addresses the address step checks against. The program hands them
// the application's link and store; tests hand them a stand-in.

#include <string>
#include <vector>

#include "fleet/device_workers.h"
#include "link/wire/wire_format.h"

namespace kestrix {

class CSqlManagement;
class DeviceLink;

class BridgeLink : public CommandSink {
public:
    virtual bool IsScanComplete() const = 0;
    // False (and a zeroed record) when the store holds no such device.
    virtual bool GetDeviceByMac(const std::string& mac, ap_info_stu& record) = 0;
    virtual void DeleteScanResults() = 0;
    virtual std::vector<config_otherwl_basic> QueryScanList(int sortKey, bool ascending) = 0;
    // The entry of that MAC; all zero when the scan did not report it.
    virtual config_otherwl_basic GetScanEntry(const std::string& mac) = 0;
    virtual std::vector<std::string> GetAllDeviceIps() = 0;
};

// The application's link and store; either may be missing (a window built
// without start-up): nothing is sent then and the lists stay empty.
class AppBridgeLink final : public BridgeLink {
public:
    AppBridgeLink(DeviceLink* link, CSqlManagement* store) : link_(link), store_(store) {}

    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override;
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp) override;
    bool IsScanComplete() const override;
    bool GetDeviceByMac(const std::string& mac, ap_info_stu& record) override;
    void DeleteScanResults() override;
    std::vector<config_otherwl_basic> QueryScanList(int sortKey, bool ascending) override;
    config_otherwl_basic GetScanEntry(const std::string& mac) override;
    std::vector<std::string> GetAllDeviceIps() override;

private:
    DeviceLink* link_;
    CSqlManagement* store_;
};

}  // namespace kestrix
