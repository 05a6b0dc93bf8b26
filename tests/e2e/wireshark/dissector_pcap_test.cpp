// The dissector on hand-made datagrams of the kinds a capture can hold but
// a healthy fleet rarely sends: cut texts, oversized length bytes, short
// payloads, too many neighbours, foreign traffic on the ports.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/byte_io.h"
#include "link/wire/wire_format.h"
#include "tests/e2e/wireshark/tshark_runner.h"
#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

using dissector_test::RawDatagram;
using dissector_test::Tshark;

constexpr const char* kTool = "198.18.0.1";
constexpr const char* kDevice = "198.18.0.7";
constexpr const char* kMac = "02:4b:58:00:00:07";

std::vector<uint8_t> FromDevice(MsgType type, const std::vector<uint8_t>& payload,
                                size_t claimedLength) {
    auto m = BuildMessage(ToCode(type), MacTextToBytes(kMac), payload.data(), payload.size(), false,
                          268);
    StoreU16(m.data() + 14, static_cast<uint16_t>(claimedLength));
    return m;
}
RawDatagram Reply(const std::vector<uint8_t>& bytes) {
    return {kDevice, kTool, kPortHeartbeat, kPortReply, bytes};
}

class DissectorPcap : public ::testing::Test {
protected:
    std::string Write(const std::vector<RawDatagram>& ds) {
        std::string path = dir_.File("frames.pcap");
        EXPECT_TRUE(dissector_test::WritePcap(path, ds));
        return path;
    }
    kestrix::testing::TempDir dir_;
};

// Texts as the program takes them from a device: the area is cut at its
// size whatever the length byte says, at the first NUL, and before a
// character whose bytes did not all fit.
TEST_F(DissectorPcap, DeviceTextsAreDecodedByTheReceiveRule) {
    struct Case {
        const char* what;
        std::string bytes;  // the name area's content
        int length;         // its length byte
        std::string shown;
        bool flagged;  // length byte larger than the area
    };
    const std::string cjk = "\xe5\x8c\x97\xe9\x97\xa8";  // two three-byte characters
    const std::vector<Case> cases = {
        {"ascii", "Roof east", 9, "Roof east", false},
        {"utf-8 whole", cjk, 6, cjk, false},
        {"last character cut", cjk + "\xe5\x9f", 8, cjk, false},
        {"length byte past the area", std::string(32, 'n'), 40, std::string(32, 'n'), true},
        {"padding counted", "ab", 5, "ab", false},
        {"nothing valid", "\xff\xfe", 2, "??", false},
    };
    std::vector<RawDatagram> ds;
    for (const Case& c : cases) {
        DeviceInfoBlock info;
        std::copy(c.bytes.begin(), c.bytes.end(), info.data() + DeviceInfoBlock::kNameOffset);
        info.data()[DeviceInfoBlock::kNameLenOffset] = static_cast<uint8_t>(c.length);
        ds.push_back(Reply(FromDevice(MsgType::DeviceInfo, info.ToVector(), 756)));
    }
    auto r = Tshark(Write(ds), "", {"kestrix.name.ap_name", "kestrix.text_length"});
    ASSERT_EQ(r.status, 0) << r.errors;
    ASSERT_EQ(r.rows.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        ASSERT_EQ(r.rows[i][0].size(), 1u);
        EXPECT_EQ(r.rows[i][0][0], cases[i].shown);
        EXPECT_EQ(!r.rows[i][1].empty(), cases[i].flagged);
    }
}

// Payloads shorter or longer than their structure, lengths that disagree
// with the datagram, neighbour counts past what can be read: each decodes
// what arrived, says what is missing, and never trips the dissector.
TEST_F(DissectorPcap, OddPayloadsDecodeWhatArrivedWithoutMalformedFrames) {
    config_otherwl_basic e;
    e.set_ssid("n");
    std::vector<config_otherwl_basic> entries(40, e);
    for (size_t i = 0; i < entries.size(); ++i) entries[i].set_channel(static_cast<uint8_t>(i + 1));
    // The builder stops at 32 entries; the 33rd goes in by hand so icount
    // claims 40 and the datagram holds 33.
    auto report = BuildNeighbourReportPayload(1, 0, entries);
    report[2] = 40;
    auto extra = entries[32].ToVector();
    report.insert(report.end(), extra.begin(), extra.end());

    DeviceInfoBlock info;
    info.set_work_mode(2);
    std::vector<uint8_t> shortInfo(info.data(), info.data() + 40);

    struct Case {
        const char* what;
        RawDatagram d;
        std::string filter;  // what must show
        int neighbours;      // entries shown, -1: not a report
    };
    const std::vector<Case> cases = {
        {"40 claimed, 33 sent", Reply(FromDevice(MsgType::ScanNeighbours, report, report.size())),
         "kestrix.icount", 32},
        {"40-byte information", Reply(FromDevice(MsgType::DeviceInfo, shortInfo, 40)),
         "kestrix.short && kestrix.info.work_mode == 2 && kestrix.address.ip && "
         "!kestrix.name.ap_name",
         -1},
        {"length says more than arrived",
         Reply(FromDevice(MsgType::DeviceInfo, shortInfo, kMaxPayload)),
         "kestrix.length_mismatch && kestrix.short", -1},
        {"reboot result without its byte", Reply(FromDevice(MsgType::Reboot, {}, 0)),
         "kestrix.short && !kestrix.result", -1},
        {"restore refused", Reply(FromDevice(MsgType::Restore, {1}, 1)),
         "kestrix.result == 1 && kestrix.result.meaning == \"factory reset not accepted\"", -1},
        {"upgrade succeeded", Reply(FromDevice(MsgType::UpgradeStatus, {2}, 1)),
         "kestrix.result.status == \"Upgrade success\"", -1},
        {"bridge refused", Reply(FromDevice(MsgType::SetBridge, {7}, 1)),
         "kestrix.result.status == \"Bridge fail\"", -1},
        {"reply past its structure",
         Reply(FromDevice(MsgType::Announce, std::vector<uint8_t>(200, 0x41), 200)),
         "kestrix.trailing && kestrix.announce.channel == 65", -1},
        {"unknown type", Reply(FromDevice(static_cast<MsgType>(77), {1, 2, 3}, 3)),
         "kestrix.type == 77 && kestrix.payload", -1},
    };
    std::vector<RawDatagram> ds;
    for (const Case& c : cases) ds.push_back(c.d);
    // Foreign traffic on the ports: too short, and the magic the wrong way round.
    ds.push_back(Reply({0x86, 0x19, 0, 0}));
    auto bigEndian = FromDevice(MsgType::Announce, {}, 0);
    bigEndian[0] = 0x19;
    bigEndian[1] = 0x86;
    ds.push_back(Reply(bigEndian));
    std::string pcap = Write(ds);

    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        auto r = Tshark(pcap, "frame.number == " + std::to_string(i + 1) + " && " + cases[i].filter,
                        {"kestrix.neighbour.channel"});
        ASSERT_EQ(r.status, 0) << r.errors;
        ASSERT_EQ(r.rows.size(), 1u);
        if (cases[i].neighbours >= 0) {
            ASSERT_EQ(r.rows[0][0].size(), static_cast<size_t>(cases[i].neighbours));
            EXPECT_EQ(r.rows[0][0].back(), "32");
        }
    }
    auto foreign = Tshark(pcap, "frame.number > " + std::to_string(cases.size()) + " && kestrix",
                          {"frame.number"});
    EXPECT_TRUE(foreign.rows.empty()) << "foreign datagrams taken as the protocol";
    EXPECT_EQ(foreign.status, 0) << foreign.errors;
    auto broken = Tshark(pcap, "_ws.malformed", {"frame.number"});
    EXPECT_EQ(broken.status, 0) << broken.errors;
    EXPECT_TRUE(broken.rows.empty()) << "first malformed frame: " << broken.rows[0][0][0];
    std::string errors;
    std::string text = dissector_test::TsharkVerbose(pcap, &errors);
    EXPECT_EQ(text.find("Lua Error"), std::string::npos) << text;
    EXPECT_EQ(errors.find("Lua"), std::string::npos) << errors;
}

}  // namespace
}  // namespace kestrix
