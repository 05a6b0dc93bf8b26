// The reboot and restore pages against kestrix-devsim in the network lab,
// offscreen, with the real link and store: 20 devices rebooted through the
// page read "Restarting", fall silent and come back "Online" after the
// closing searches; 5 devices restored read "Reseting" and come back with
// the simulator's factory settings; a device that never answers keeps its
// status and no message appears.
//
// The wait dialog's clock is driven here at five ticks a second (and the
// simulator's restart is short), so that a wait takes seconds, not a minute.

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <QApplication>
#include <QTest>

#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/WaitDlg.h"
#include "fleet/device_workers.h"
#include "fleet/status_link.h"
#include "link/device_link.h"
#include "pages/PageMessage.h"
#include "pages/RebootDlg.h"
#include "pages/RestoreDlg.h"
#include "store/field_texts.h"
#include "store/sql_management.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/lab_app.h"
#include "tests/support/labkit.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using namespace std::chrono_literals;
using kestrix::testing::RowOfMac;
using kestrix::testing::WhenModal;

namespace {

constexpr int kFleet = 26;
constexpr int kRebooted = 20;  // devices 0..19
constexpr int kFirstRestored = 20;
constexpr int kRestored = 5;  // devices 20..24
// A stored device no simulator answers for.
const char* const kGhostMac = "02:4b:58:ee:ee:ee";

}  // namespace

class RebootLabTest : public QObject {
    Q_OBJECT
private:
    const labkit::SimDevice* Sim(int index) const { return core_.Sim(index); }
    bool Refresh() { return core_.Refresh(); }
    bool AllRead(CDeviceListDlg& page, int first, int count, int statusColumn, uint32_t code,
                 bool tick = false) {
        auto* commanding = dynamic_cast<CRebootRestoreDlg*>(&page);
        if (tick && commanding) commanding->OnStatusTick();
        CGridCtrl* grid = page.Grid();
        const QString text = QString::fromStdString(StatusText(code));
        for (int i = first; i < first + count; ++i) {
            const int row = RowOfMac(grid, Sim(i)->mac);
            if (row < 1 || grid->GetItemText(row, statusColumn) != text) return false;
        }
        return true;
    }
    bool RefreshedAllOnline(CRebootRestoreDlg& page, int first, int count, int statusColumn) {
        page.RefreshCurrentPage();
        return AllRead(page, first, count, statusColumn, kStatusOnline);
    }
    // Ticks the rows of devices first..first+count-1 and the ghost, runs the
    // action and drives the wait; returns after the refresh that follows it.
    void RunAction(CRebootRestoreDlg& page, int first, int count, int statusColumn,
                   uint32_t accepted) {
        page.RefreshCurrentPage();
        CGridCtrl* grid = page.Grid();
        for (int i = first; i < first + count; ++i) {
            const int row = RowOfMac(grid, Sim(i)->mac);
            QVERIFY(row >= 1);
            grid->SetCheck(row, true);
        }
        const int ghostRow = RowOfMac(grid, kGhostMac);
        QVERIFY(ghostRow >= 1);
        grid->SetCheck(ghostRow, true);
        const QString ghostBefore = grid->GetItemText(ghostRow, statusColumn);

        WhenModal<CWaitDlg> wait([&](CWaitDlg* d) {
            // The replies come within the first second.
            QTRY_VERIFY_WITH_TIMEOUT(AllRead(page, first, count, statusColumn, accepted, true),
                                     3000);
            QCOMPARE(grid->GetItemText(RowOfMac(grid, kGhostMac), statusColumn), ghostBefore);
            while (d->isVisible()) {
                d->Tick();
                QTest::qWait(200);
            }
        });
        QTest::mouseClick(page.ActionButton(), Qt::LeftButton);
        QVERIFY(wait.Seen());
        QVERIFY(page.RefreshTimer().isActive());
        // The refresh a second after the wait, and those after it, show the
        // devices back.
        QTRY_VERIFY_WITH_TIMEOUT(RefreshedAllOnline(page, first, count, statusColumn), 15000);
        QCOMPARE(grid->GetItemText(RowOfMac(grid, kGhostMac), statusColumn), ghostBefore);
        QVERIFY(messages_.empty());
    }

    kestrix::testing::LabApp core_;
    CSqlManagement* store_ = nullptr;
    DeviceLink* link_ = nullptr;
    std::vector<QString> messages_;

private slots:
    void initTestCase() {
        std::string err;
        QVERIFY2(core_.Enter("reboot",
                             {.devices = kFleet,
                              .sim_args = {"--seed", "14", "--reboot-time", "3s", "--set",
                                           "20-24 name=factory-name"}},
                             &err),
                 err.c_str());
        store_ = core_.store.get();
        link_ = core_.link.get();
        QVERIFY(core_.StartLink());
        core_.context.messageHook = [this](MessageKind kind, const QString& text) {
            if (kind == MessageKind::kNone) return true;  // OK to the question
            messages_.push_back(text);
            return false;
        };
        link_->RefreshCaptureDevices();
        link_->Search();
        QTRY_VERIFY_WITH_TIMEOUT(core_.OnlineCount() == kFleet, 20000);
        // The ghost: in the lab's subnet, so the command goes out, but
        // nobody answers it.
        ap_info_stu ghost;
        QVERIFY(store_->GetDeviceByMac(Sim(0)->mac, ghost));
        ghost.set_mac(kGhostMac);
        QVERIFY(store_->SaveDeviceInfo(ghost));
    }

    void cleanupTestCase() { core_.Close(); }

    void rebootTwentyDevices() {
        CRebootDlg page(core_.context);
        page.resize(1100, 700);
        page.show();
        RunAction(page, 0, kRebooted, 10, kStatusRestarting);
        QVERIFY(Refresh());
        for (int i = 0; i < kFleet; ++i) QCOMPARE(Sim(i)->reboots, uint32_t(i < kRebooted ? 1 : 0));
    }

    void restoreFiveDevicesToTheirFactorySettings() {
        // Renamed first, so that the reset shows.
        LinkCommandSink sink(*link_);
        for (int i = kFirstRestored; i < kFirstRestored + kRestored; ++i)
            SendRename(sink, {Sim(i)->ip, Sim(i)->mac, Sim(i)->type}, "renamed");
        QTRY_VERIFY_WITH_TIMEOUT(
            Refresh() && Sim(kFirstRestored + kRestored - 1)->name == "renamed", 10000);
        CRestoreDlg page(core_.context);
        page.resize(1100, 700);
        page.show();
        RunAction(page, kFirstRestored, kRestored, 11, kStatusReseting);
        QVERIFY(Refresh());
        for (int i = kFirstRestored; i < kFirstRestored + kRestored; ++i) {
            QCOMPARE(Sim(i)->restores, uint32_t(1));
            QCOMPARE(Sim(i)->name, std::string("factory-name"));
            ap_info_stu record;
            QVERIFY(store_->GetDeviceByMac(Sim(i)->mac, record));
            QCOMPARE(record.info().ap_name(), std::string("factory-name"));
        }
        QCOMPARE(Sim(0)->restores, uint32_t(0));
    }
};

QTEST_MAIN(RebootLabTest)
#include "reboot_lab_test.moc"
