#pragma once
// DeviceLink: the one object through which the program talks to devices.
//
// This header is the contract the front ends (desktop application, CLI) and
// the pages code against. The implementation may add private members and
// test hooks, but the operations below keep their names and meanings.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/adapters.h"
#include "link/link_store.h"
#include "link/wire_format.h"

namespace kestrix {

class DeviceLink {
public:
    // The process-wide link, built on first use, shut down at process exit.
    static DeviceLink& Instance();

    // Tests build their own links.
    DeviceLink();
    ~DeviceLink();  // Shutdown()
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Wiring done by the application before Start.
    void SetStore(LinkStore* store);
    void SetAdapterSource(std::shared_ptr<AdapterSource> source);
    // Interface names the link may use; empty means every adapter.
    void SetAdapterAllowList(std::vector<std::string> names);

    // Opens the four sockets, starts the eight threads, reads the adapters.
    bool Start(int retryCount, int retryIntervalMs);
    // The port whose socket could not be opened by the last Start (0 when
    // none failed), so the application can tell the operator.
    uint16_t FailedPort() const;
    // Stops the threads, closes the sockets and sends Release to every
    // device still tracked. Idempotent; also run by the destructor.
    void Shutdown();

    // Discovery (the status page's cycle is RefreshCaptureDevices,
    // ReleaseAnnounced, DropAnnounced, ReconcileStore, Search).
    void Search();
    void ReleaseAnnounced();
    void DropAnnounced();
    void ReconcileStore();
    void RefreshCaptureDevices();
    void ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter, int limit);

    // Commands.
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry);
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp);
    bool IsScanComplete() const;

    // Adapters.
    void GetLocalAdapters(std::vector<AdapterRecord>& out);
    bool SendArpAnnouncement(const ArpTarget& target);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrix
