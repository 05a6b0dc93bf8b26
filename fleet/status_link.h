#pragma once
// What the status page and its dialogs ask of the device link and the
// store besides the rows of their list: the search, the commands, and the
// stored record of the first device of a selection. The program hands them
// the application's link and store; tests hand them a recorder.

#include <string>

#include "fleet/device_workers.h"
#include "link/wire/wire_format.h"

namespace kestrix {

class CSqlManagement;
class DeviceLink;

class StatusLink : public CommandSink {
public:
    // The steps of the search cycle (StartSearchCycle) and the repeated
    // search.
    virtual void RefreshCaptureDevices() = 0;
    virtual void ReleaseAnnounced() = 0;
    virtual void DropAnnounced() = 0;
    virtual void ReconcileStore() = 0;
    virtual void Search() = 0;
    // The stored record of the device with this MAC text; false when the
    // store has no such device (an empty MAC names none).
    virtual bool GetDeviceByMac(const std::string& mac, ap_info_stu& record) = 0;
};

// The application's link and store. Either may be missing (a window built
// without start-up): nothing is sent then and no record is found.
class AppStatusLink final : public StatusLink {
public:
    AppStatusLink(DeviceLink* link, CSqlManagement* store) : link_(link), store_(store) {}

    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override;
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp) override;
    void RefreshCaptureDevices() override;
    void ReleaseAnnounced() override;
    void DropAnnounced() override;
    void ReconcileStore() override;
    void Search() override;
    bool GetDeviceByMac(const std::string& mac, ap_info_stu& record) override;

private:
    DeviceLink* link_;
    CSqlManagement* store_;
};

}  // namespace kestrix
