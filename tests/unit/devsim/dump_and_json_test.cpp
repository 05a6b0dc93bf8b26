// The state dump as the end-to-end tests read it back, and the JSON reader
// they read it with.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/json_value.h"
#include "tests/support/labkit.h"
#include "tools/devsim/json_writer.h"
#include "tools/devsim/simulator.h"

namespace kestrix {
namespace {

using labkit::JsonValue;
using labkit::ParseDump;
using labkit::ParseJson;

TEST(StateDump, ListsEveryDeviceWithTheBytesItWouldAnswer) {
    devsim::FleetConfig config;
    config.devices = 25;
    config.settings = {"4 name=\"北门基站\"", "6 mute-info=1 claim=2"};
    std::vector<devsim::DeviceSpec> fleet;
    std::string err;
    ASSERT_TRUE(devsim::BuildFleet(config, fleet, err)) << err;
    devsim::Simulator sim(fleet, {}, {}, 1, 5000);

    // A name cut in the middle of a character, as a device may hold it.
    std::string cut = "站点";
    cut.pop_back();
    NameBlock nb;
    nb.set_ap_name(cut);
    std::vector<devsim::Outgoing> out;
    auto setName = BuildMessage(ToCode(MsgType::SetName), fleet[9].mac, nb.data(), nb.size(), true);
    sim.OnDatagram(kPortHeartbeat, {198, 18, 0, 1}, kPortHeartbeat, setName.data(), setName.size(),
                   5000, out);
    auto ack = BuildMessage(ToCode(MsgType::Announce), fleet[3].mac, nullptr, 0, true);
    sim.OnDatagram(kPortHeartbeat, {198, 18, 0, 1}, kPortHeartbeat, ack.data(), ack.size(), 5000,
                   out);

    auto dump = ParseDump(sim.DumpJson(9000), &err);
    ASSERT_TRUE(dump) << err;
    EXPECT_EQ(dump->time_ms, 9000);
    ASSERT_EQ(dump->devices.size(), 25u);
    for (size_t i = 0; i < dump->devices.size(); ++i) {
        const labkit::SimDevice& d = dump->devices[i];
        EXPECT_EQ(d.index, static_cast<int>(i));
        EXPECT_EQ(d.mac, MacBytesToText(fleet[i].mac));
        EXPECT_EQ(d.type, fleet[i].type);
        EXPECT_EQ(d.state, "running");
        EXPECT_TRUE(d.info == sim.CurrentInfo(i, 9000)) << "device " << i;
        EXPECT_EQ(d.up_time, fleet[i].uptime + 4);
    }
    EXPECT_EQ(dump->devices[4].name, "北门基站");
    EXPECT_EQ(dump->devices[9].info.ap_name(), cut) << "exact bytes travel in hex";
    EXPECT_EQ(dump->devices[3].manager, "198.18.0.1");
    EXPECT_EQ(dump->devices[2].manager, "");
    EXPECT_TRUE(dump->devices[6].mute_info);
    EXPECT_EQ(dump->devices[6].claim, 2);
    EXPECT_EQ(dump->devices[6].ip, dump->devices[2].ip);
    EXPECT_NE(dump->devices[6].raw["own_ip"].Str(), dump->devices[2].ip);
    EXPECT_EQ(dump->ByMac(MacBytesToText(fleet[7].mac))->index, 7);
    EXPECT_EQ(dump->stats["devices"].Int(), 25);
    EXPECT_EQ(dump->stats["managed"].Int(), 1);
    EXPECT_EQ(dump->timing["heartbeat_ms"].Int(), 10000);
}

TEST(StateDump, RejectsWhatIsNotADump) {
    std::string err;
    EXPECT_FALSE(ParseDump("{\"devices\":[]}", &err));
    EXPECT_FALSE(
        ParseDump("{\"format\":\"kestrix-devsim-dump/1\",\"devices\":[{\"info\":\"00\"}]}", &err));
    EXPECT_NE(err.find("info"), std::string::npos);
    EXPECT_FALSE(ParseDump("not json", &err));
}

TEST(JsonWriterAndReader, AnyBytesMakeValidJsonThatReadsBack) {
    std::string odd = "a\"b\\c\n\t\x01 é 中";
    std::string broken = "x\xff\xe4\xb8y";  // stray bytes and a cut character
    devsim::JsonWriter w;
    w.BeginObject();
    w.Key("plain").String(odd);
    w.Key("broken").String(broken);
    w.Key("n").Int(-42);
    w.Key("p").Number(0.25);
    w.Key("list").BeginArray().Int(1).Bool(true).String("").EndArray();
    w.Key("empty").BeginObject().EndObject();
    w.EndObject();
    std::string err;
    auto v = ParseJson(w.str(), &err);
    ASSERT_TRUE(v) << err << "\n" << w.str();
    EXPECT_EQ((*v)["plain"].Str(), odd);
    EXPECT_EQ((*v)["broken"].Str(), "x\u00ff\u00e4\u00b8y") << "odd bytes read as U+00XX";
    EXPECT_EQ((*v)["n"].Int(), -42);
    EXPECT_DOUBLE_EQ((*v)["p"].Number(), 0.25);
    ASSERT_EQ((*v)["list"].size(), 3u);
    EXPECT_TRUE((*v)["list"][1].Bool());
    EXPECT_TRUE((*v)["empty"].IsObject());
    EXPECT_TRUE((*v)["missing"]["deeper"][3].IsNull());
    EXPECT_EQ((*v)["plain"]["x"].Str(), "");
}

TEST(JsonReader, EscapesNumbersAndErrors) {
    auto v = ParseJson(R"( {"s":"\u4e2d\ud83d\ude00\/","a":[1.5e2,-0,true,null]} )");
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)["s"].Str(), "中😀/");
    EXPECT_DOUBLE_EQ((*v)["a"][0].Number(), 150);
    EXPECT_TRUE((*v)["a"][3].IsNull());
    EXPECT_EQ((*v)["a"].size(), 4u);
    for (const char* bad : {"", "{", "[1,]", "{\"a\":1,}", "01", "\"\\ud800\"", "\"a", "[1] x",
                            "{a:1}", "\"tab\there\"", "1.", "-", "tru"}) {
        std::string err;
        EXPECT_FALSE(ParseJson(bad, &err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }
    std::string deep(300, '[');
    EXPECT_FALSE(ParseJson(deep));
}

TEST(TraceReader, SplitsKindAndFields) {
    std::string path = ::testing::TempDir() + "/devsim_trace.log";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "12 rx port=9787 from=198.18.0.1:9787 size=16 type=2 mac=02:4b:58:00:00:01 dev=3 "
        "what=ignored reason=rebooting answers=0\n"
        "13 tx from=198.18.0.5:9787 to=198.18.0.1:9788 size=772 type=2 mac=m dev=3\n"
        "garbage\n",
        f);
    std::fclose(f);
    auto lines = labkit::ReadTrace(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].kind, "rx");
    EXPECT_EQ(lines[0].GetInt("dev"), 3);
    EXPECT_EQ(lines[0].Get("reason"), "rebooting");
    EXPECT_EQ(lines[1].ms, 13);
    EXPECT_EQ(lines[1].GetInt("size"), 772);
    EXPECT_EQ(lines[1].Get("nothing"), "");
    EXPECT_EQ(lines[1].GetInt("mac", -7), -7);
}

}  // namespace
}  // namespace kestrix
