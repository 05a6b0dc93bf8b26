#pragma once
// Device records for the list tests, built field by field, a scratch store
// that holds them, and a list source over it whose announced-only devices
// are a plain list.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "fleet/list_query.h"
#include "link/wire/addr_text.h"
#include "link/wire/wire_format.h"
#include "store/sql_management.h"

namespace kestrix::testing {

struct DeviceFields {
    std::string mac;
    std::string ip;
    uint16_t type = 5;
    std::string name;
    std::string ssid;
    uint8_t workMode = 1;
    uint8_t channel = 0;
    uint8_t secureMode = 0;
    uint8_t txPower = 20;
    std::string version = "V1.0.0";
    uint8_t bridgeTransparent = 0;
    uint8_t pxsync = 0;
    uint32_t upTime = 0;
    uint32_t status = 1;
};

inline ap_info_stu MakeDevice(const DeviceFields& f) {
    ap_info_stu record;
    record.set_mac(f.mac);
    record.set_ap_type(f.type);
    record.set_ap_status(f.status);
    DeviceInfoBlock info;
    info.set_work_mode(f.workMode);
    info.set_up_time(f.upTime);
    AddressBlock address;
    address.set_ip(IpTextToBytes(f.ip));
    info.set_address(address);
    info.set_ap_name(f.name);
    info.set_version(f.version);
    WirelessBlock wireless;
    wireless.set_ssid(f.ssid);
    wireless.set_channel(f.channel);
    wireless.set_tx_power(f.txPower);
    SecurityBlock security;
    security.set_secure_mode(f.secureMode);
    wireless.set_security(security);
    info.set_wireless(wireless);
    ExtensionBlock extension;
    extension.set_bridge_transparent(f.bridgeTransparent);
    extension.set_tdmaEn(f.pxsync);
    info.set_extension(extension);
    record.set_info(info);
    return record;
}

// Device n of a made-up fleet: MAC 02:00:00:00:hh:ll, address 10.0.h.l+1.
inline DeviceFields NthDevice(int n) {
    DeviceFields f;
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (n >> 8) & 0xff, n & 0xff);
    f.mac = mac;
    f.ip = "10.0." + std::to_string((n >> 8) & 0xff) + "." + std::to_string((n & 0xff) + 1);
    f.name = "dev" + std::to_string(n);
    f.ssid = "net" + std::to_string(n % 7);
    f.channel = static_cast<uint8_t>(n % 13);
    f.upTime = static_cast<uint32_t>(n * 37);
    return f;
}

// Device n of the fleet the page renders show: NthDevice(n) at
// 192.168.10.20+n, with a few names over again (one Chinese), types 10 and
// 5, three SSIDs and four channels.
inline DeviceFields RenderDevice(int n) {
    static const char* const names[] = {"Roof east", "北门-2", "Mast 7", "Depot", "Gate-A"};
    DeviceFields f = NthDevice(n);
    f.ip = "192.168.10." + std::to_string(20 + n);
    f.name = names[n % 5] + std::string(n >= 5 ? "-" + std::to_string(n) : "");
    f.type = static_cast<uint16_t>(n % 3 == 0 ? 10 : 5);
    f.ssid = "KX-Yard-" + std::to_string(n % 3);
    f.channel = static_cast<uint8_t>(36 + 4 * (n % 4));
    return f;
}

// A store of its own in a file that is removed with it.
class ScratchStore {
public:
    ScratchStore()
        : path_(
              (std::filesystem::temp_directory_path() /
               ("kx-pages-" + std::to_string(::getpid()) + "-" + std::to_string(next_++) + ".mdb"))
                  .string()),
          store_(std::make_unique<CSqlManagement>(path_)) {}
    ~ScratchStore() {
        store_.reset();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    ScratchStore(const ScratchStore&) = delete;
    ScratchStore& operator=(const ScratchStore&) = delete;

    CSqlManagement& Store() { return *store_; }
    // Saves the record; the store marks it online (status 1), so another
    // status is written afterwards.
    bool Add(const DeviceFields& f) {
        if (!store_->SaveDeviceInfo(MakeDevice(f))) return false;
        return f.status == 1 || store_->SetDeviceStatus(f.mac, f.status);
    }

private:
    static inline int next_ = 0;
    std::string path_;
    std::unique_ptr<CSqlManagement> store_;
};

// The store, with the link's announced-only list played by `announced`
// (filtered by IP or MAC text, as the link does, and cut to the limit). It
// counts the queries and remembers the last request.
class FleetSource : public DeviceListSource {
public:
    explicit FleetSource(CSqlManagement& store) : store_(store) {}
    bool QueryDevicePage(const std::string& filter, int sortKey, bool ascending, int pageSize,
                         int pageNumber, std::vector<ap_info_stu>& rows, int& pageCount,
                         int& onlineCount) override {
        ++queries;
        lastKey = sortKey;
        return store_.QueryDevicePage(filter, sortKey, ascending, pageSize, pageNumber, rows,
                                      pageCount, onlineCount);
    }
    void ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter,
                       int limit) override {
        ++announcedCalls;
        lastFilter = filter;
        lastLimit = limit;
        out.clear();
        // As the link does: `limit` bounds the entries examined, not the
        // matches, and the filter looks at IP, MAC and version.
        int examined = 0;
        for (const ap_info_stu& r : announced) {
            if (examined++ >= limit) break;
            const std::string ip = IpBytesToText(r.info().address().ip());
            if (filter.empty() || ip.find(filter) != std::string::npos ||
                r.mac().find(filter) != std::string::npos ||
                r.info().version().find(filter) != std::string::npos)
                out.push_back(r);
        }
    }

    std::vector<ap_info_stu> announced;
    int queries = 0;
    int announcedCalls = 0;
    int lastKey = -1;
    int lastLimit = -1;
    std::string lastFilter;

private:
    CSqlManagement& store_;
};

}  // namespace kestrix::testing
