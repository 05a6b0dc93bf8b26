// Local adapters: which are usable, how the address list is rebuilt, the
// search targets, the ARP frame, and the system's own adapters.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include "link/adapter_list.h"
#include "link/arp_sender.h"
#include "link/device_link.h"
#include "tests/unit/link/link_test_util.h"

namespace kestrix::testing {
namespace {

std::vector<std::string> Addresses(const std::deque<AdapterAddress>& list) {
    std::vector<std::string> out;
    for (const auto& a : list) out.push_back(a.address);
    return out;
}

TEST(Adapters, AnAdapterStillWaitingForItsFirstAddressIsLeftOut) {
    auto usable = UsableAdapters(
        {Adapter("eth0", "02:00:00:00:00:01",
                 {{"0.0.0.0", "0.0.0.0", ""}, {"10.0.0.2", "255.0.0.0", ""}}),
         Adapter("eth1", "02:00:00:00:00:02", {}),
         Adapter("eth2", "02:00:00:00:00:03", {{"192.168.1.2", "255.255.255.0", ""}})},
        {});
    ASSERT_EQ(usable.size(), 1u);
    EXPECT_EQ(usable[0].name, "eth2");
}

TEST(Adapters, TheAllowListKeepsOnlyTheNamedAdapters) {
    std::vector<AdapterRecord> all = {
        Adapter("eth0", "02:00:00:00:00:01", {{"10.0.0.2", "255.0.0.0", ""}}),
        Adapter("wlan0", "02:00:00:00:00:02", {{"192.168.1.2", "255.255.255.0", ""}})};
    EXPECT_EQ(UsableAdapters(all, {}).size(), 2u);
    auto only = UsableAdapters(all, {"wlan0", "missing"});
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only[0].name, "wlan0");
}

TEST(Adapters, RebuildKeepsPlacesAndFirstMasksAndAppendsNewcomers) {
    std::deque<AdapterAddress> list;
    RebuildAdapterList(
        list, {Adapter("eth0", "02:00:00:00:00:01",
                       {{"10.0.0.2", "255.0.0.0", ""}, {"192.168.1.2", "255.255.255.0", ""}}),
               Adapter("eth1", "02:00:00:00:00:02", {{"172.16.0.2", "255.255.0.0", ""}})});
    EXPECT_EQ(Addresses(list), (std::vector<std::string>{"10.0.0.2", "192.168.1.2", "172.16.0.2"}));

    // 10.0.0.2 moves to eth1 with a new mask, 192.168.1.2 disappears, a new
    // address arrives: the survivor keeps its place and its first mask.
    RebuildAdapterList(
        list, {Adapter("eth0", "02:00:00:00:00:01", {{"172.16.0.2", "255.255.0.0", ""}}),
               Adapter("eth1", "02:00:00:00:00:02",
                       {{"10.9.9.9", "255.255.255.0", ""}, {"10.0.0.2", "255.255.255.0", ""}})});
    EXPECT_EQ(Addresses(list), (std::vector<std::string>{"10.0.0.2", "172.16.0.2", "10.9.9.9"}));
    EXPECT_EQ(list[0].mask, "255.0.0.0");

    RebuildAdapterList(list, {});
    EXPECT_TRUE(list.empty());
}

TEST(Adapters, SubnetMatchDecidesWhichAdapterReachesADevice) {
    AdapterAddress a{"198.18.0.1", "255.254.0.0", ""};
    EXPECT_TRUE(AdapterReaches(a, "198.19.255.254"));
    EXPECT_TRUE(AdapterReaches(a, "198.18.0.1"));
    EXPECT_FALSE(AdapterReaches(a, "198.20.0.1"));
    EXPECT_FALSE(AdapterReaches(a, "0.0.0.0"));
    EXPECT_FALSE(AdapterReaches(a, ""));
    EXPECT_FALSE(AdapterReaches({"198.18.0.1", "0.0.0.0", ""}, "198.18.0.2"));
    EXPECT_FALSE(AdapterReaches({"0.0.0.0", "255.0.0.0", ""}, "0.0.0.1"));
}

TEST(Adapters, SearchTargetsAreOnePerSubnetAndAdapterMac) {
    const std::string mac = "02:00:00:00:00:01";
    std::vector<SearchTarget> search;
    std::vector<ArpTarget> arp;
    BuildSearchTargets(
        {Adapter("eth0", mac,
                 {{"10.0.0.2", "255.255.255.0", ""}, {"10.0.1.2", "255.255.255.0", ""}}),
         Adapter("eth0.5", mac, {{"10.0.0.3", "255.255.255.0", ""}}),
         Adapter("eth1", "02:00:00:00:00:02",
                 {{"10.0.0.4", "255.255.255.0", ""},
                  {"10.2.0.4", "", ""},
                  {"0.0.0.0", "255.0.0.0", ""}})},
        search, arp);
    ASSERT_EQ(search.size(), 3u);
    ASSERT_EQ(arp.size(), 3u);
    EXPECT_EQ(search[0].broadcast, "10.0.0.255");
    EXPECT_EQ(search[1].broadcast, "10.0.1.255");
    EXPECT_EQ(search[2].broadcast, "10.0.0.255");
    EXPECT_EQ(search[2].adapterIp, "10.0.0.4");
    EXPECT_EQ(arp[1].adapterIp, "10.0.1.2");
    EXPECT_EQ(arp[1].adapterName, "eth0");
    EXPECT_EQ(arp[2].adapterName, "eth1");
    EXPECT_EQ(arp[2].adapterMac, MacTextToBytes("02:00:00:00:00:02"));
    EXPECT_EQ(DirectedBroadcast({"198.18.0.1", "255.254.0.0", ""}), "198.19.255.255");
}

TEST(Adapters, GetLocalAdaptersReturnsUsableRecordsAndHonoursTheAllowList) {
    auto source = std::make_shared<FakeAdapterSource>(std::vector<AdapterRecord>{
        Adapter("eth0", "02:00:00:00:00:01", {{"10.0.0.2", "255.0.0.0", "10.255.255.255"}}),
        Adapter("eth1", "02:00:00:00:00:02", {{"0.0.0.0", "", ""}})});
    DeviceLink link;
    link.SetAdapterSource(source);
    std::vector<AdapterRecord> out(4);
    link.GetLocalAdapters(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].entries[0].third, "10.255.255.255");
    link.SetAdapterAllowList({"eth9"});
    link.GetLocalAdapters(out);
    EXPECT_TRUE(out.empty());
}

TEST(ArpFrame, IsABroadcastRequestForTheAdaptersOwnAddressPaddedToSixtyBytes) {
    ArpFrame f = BuildArpFrame(MacTextToBytes("02:11:22:33:44:55"), "198.18.0.1");
    const ArpFrame expected = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // Ethernet
        0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01,              // ARP request
        0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 198,  18,   0,    1,                 // sender
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 198,  18,   0,    1};                // target
    EXPECT_EQ(f, expected);  // the rest of the 60 bytes is zero
}

TEST(ArpFrame, TheCaptureDeviceNamedLikeTheAdapterIsPreferredOverNamesContainingIt) {
    const struct {
        std::vector<std::string> devices;
        std::string adapter;
        const char* chosen;  // null: none
    } cases[] = {
        {{"veth1a2b", "eth10", "eth1", "any"}, "eth1", "eth1"},
        {{"eth1", "veth1a2b"}, "eth1", "eth1"},
        // No exact name: the first that contains it, in list order.
        {{"any", "\\Device\\NPF_{eth1}", "xeth1"}, "eth1", "\\Device\\NPF_{eth1}"},
        {{"eth0", "any"}, "eth1", nullptr},
        {{}, "eth1", nullptr},
        // Every name contains the empty one; an unnamed adapter gets none.
        {{"eth0"}, "", nullptr},
    };
    for (const auto& c : cases) {
        const std::string* chosen = CaptureDeviceFor(c.devices, c.adapter);
        if (c.chosen == nullptr) {
            EXPECT_EQ(chosen, nullptr) << c.adapter;
        } else {
            ASSERT_NE(chosen, nullptr) << c.adapter;
            EXPECT_EQ(*chosen, c.chosen);
        }
    }
}

TEST(ArpFrame, IsNotSentWithoutAMatchingDeviceOrALinkLayerAddress) {
    const ArpTarget target{"127.0.0.1", MacTextToBytes("02:11:22:33:44:55"), "lo"};
    EXPECT_FALSE(SendArpFrame({}, target));
    EXPECT_FALSE(SendArpFrame({"eth0", "any"}, target));
    EXPECT_FALSE(SendArpFrame({"lo"}, {"127.0.0.1", {}, ""}));
    ArpTarget tunnel = target;
    tunnel.hasMac = false;
    EXPECT_FALSE(SendArpFrame({"lo"}, tunnel));

    // The search's targets carry the adapter's lack of a MAC along.
    AdapterRecord wg = Adapter("wg0", "00:00:00:00:00:00", {{"10.9.0.2", "255.255.255.0", ""}});
    wg.hasMac = false;
    std::vector<SearchTarget> search;
    std::vector<ArpTarget> arp;
    BuildSearchTargets({wg, LoopbackAdapter()}, search, arp);
    ASSERT_EQ(arp.size(), 2u);
    EXPECT_FALSE(arp[0].hasMac);
    EXPECT_TRUE(arp[1].hasMac);
    EXPECT_EQ(AdapterMacText(wg), "");
    EXPECT_EQ(AdapterMacText(LoopbackAdapter()), "02:00:00:00:00:01");
}

TEST(ArpFrame, ReachesTheWireAsSixtyBytes) {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* capture = pcap_open_live("lo", 65536, 0, 100, error);
    if (capture == nullptr) GTEST_SKIP() << "no raw access to lo: " << error;
    bpf_program filter{};
    ASSERT_EQ(pcap_compile(capture, &filter, "arp", 1, PCAP_NETMASK_UNKNOWN), 0);
    ASSERT_EQ(pcap_setfilter(capture, &filter), 0);
    pcap_freecode(&filter);

    DeviceLink link;
    link.RefreshCaptureDevices();
    const ArpTarget target{"127.0.0.1", MacTextToBytes("02:11:22:33:44:55"), "lo"};
    ASSERT_TRUE(link.SendArpAnnouncement(target));
    pcap_pkthdr* header = nullptr;
    const u_char* bytes = nullptr;
    int got = 0;
    for (int tries = 0; tries < 50 && got == 0; ++tries)
        got = pcap_next_ex(capture, &header, &bytes);
    ASSERT_EQ(got, 1);
    ASSERT_EQ(header->caplen, 60u);
    ArpFrame seen;
    std::copy(bytes, bytes + 60, seen.begin());
    EXPECT_EQ(seen, BuildArpFrame(target.adapterMac, target.adapterIp));
    pcap_close(capture);
}

TEST(SystemAdapters, ListUpInterfacesWithTheirMacAndAddressesButNotLoopbackOrDown) {
    std::vector<AdapterRecord> up, down;
    bool made = false;
    bool entered = InOwnNetworkNamespace([&] {
        made = std::system(
                   "ip link add kxtest0 address 02:12:34:56:78:9a type veth peer name kxtest1"
                   " && ip addr add 198.18.7.1/24 dev kxtest0"
                   " && ip addr add 198.19.0.1/16 dev kxtest0 label kxtest0:1"
                   " && ip link set kxtest0 up && ip link set kxtest1 up") == 0;
        if (!made) return;
        up = MakeSystemAdapterSource()->Enumerate();
        made = std::system("ip link set kxtest0 down") == 0;
        down = MakeSystemAdapterSource()->Enumerate();
    });
    if (!entered || !made) GTEST_SKIP() << "cannot make a network namespace with a veth pair";
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].name, "kxtest0");
    EXPECT_TRUE(up[0].hasMac);
    EXPECT_EQ(AdapterMacText(up[0]), "02:12:34:56:78:9a");
    ASSERT_EQ(up[0].entries.size(), 2u);
    EXPECT_EQ(up[0].entries[0], (AdapterAddress{"198.18.7.1", "255.255.255.0", "198.18.7.255"}));
    EXPECT_EQ(up[0].entries[1].address, "198.19.0.1");
    EXPECT_EQ(up[0].entries[1].mask, "255.255.0.0");
    EXPECT_TRUE(down.empty());
}

TEST(SystemAdapters, AnInterfaceWithoutALinkLayerAddressIsListedWithoutAMac) {
    std::vector<AdapterRecord> listed;
    bool made = false;
    bool entered = InOwnNetworkNamespace([&] {
        made = std::system(
                   "ip tuntap add dev kxtun0 mode tun 2>/dev/null"
                   " && ip addr add 198.18.9.1/24 dev kxtun0"
                   " && ip link set kxtun0 up") == 0;
        if (made) listed = MakeSystemAdapterSource()->Enumerate();
    });
    if (!entered || !made) GTEST_SKIP() << "cannot make a tun interface";
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "kxtun0");
    EXPECT_FALSE(listed[0].hasMac);
    EXPECT_EQ(AdapterMacText(listed[0]), "");
}

}  // namespace
}  // namespace kestrix::testing
