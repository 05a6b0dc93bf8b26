// The action workers, the wait dialog's clock and the system tool page's
// adapter rows.

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

#include <gtest/gtest.h>

#include "controls/logic/wait_schedule.h"
#include "fleet/action_workers.h"
#include "fleet/adapter_rows.h"

namespace kestrix::testing {
namespace {

// A worker that runs until it is asked to stop, then reports.
struct Parked {
    std::promise<void> started;
    std::promise<bool> ended;  // true: it saw a stop request
};

ActionWorkers::Body ParkUntilStopped(std::shared_ptr<Parked> p) {
    return [p](std::stop_token stop) {
        p->started.set_value();
        std::mutex m;
        std::condition_variable_any cv;
        std::unique_lock lock(m);
        cv.wait(lock, stop, [] { return false; });
        p->ended.set_value(stop.stop_requested());
    };
}

TEST(ActionWorkers, ANewActionStopsTheOldWorkerAndStartsAtOnce) {
    ActionWorkers workers;
    auto first = std::make_shared<Parked>();
    auto firstEnded = first->ended.get_future();
    workers.Start(1, ParkUntilStopped(first));
    first->started.get_future().wait();
    EXPECT_TRUE(workers.IsRegistered(1));

    // Another kind is left alone.
    auto other = std::make_shared<Parked>();
    auto otherEnded = other->ended.get_future();
    workers.Start(2, ParkUntilStopped(other));
    other->started.get_future().wait();

    auto second = std::make_shared<Parked>();
    auto secondEnded = second->ended.get_future();
    workers.Start(1, ParkUntilStopped(second));
    // The new one runs although the old one is not waited for...
    second->started.get_future().wait();
    // ...and the old one was asked to stop.
    EXPECT_TRUE(firstEnded.get());
    EXPECT_EQ(otherEnded.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

    workers.ReleaseAll();
    EXPECT_FALSE(workers.IsRegistered(1));
    EXPECT_TRUE(secondEnded.get());
    EXPECT_TRUE(otherEnded.get());
}

TEST(ActionWorkers, WorkersRunOnCopiesAndOwnersMayGoFirst) {
    auto done = std::make_shared<std::promise<std::vector<int>>>();
    auto result = done->get_future();
    auto gate = std::make_shared<std::promise<void>>();
    std::shared_future<void> open = gate->get_future().share();
    {
        std::vector<int> selection = {1, 2, 3};
        ActionWorkers workers;
        workers.Start(7, [selection, done, open](std::stop_token) {
            open.wait();
            done->set_value(selection);
        });
        selection.clear();
        // The owner (a page) goes away while the worker still runs.
    }
    gate->set_value();
    EXPECT_EQ(result.get(), (std::vector<int>{1, 2, 3}));
}

TEST(ActionWorkers, ShutdownWaitsForReleasedWorkersStillSending) {
    // A released worker that is busy (not yet looking at its stop token)
    // keeps the count up; the wait gives up after its limit and succeeds
    // once the worker has ended. (Workers of earlier tests may still be on
    // their last instruction: let them go first.)
    ASSERT_TRUE(ActionWorkers::WaitForRunningWorkers(std::chrono::seconds(30)));
    auto gate = std::make_shared<std::promise<void>>();
    std::shared_future<void> open = gate->get_future().share();
    auto started = std::make_shared<std::promise<void>>();
    {
        ActionWorkers workers;
        workers.Start(3, [open, started](std::stop_token) {
            started->set_value();
            open.wait();
        });
        started->get_future().wait();
    }
    EXPECT_EQ(ActionWorkers::RunningCount(), 1);
    EXPECT_FALSE(ActionWorkers::WaitForRunningWorkers(std::chrono::milliseconds(20)));
    gate->set_value();
    EXPECT_TRUE(ActionWorkers::WaitForRunningWorkers(std::chrono::seconds(30)));
    EXPECT_EQ(ActionWorkers::RunningCount(), 0);
}

TEST(WaitSchedule, ClosingSearchesThreeSecondsApartEndingOnTheLastTick) {
    WaitSchedule wait(60, true, 3);
    EXPECT_EQ(wait.Total(), 120);
    EXPECT_EQ(wait.Counter(), 1);
    std::vector<int> searches, releases;
    int finishedAt = -1;
    int lastPosition = 0;
    for (int i = 0; i < 130 && finishedAt < 0; ++i) {
        const WaitSchedule::Step s = wait.Tick();
        if (s.search) searches.push_back(wait.Counter());
        if (s.releaseAnnounced) releases.push_back(wait.Counter());
        EXPECT_GE(s.position, lastPosition);
        lastPosition = s.position;
        if (s.finished) finishedAt = wait.Counter();
    }
    EXPECT_EQ(searches, (std::vector<int>{108, 114, 120}));
    EXPECT_EQ(releases, (std::vector<int>{108}));
    EXPECT_EQ(finishedAt, 120);
    EXPECT_EQ(lastPosition, 120);

    WaitSchedule restore(60, true, 5);
    searches.clear();
    for (int i = 0; i < 119; ++i) {
        if (restore.Tick().search) searches.push_back(restore.Counter());
    }
    EXPECT_EQ(searches, (std::vector<int>{96, 102, 108, 114, 120}));

    WaitSchedule quiet(15, false, 3);
    for (int i = 0; i < 29; ++i) {
        const auto s = quiet.Tick();
        EXPECT_FALSE(s.search || s.releaseAnnounced);
        EXPECT_EQ(s.finished, i == 28);
    }
}

TEST(AdapterRows, AddressesJoinedWithTwoDashes) {
    AdapterRecord a;
    a.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    a.description = "Intel PRO/1000";
    a.entries = {{"192.168.0.5", "255.255.255.0", ""}, {"10.0.0.5", "255.0.0.0", ""}};
    AdapterRecord b;
    b.description = "usb0";
    b.entries = {{"172.16.1.1", "255.255.0.0", ""}};
    AdapterRecord none;

    const auto rows = BuildAdapterRows({a, b, none});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, "1");
    EXPECT_EQ(rows[0].description, "Intel PRO/1000");
    EXPECT_EQ(rows[0].mac, "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(rows[0].ips, "192.168.0.5--10.0.0.5");
    EXPECT_EQ(rows[1].id, "2");
    EXPECT_EQ(rows[1].ips, "172.16.1.1");
    EXPECT_EQ(rows[2].ips, "");
    EXPECT_TRUE(BuildAdapterRows({}).empty());
}

}  // namespace
}  // namespace kestrix::testing
