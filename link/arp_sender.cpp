#include "link/arp_sender.h"

#include <cstring>

#include <pcap/pcap.h>

namespace kestrix {

namespace {

void StoreBigU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

}  // namespace

ArpFrame BuildArpFrame(const MacBytes& adapterMac, const std::string& adapterIp) {
    ArpFrame frame{};
    Ipv4Bytes ip = IpTextToBytes(adapterIp);
    std::memset(frame.data(), 0xff, 6);                   // destination: broadcast
    std::memcpy(frame.data() + 6, adapterMac.data(), 6);  // source
    StoreBigU16(frame.data() + 12, 0x0806);               // ARP
    StoreBigU16(frame.data() + 14, 1);                    // Ethernet
    StoreBigU16(frame.data() + 16, 0x0800);               // IPv4
    frame[18] = 6;
    frame[19] = 4;
    StoreBigU16(frame.data() + 20, 1);  // request
    std::memcpy(frame.data() + 22, adapterMac.data(), 6);
    std::memcpy(frame.data() + 28, ip.data(), 4);
    std::memset(frame.data() + 32, 0xff, 6);
    std::memcpy(frame.data() + 38, ip.data(), 4);
    // Bytes 42..59 stay zero: the padding up to the minimum frame length.
    return frame;
}

std::vector<std::string> ListCaptureDevices() {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* head = nullptr;
    std::vector<std::string> names;
    if (pcap_findalldevs(&head, error) == -1) return names;
    for (pcap_if_t* dev = head; dev != nullptr; dev = dev->next)
        if (dev->name != nullptr) names.emplace_back(dev->name);
    pcap_freealldevs(head);
    return names;
}

const std::string* CaptureDeviceFor(const std::vector<std::string>& captureDevices,
                                    const std::string& adapterName) {
    // Every name contains the empty text; an adapter without a name must not
    // send its frame through whichever device happens to come first.
    if (adapterName.empty()) return nullptr;
    // On Linux the capture devices carry the interface names themselves, so
    // the exact name is the right one: "eth1" must not go out through
    // "veth1a2b" or "eth10" just because they are listed first. The
    // substring rule remains for capture libraries that decorate names.
    for (const auto& name : captureDevices)
        if (name == adapterName) return &name;
    for (const auto& name : captureDevices)
        if (name.find(adapterName) != std::string::npos) return &name;
    return nullptr;
}

bool SendArpFrame(const std::vector<std::string>& captureDevices, const ArpTarget& target) {
    // A frame with a zero source MAC through an interface without Ethernet
    // framing would be nonsense.
    if (!target.hasMac) return false;
    const std::string* device = CaptureDeviceFor(captureDevices, target.adapterName);
    if (device == nullptr) return false;

    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_live(device->c_str(), 65536, 0, 1000, error);
    if (handle == nullptr) return false;
    ArpFrame frame = BuildArpFrame(target.adapterMac, target.adapterIp);
    pcap_setnonblock(handle, 1, error);
    int sent = pcap_sendpacket(handle, frame.data(), static_cast<int>(frame.size()));
    pcap_close(handle);
    return sent != -1;
}

}  // namespace kestrix
