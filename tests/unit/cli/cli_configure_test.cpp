// kestrix-cli configure: its command line, and how its options edit one
// device's configuration: refused where the device does not offer them,
// applied through the views' handlers in the dialog's field order.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fleet/device_config.h"
#include "tests/support/config_records.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/configure_edits.h"

namespace kestrix::cli {
namespace {

using testing::ConfiguredDevice;
using testing::DeviceSpec;
using testing::FiveGhzSpec;

TEST(CliConfigure, CommandLine) {
    ParseOutcome p = ParseArguments({"configure", "--mac", "02:00:00:00:00:01", "--ssid", "a b",
                                     "--mask=255.0.0.0", "--channel", "6", "--json"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.command, Command::kConfigure);
    ASSERT_EQ(p.options.configure.size(), 3u);
    EXPECT_EQ(p.options.configure[1].option, "--mask");
    EXPECT_EQ(p.options.configure[1].value, "255.0.0.0");
    EXPECT_EQ(p.options.format, Format::kJson);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"configure", "--all", "--ssid", "x"},
          {"configure", "--ssid", "x"},
          {"configure", "--ip", "1.2.3.4", "--ip", "1.2.3.5"},
          {"configure", "--ip", "1.2.3.4", "--ssid"},
          {"configure", "--ip", "1.2.3.4", "--begin", "1.2.3.9"},
          {"rename", "--ssid", "x", "--all", "n"}}) {
        EXPECT_FALSE(ParseArguments(bad).ok) << bad[1];
    }
    EXPECT_NE(HelpText(Command::kConfigure).find("--timed-reboot"), std::string::npos);
}

TEST(CliConfigure, RefusedWhatTheDeviceDoesNotOffer) {
    DeviceSpec station;
    station.workMode = 2;
    DeviceSpec twoPort;
    twoPort.type = 11;
    DeviceSpec type13;
    type13.type = 13;
    DeviceSpec basicVlanOn;
    basicVlanOn.vlanOn = true;
    struct Case {
        DeviceSpec spec;
        std::vector<ConfigureEdit> edits;
        std::string error;  // how the message starts
    };
    const Case cases[] = {
        {{}, {{"--channel", "13"}}, "--channel 13: not offered (offered: Auto, 1, 2"},
        {{}, {{"--dfs", "on"}}, "--dfs on: this device type has no DFS"},
        {station, {{"--ssid", "x"}}, "--ssid x: the wireless settings"},
        {twoPort,
         {{"--vlan", "on"}, {"--lan3", "7"}},
         "--lan3 7: offered on this device type: "
         "PVID, Manage VLAN, WLAN, LAN"},
        {twoPort, {{"--vlan", "on"}, {"--lan2", "7"}}, "--lan2 7: offered"},
        {basicVlanOn, {{"--pvid", "7"}}, "--pvid 7: offered on this device type: Manage VLAN"},
        {type13, {{"--vlan", "on"}}, "--vlan on: this device type has no VLAN"},
        {{}, {{"--wlan", "7"}}, "--wlan 7: VLAN is off"},
        {{}, {{"--radius-key", "k"}}, "--radius-key k: only the wpa and wpa2"},
        {{},
         {{"--security", "wpa-psk"}, {"--cipher", "tkip+aes"}},
         "--cipher tkip+aes: not offered in WPA-PSK"},
        {type13, {{"--security", "wep"}}, "--security wep: not offered (offered: None, WPA-PSK"},
        {{}, {{"--days", "mon"}}, "--days mon: give --timed-reboot HH:MM"},
        {{}, {{"--timed-reboot", "3:3:3"}}, "--timed-reboot 3:3:3: give off or a time"},
        {{}, {{"--gateway", "10.1.1"}}, "--gateway 10.1.1: not an IPv4 address"},
        {{}, {{"--network-mode", "11ac"}}, "--network-mode 11ac: not offered (offered: 11b, 11g"},
    };
    for (const Case& c : cases) {
        DeviceConfig config(ConfiguredDevice(c.spec));
        const EditOutcome out = ApplyConfigureEdits(config, c.edits);
        EXPECT_FALSE(out.ok) << c.error;
        EXPECT_EQ(out.error.substr(0, c.error.size()), c.error) << out.error;
    }
}

TEST(CliConfigure, EditsFollowTheDialogsOrder) {
    // Given in reverse: the country first widens the channel list, the new
    // network mode then offers 40 MHz, and only then is channel 13 there.
    DeviceSpec s;
    s.networkMode = 0;  // 11b/g: 20 MHz only
    s.bandwidth = 0;
    s.expand = 2;
    DeviceConfig config(ConfiguredDevice(s));
    const EditOutcome out = ApplyConfigureEdits(config, {{"--extension-channel", "below"},
                                                         {"--channel", "13"},
                                                         {"--bandwidth", "40MHz"},
                                                         {"--network-mode", "11b/g/n"},
                                                         {"--country", "Germany"},
                                                         {"--days", "mon,sun"},
                                                         {"--timed-reboot", "04:05"},
                                                         {"--name", "north"}});
    ASSERT_TRUE(out.ok) << out.error;
    const SaveOutcome save = CollectForSave(config, {});
    ASSERT_FALSE(save.failure) << save.failure->rule.key;
    const WirelessBlock& w = save.pending.wireless;
    EXPECT_EQ(w.network_mode(), 4);
    EXPECT_EQ(w.bandwidth(), 1);
    EXPECT_EQ(w.channel(), 13);
    EXPECT_EQ(w.expand_channel(), 0);
    EXPECT_EQ(w.country_code(), 6);
    EXPECT_TRUE(save.pending.nameChanged);
    EXPECT_EQ(save.pending.reboot.restart_type(), 0x82);
    EXPECT_EQ(save.pending.reboot.restart_time(), 245);

    // DFS on a type-15 device opens 100 to the channel option.
    DeviceConfig dfs(ConfiguredDevice(FiveGhzSpec(15)));
    EXPECT_FALSE(ApplyConfigureEdits(dfs, {{"--channel", "100"}}).ok);
    DeviceConfig dfsOn(ConfiguredDevice(FiveGhzSpec(15)));
    ASSERT_TRUE(ApplyConfigureEdits(dfsOn, {{"--channel", "100"}, {"--dfs", "on"}}).ok);
    EXPECT_EQ(CollectForSave(dfsOn, {}).pending.wireless.channel(), 100);
}

}  // namespace
}  // namespace kestrix::cli
