// libFuzzer target: arbitrary datagrams through the link's own handlers
// (announcements, heartbeats, device information, every reply) and the
// presence operations the pages call, with an in-memory store and no
// sockets: the link is never started and has no adapters, so nothing is
// sent.
//
// An input is a sequence of records, so that one input can build state and
// then poke at it: [op u8][sender u8][length u16 LE][length bytes].
//   op % 12: 0 announce port, 1 heartbeat port, 2 reply port (the bytes are
//   the datagram); 3 presence tick; 4 retransmission pass; 5 ListAnnounced
//   (bytes: filter, sender: limit); 6 ReconcileStore; 7 ReleaseAnnounced;
//   8 DropAnnounced; 9 NoteNewAddress (bytes split at the first NUL into
//   the two addresses); 10 a store entry for the sender's MAC; 11 a Search.
// The sender byte picks one of a few addresses, so devices collide.
// Each input runs against a fresh link, so a crash reproduces from its input.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/device_link.h"
#include "tests/support/fake_link_store.h"

namespace {

class NoAdapters : public kestrix::AdapterSource {
public:
    std::vector<kestrix::AdapterRecord> Enumerate() override { return {}; }
};

std::string SenderText(uint8_t sender) {
    return "198.18.0." + std::to_string(2 + sender % 6);
}

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrix;
    testing::FakeLinkStore store;
    DeviceLink link;
    link.SetStore(&store);
    link.SetAdapterSource(std::make_shared<NoAdapters>());
    static constexpr uint16_t kPorts[3] = {kPortAnnounce, kPortHeartbeat, kPortReply};

    size_t at = 0;
    while (at + 4 <= size) {
        const uint8_t op = data[at] % 12;
        const uint8_t sender = data[at + 1];
        size_t length =
            static_cast<size_t>(data[at + 2]) | (static_cast<size_t>(data[at + 3]) << 8);
        at += 4;
        if (length > size - at) length = size - at;
        const uint8_t* bytes = data + at;
        at += length;
        const std::string senderText = SenderText(sender);
        uint32_t senderAddr = 0;
        const Ipv4Bytes ip = IpTextToBytes(senderText);
        std::memcpy(&senderAddr, ip.data(), 4);

        switch (op) {
            case 0:
            case 1:
            case 2:
                link.ProcessDatagram(kPorts[op], bytes, length, senderAddr, 9000);
                break;
            case 3:
                link.AgePresence();
                break;
            case 4:
                link.RetransmitPending();
                break;
            case 5: {
                std::vector<ap_info_stu> out;
                link.ListAnnounced(out, std::string(reinterpret_cast<const char*>(bytes), length),
                                   sender);
                Require(out.size() <= sender);
                for (const auto& r : out) Require(r.ap_status() == ap_info_stu::kStatusAnnounced);
                break;
            }
            case 6:
                link.ReconcileStore();
                break;
            case 7:
                link.ReleaseAnnounced();
                break;
            case 8:
                link.DropAnnounced();
                for (const auto& e : link.PresenceSnapshot())
                    Require(e.state == PresenceState::Informed);
                break;
            case 9: {
                std::string text(reinterpret_cast<const char*>(bytes), length);
                size_t nul = text.find('\0');
                std::string newIp = nul == std::string::npos ? "" : text.substr(nul + 1);
                text.resize(nul == std::string::npos ? text.size() : nul);
                for (const auto& e : link.PresenceSnapshot())
                    link.NoteNewAddress(e.mac, text, newIp);
                break;
            }
            case 10:
                if (length >= 6) store.Put(MacBytesToText(bytes), sender % 11);
                break;
            default:
                link.Search();
                break;
        }
        // Whatever arrived, no MAC is listed twice and nothing is pending:
        // without adapters no command can have been sent.
        auto presence = link.PresenceSnapshot();
        for (size_t i = 1; i < presence.size(); ++i)
            for (size_t j = 0; j < i; ++j) Require(presence[i].mac != presence[j].mac);
        Require(link.PendingSnapshot().empty());
    }
    return 0;
}
