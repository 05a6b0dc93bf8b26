// The firmware upgrade's checks, its request block and its state machine,
// driven tick by tick against a fake link and a fake file server.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "fleet/upgrade_plan.h"
#include "fleet/upgrade_run.h"
#include "link/wire/device_status.h"
#include "store/field_texts.h"
#include "tests/support/temp_files.h"

namespace kestrix::testing {
namespace {

SelectedDevice Device(int i, uint16_t type) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "00:11:22:33:44:%02x", i);
    return {"198.18.0." + std::to_string(i + 2), mac, type};
}

std::vector<SelectedDevice> Devices(int n, uint16_t type, int first = 0) {
    std::vector<SelectedDevice> out;
    for (int i = 0; i < n; ++i) out.push_back(Device(first + i, type));
    return out;
}

// The store's statuses and what went out, in order.
struct FakeUpgradeLink : UpgradeLink {
    struct Sent {
        MsgType type;
        std::string mac;
        size_t length;
    };
    std::map<std::string, int> status;
    std::vector<Sent> sent;
    std::vector<std::string> log;  // "clear MAC" / "request MAC" / "start MAC" / "search"
    int searches = 0;

    bool SendToDevice(const std::string&, MsgType type, const uint8_t*, size_t length,
                      const std::string& mac, bool registerRetry) override {
        EXPECT_TRUE(registerRetry);
        sent.push_back({type, mac, length});
        log.push_back((type == MsgType::UpgradeRequest ? "request " : "start ") + mac);
        return true;
    }
    void NoteNewAddress(const std::string&, const std::string&, const std::string&) override {}
    void Search() override {
        ++searches;
        log.push_back("search");
    }
    int GetDeviceStatus(const std::string& mac) override {
        auto it = status.find(mac);
        return it == status.end() ? 0 : it->second;
    }
    bool ClearUpgradeFail(const std::string& mac) override {
        log.push_back("clear " + mac + " " + std::to_string(GetDeviceStatus(mac)));
        if (GetDeviceStatus(mac) != kStatusUpgradeFail) return false;
        status[mac] = kStatusOnline;
        return true;
    }
    bool IsUpgradeWaiting(const std::string& mac) override {
        return GetDeviceStatus(mac) == kStatusUpgradeWait;
    }
    size_t Count(MsgType type) const {
        size_t n = 0;
        for (const Sent& s : sent) n += s.type == type;
        return n;
    }
};

struct FakeServer : FileServerControl {
    std::vector<std::string> calls;
    bool running = false;
    int looksUntilRunning = -1;  // -1: never
    void TerminateAll() override {
        calls.push_back("terminate");
        running = false;
    }
    bool WriteDirectory(const std::string& folder) override {
        calls.push_back("write " + folder);
        return true;
    }
    bool StartHidden() override {
        calls.push_back("start");
        return true;
    }
    bool IsRunning() override {
        calls.push_back("look");
        if (looksUntilRunning >= 0 && looksUntilRunning-- == 0) running = true;
        return running;
    }
    int Terminations() const {
        int n = 0;
        for (const std::string& c : calls) n += c == "terminate";
        return n;
    }
};

UpgradeRequestBlock Request() {
    return BuildUpgradeRequestPayload("fw-2.0.bin", 1234);
}

// Every running timer ticks once, in the order the dialog's timers fire.
void Second(UpgradeRun& run) {
    run.TickGroup();
    run.TickTransfer();
    run.TickRebooting();
}

void SetAll(FakeUpgradeLink& link, const std::vector<SelectedDevice>& ds, int status) {
    for (const SelectedDevice& d : ds) link.status[d.mac] = status;
}

// ---- Checks --------------------------------------------------------------------

TEST(UpgradeChecks, TargetCountAndPathRules) {
    struct Case {
        size_t count;
        const char* key;
    } counts[] = {{0, "Please select the devices!"},
                  {1, ""},
                  {10, ""},
                  {11, "Maximum selection of 10 devices!"}};
    for (const Case& c : counts) {
        const RuleResult r = CheckUpgradeTargetCount(c.count);
        EXPECT_EQ(r.key, c.key) << c.count;
        if (!r) {
            EXPECT_EQ(r.kind, MessageKind::kWarning);
        }
    }

    const std::string longName(252, 'x');  // 256 bytes with ".bin"
    struct PathCase {
        std::string path;
        const char* key;
    } paths[] = {
        {"", "Please select the upgrade file!"},
        {"/fw/a.bin", ""},
        {"/fw/a.BIN", ""},
        {"/fw/a.Bin", "Upgrade file is not .bin file!"},
        {"/fw/a.bIN", "Upgrade file is not .bin file!"},
        {"/fw/a.bin.txt", "Upgrade file is not .bin file!"},
        {"bin", "Upgrade file is not .bin file!"},
        {".bin", ""},
        {"/fw/" + std::string(251, 'x') + ".bin", ""},
        {"/fw/" + longName + ".bin", "Upgrade file name is too long!"},
        // The folder does not count towards the name.
        {"/" + std::string(300, 'd') + "/a.bin", ""},
    };
    for (const PathCase& c : paths) {
        const RuleResult r = CheckUpgradePath(c.path);
        EXPECT_EQ(r.key, c.key) << c.path.substr(0, 40);
    }
}

TEST(UpgradeChecks, TypeChoicesAreDistinctModelsInTargetOrder) {
    const uint16_t a = ModelCodes()[3], b = ModelCodes()[0];
    std::vector<SelectedDevice> targets = {Device(0, a), Device(1, b), Device(2, a), Device(3, b)};
    const auto choices = UpgradeTypeChoices(targets);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0], (UpgradeTypeChoice{a, ModelName(a)}));
    EXPECT_EQ(choices[1], (UpgradeTypeChoice{b, ModelName(b)}));
    EXPECT_EQ(TargetsOfType(targets, b), (std::vector<SelectedDevice>{targets[1], targets[3]}));
}

TEST(UpgradeChecks, RequestBlockCarriesNameLengthAndSize) {
    TempDir dir;
    const std::string path = dir.Write("firmware-v3.bin", std::string(5000, 'z'));
    const std::string folder = dir.Dir().substr(0, dir.Dir().size() - 1);
    const UpgradeFile f = InspectUpgradeFile(path);
    EXPECT_TRUE(f.opened);
    EXPECT_EQ(f.name, "firmware-v3.bin");
    EXPECT_EQ(f.folder, folder);
    EXPECT_EQ(f.size, 5000u);
    const UpgradeRequestBlock block = MakeUpgradeRequest(f);
    EXPECT_EQ(block.file_name(), "firmware-v3.bin");
    EXPECT_EQ(block.data()[260], 15);
    EXPECT_EQ(block.file_size(), 5000u);

    // Missing and non-regular files announce size 0.
    for (const std::string& p : {dir.File("missing.bin"), folder}) {
        const UpgradeFile g = InspectUpgradeFile(p);
        EXPECT_FALSE(g.opened) << p;
        EXPECT_EQ(MakeUpgradeRequest(g).file_size(), 0u) << p;
    }
    // A link to the image is announced as the file it names, from that
    // file's folder: the file server follows no link.
    ASSERT_EQ(::mkdir(dir.File("links").c_str(), 0755), 0);
    const std::string link = dir.File("links/latest.bin");
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    const UpgradeFile viaLink = InspectUpgradeFile(link);
    EXPECT_TRUE(viaLink.opened);
    EXPECT_EQ(viaLink.path, link);
    EXPECT_EQ(viaLink.name, "firmware-v3.bin");
    EXPECT_EQ(std::filesystem::canonical(viaLink.folder), std::filesystem::canonical(folder));
    EXPECT_EQ(viaLink.size, 5000u);
    // A size the 32-bit field cannot hold is not wrapped around.
    UpgradeFile huge = f;
    huge.size = (uint64_t{1} << 32) + 7;
    EXPECT_EQ(MakeUpgradeRequest(huge).file_size(), 0u);
}

// ---- The file server's preparation and the worker's wait ----------------------

TEST(UpgradeServer, PreparationOrderAndWorkerLooks) {
    FakeServer server;
    PrepareFileServer(server, "/srv/fw");
    EXPECT_EQ(server.calls, (std::vector<std::string>{"terminate", "write /srv/fw", "start"}));

    struct Case {
        int runningAfter;  // looks that fail first; -1 never
        bool found;
        int looks;
        std::vector<int> pauses;  // ms
    } cases[] = {
        {0, true, 1, {3000}},
        {2, true, 3, {3000, 1000, 1000}},
        {-1, false, 3, {3000, 1000, 1000, 1000}},
    };
    for (const Case& c : cases) {
        FakeServer s;
        s.looksUntilRunning = c.runningAfter;
        std::vector<int> pauses;
        const bool found =
            WaitForFileServer(s, {}, {}, [&](std::chrono::milliseconds ms, std::stop_token) {
                pauses.push_back(static_cast<int>(ms.count()));
            });
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(std::count(s.calls.begin(), s.calls.end(), "look"), c.looks);
        EXPECT_EQ(pauses, c.pauses);
    }
    // A stop request ends the wait without a look.
    std::stop_source stop;
    stop.request_stop();
    FakeServer s;
    EXPECT_FALSE(WaitForFileServer(s, stop.get_token(), {}, [](auto, auto) {}));
    EXPECT_TRUE(s.calls.empty());
}

// ---- Where the server's settings go ----------------------------------------------

// The program folder as ResolveUserPaths sees it: writable or not, with or
// without a home folder.
UserPaths PathsFor(const std::string& programDir, bool writable, const std::string& home) {
    PathEnvironment env;
    env.getenv = [](const char*) -> const char* { return nullptr; };
    env.writable = [writable](const std::string&) { return writable; };
    env.fileExists = [](const std::string&) { return false; };
    env.home = [home] { return home; };
    return ResolveUserPaths(programDir, env);
}

TEST(UpgradeServer, SettingsFileOfABuildOrPortableCopyOrAnInstalledOne) {
    struct Case {
        const char* name;
        bool writable;
        std::string home;
        std::string settingsPath, parameters, folder;
    } cases[] = {
        {"build or portable copy", true, "/home/op", "/opt/kx/service/FileServer.ini", "", ""},
        {"installed", false, "/home/op", "/home/op/.local/state/kestrix/FileServer.ini",
         "--config \"/home/op/.local/state/kestrix/FileServer.ini\"",
         "/home/op/.local/state/kestrix/"},
        {"installed, home with a space", false, "/home/o p",
         "/home/o p/.local/state/kestrix/FileServer.ini",
         "--config \"/home/o p/.local/state/kestrix/FileServer.ini\"",
         "/home/o p/.local/state/kestrix/"},
        // Nowhere of the user's own: the program folder, as before.
        {"installed, no home", false, "", "/opt/kx/service/FileServer.ini", "", ""},
        // A quote cannot be passed through RunProgram: no parameters, and
        // StartHidden refuses rather than start with the stale file.
        {"installed, quote in home", false, "/home/o\"p",
         "/home/o\"p/.local/state/kestrix/FileServer.ini", "", "/home/o\"p/.local/state/kestrix/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileServerFiles f =
            ChooseFileServerFiles("/opt/kx/service/", PathsFor("/opt/kx/", c.writable, c.home));
        EXPECT_EQ(f.settingsPath, c.settingsPath);
        EXPECT_EQ(f.parameters, c.parameters);
        EXPECT_EQ(f.folder, c.folder);
    }
}

TEST(UpgradeServer, InstalledCopyWritesTheDirectoryIntoItsStateFolder) {
    TempDir program, home;
    const std::string service = program.Dir() + "service/";
    ProcessFileServer server(service, PathsFor(program.Dir(), false, home.Dir()));
    const std::string state = home.Dir() + ".local/state/kestrix/";
    EXPECT_EQ(server.SettingsPath(), state + "FileServer.ini");
    ASSERT_TRUE(server.WriteDirectory("/srv/fw"));
    EXPECT_TRUE(std::filesystem::is_regular_file(state + "FileServer.ini"));
    EXPECT_EQ(std::filesystem::status(state).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_FALSE(std::filesystem::exists(service + "FileServer.ini"));
}

// ---- The state machine -----------------------------------------------------------

TEST(UpgradeRunTest, OnlyTheChosenTypeIsSentAndWatched) {
    FakeUpgradeLink link;
    FakeServer server;
    UpgradeRun run(link, server);
    const uint16_t a = ModelCodes()[1], b = ModelCodes()[2];
    std::vector<SelectedDevice> targets = Devices(3, a);
    targets.insert(targets.begin() + 1, Device(7, b));
    run.Start(targets, a, Request(), "/srv");
    EXPECT_EQ(server.calls, (std::vector<std::string>{"terminate", "write /srv", "start"}));
    EXPECT_EQ(run.WatchList(), Devices(3, a));
    EXPECT_TRUE(link.sent.empty());  // nothing before the worker's wait ends
    EXPECT_TRUE(run.TimerRunning(UpgradeRun::Timer::kTransfer));
    EXPECT_TRUE(run.TimerRunning(UpgradeRun::Timer::kStatusView));
    EXPECT_FALSE(run.TimerRunning(UpgradeRun::Timer::kGroup));
    run.SendFirstGroup();
    run.SendFirstGroup();  // a second call sends nothing more
    ASSERT_EQ(link.sent.size(), 3u);
    for (const auto& s : link.sent) {
        EXPECT_EQ(s.type, MsgType::UpgradeRequest);
        EXPECT_EQ(s.length, 268u);
        EXPECT_NE(s.mac, Device(7, b).mac);
    }
    EXPECT_EQ(run.ProgressMaximum(), 120);
}

TEST(UpgradeRunTest, FailedStatusIsClearedJustBeforeItsRequest) {
    FakeUpgradeLink link;
    FakeServer server;
    UpgradeRun run(link, server);
    const auto ds = Devices(2, 1);
    link.status[ds[0].mac] = kStatusUpgradeFail;
    link.status[ds[1].mac] = kStatusOnline;
    run.Start(ds, 1, Request(), "/srv");
    run.SendFirstGroup();
    EXPECT_EQ(link.log,
              (std::vector<std::string>{"clear " + ds[0].mac + " 9", "request " + ds[0].mac,
                                        "clear " + ds[1].mac + " 1", "request " + ds[1].mac}));
    EXPECT_EQ(link.status[ds[0].mac], kStatusOnline);
}

TEST(UpgradeRunTest, GroupEndsWhenEveryDeviceReportedOrAfter120Seconds) {
    struct Case {
        const char* name;
        std::vector<int> statuses;  // per device, reported after `at` seconds
        int at;
        int groupEndsAt;
        size_t starts;  // UpgradeStart sent
    } cases[] = {
        {"all wait", {6, 6, 6}, 5, 5, 3},    {"mixed final", {6, 9, 8}, 2, 2, 1},
        {"gone counts", {6, 0, 6}, 3, 3, 2}, {"one upgrading", {6, 7, 6}, 1, 120, 2},
        {"silent", {1, 1, 1}, 1, 120, 0},
    };
    for (const Case& c : cases) {
        FakeUpgradeLink link;
        FakeServer server;
        UpgradeRun run(link, server);
        const auto ds = Devices(3, 1);
        SetAll(link, ds, kStatusOnline);
        run.Start(ds, 1, Request(), "/srv");
        run.SendFirstGroup();
        int endedAt = -1;
        for (int s = 1; s <= 130 && endedAt < 0; ++s) {
            if (s == c.at) {
                for (size_t i = 0; i < ds.size(); ++i) {
                    if (c.statuses[i] == 0) {
                        link.status.erase(ds[i].mac);
                    } else {
                        link.status[ds[i].mac] = c.statuses[i];
                    }
                }
            }
            run.TickGroup();
            if (!run.TimerRunning(UpgradeRun::Timer::kGroup)) endedAt = s;
        }
        EXPECT_EQ(endedAt, c.groupEndsAt) << c.name;
        EXPECT_EQ(link.Count(MsgType::UpgradeStart), c.starts) << c.name;
        EXPECT_TRUE(run.AllSent()) << c.name;
    }
}

TEST(UpgradeRunTest, PhasesSearchesAndProgress) {
    FakeUpgradeLink link;
    FakeServer server;
    UpgradeRun run(link, server);
    const auto ds = Devices(4, 1);
    SetAll(link, ds, kStatusOnline);
    run.Start(ds, 1, Request(), "/srv");
    Second(run);
    Second(run);
    run.SendFirstGroup();
    EXPECT_EQ(run.ProgressValue(), 2);
    EXPECT_STREQ(run.ProgressTextKey(), "Upgrade file transfer progress");
    SetAll(link, ds, kStatusUpgradeWait);
    run.TickGroup();  // the group ends; the transfer phase sees it at its next tick
    EXPECT_TRUE(run.AllSent());
    EXPECT_EQ(run.CurrentPhase(), UpgradeRun::Phase::kTransfer);
    SetAll(link, ds, kStatusUpgrading);
    run.TickTransfer();
    ASSERT_EQ(run.CurrentPhase(), UpgradeRun::Phase::kRebooting);
    EXPECT_STREQ(run.ProgressTextKey(), "Firmware upgrading progress");
    EXPECT_EQ(run.ProgressMaximum(), 130);
    EXPECT_EQ(run.ProgressValue(), 0);

    std::vector<int> searchedAt;
    for (int s = 1; s <= 140 && !run.CloseRequested(); ++s) {
        const int before = link.searches;
        Second(run);
        if (link.searches != before) searchedAt.push_back(s);
        if (s == 60) {
            EXPECT_EQ(run.ProgressValue(), 60);
        }
    }
    EXPECT_EQ(searchedAt, (std::vector<int>{124, 127, 130}));
    EXPECT_EQ(run.RebootingSeconds(), 130);
    EXPECT_EQ(run.ProgressValue(), 130);
    EXPECT_TRUE(run.CloseRequested());
    EXPECT_FALSE(run.AllFailedEarly());
    EXPECT_FALSE(run.TimerRunning(UpgradeRun::Timer::kStatusView));
    EXPECT_EQ(server.calls.back(), "terminate");
}

TEST(UpgradeRunTest, EveryDeviceFailingClosesAtTheEndOfTheTransferPhase) {
    FakeUpgradeLink link;
    FakeServer server;
    UpgradeRun run(link, server);
    const auto ds = Devices(3, 1);
    SetAll(link, ds, kStatusOnline);
    run.Start(ds, 1, Request(), "/srv");
    run.SendFirstGroup();
    Second(run);
    EXPECT_FALSE(run.CloseRequested());
    SetAll(link, ds, kStatusUpgradeFail);
    Second(run);  // the group settles and the transfer phase ends
    EXPECT_TRUE(run.CloseRequested());
    EXPECT_TRUE(run.AllFailedEarly());
    EXPECT_EQ(link.searches, 0);
    EXPECT_EQ(link.Count(MsgType::UpgradeStart), 0u);
    EXPECT_EQ(server.Terminations(), 2);  // before the start, and now

    // One survivor keeps the rebooting phase.
    FakeUpgradeLink link2;
    FakeServer server2;
    UpgradeRun run2(link2, server2);
    run2.Start(ds, 1, Request(), "/srv");
    run2.SendFirstGroup();
    SetAll(link2, ds, kStatusUpgradeFail);
    link2.status[ds[2].mac] = kStatusUpgradeSuccess;
    Second(run2);
    EXPECT_FALSE(run2.CloseRequested());
    EXPECT_EQ(run2.CurrentPhase(), UpgradeRun::Phase::kRebooting);
}

TEST(UpgradeRunTest, StopEndsTheServerEveryTimeAndFreezesTheTimers) {
    FakeUpgradeLink link;
    FakeServer server;
    UpgradeRun run(link, server);
    run.Stop();  // closed before any start: the server is ended all the same
    EXPECT_EQ(server.Terminations(), 1);
    run.Start(Devices(2, 1), 1, Request(), "/srv");
    run.SendFirstGroup();
    run.Stop();
    run.Stop();
    EXPECT_EQ(server.Terminations(), 4);
    for (auto t : {UpgradeRun::Timer::kGroup, UpgradeRun::Timer::kTransfer,
                   UpgradeRun::Timer::kRebooting, UpgradeRun::Timer::kStatusView})
        EXPECT_FALSE(run.TimerRunning(t));
    const size_t sent = link.sent.size();
    for (int i = 0; i < 200; ++i) Second(run);
    run.SendFirstGroup();
    EXPECT_EQ(link.sent.size(), sent);
    EXPECT_EQ(link.searches, 0);
}

}  // namespace
}  // namespace kestrix::testing
