// The status page against kestrix-devsim in the network lab, offscreen, with
// the real link and store: a search lists the whole fleet, devices only
// heard announcing themselves included, while it runs; a rename reaches the
// simulator and the list shows the new name after its refresh; both
// switches reach the simulator; a batch of five devices moves to new
// addresses and the list finds them there.
//
// The test process moves into the lab's host namespace before the link
// starts, so the link sees the lab's host adapter as its only adapter.

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "app/PageRegistry.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "fleet/status_link.h"
#include "link/device_link.h"
#include "pages/BridgeSetMultiDlg.h"
#include "pages/IpsetMutilDlg.h"
#include "pages/PageMessage.h"
#include "pages/PxsyncenSetMultiDlg.h"
#include "pages/StatusDlg.h"
#include "shell/AppContext.h"
#include "store/field_texts.h"
#include "store/sql_management.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/lab_app.h"
#include "tests/support/labkit.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using kestrix::testing::GridColumn;
using kestrix::testing::RenameRow;
using kestrix::testing::RowOfMac;
using kestrix::testing::WhenModal;

namespace {

constexpr int kFleet = 60;
// Announce themselves but never give their information.
const std::set<int> kMuted = {10, 20, 30, 40, 50};
// Devices 0..2 have both switches, both off; device 3 is renamed; 4..8
// move to new addresses.
constexpr int kRenamed = 3;
constexpr int kFirstMoved = 4;
constexpr int kMoved = 5;
constexpr int kIp = 4;
constexpr int kBridgeColumn = 10;
constexpr int kPxsyncColumn = 11;

constexpr int kSearchWaitMs = 40000;

}  // namespace

class StatusLabTest : public QObject {
    Q_OBJECT
private:
    const labkit::SimDevice* Sim(int index) const { return core_.Sim(index); }
    bool Refresh() { return core_.Refresh(); }
    std::unique_ptr<CStatusDlg> ShownPage() {
        auto page = std::make_unique<CStatusDlg>(core_.context);
        page->resize(1100, 700);
        page->show();
        page->PageSizeBox()->setCurrentIndex(3);  // 100 rows: the whole fleet on one page
        return page;
    }
    ap_info_stu Stored(const std::string& mac) {
        ap_info_stu record;
        AppStatusLink(nullptr, store_).GetDeviceByMac(mac, record);
        return record;
    }

    kestrix::testing::LabApp core_;
    CSqlManagement* store_ = nullptr;
    DeviceLink* link_ = nullptr;

private slots:
    void initTestCase() {
        std::string muted;
        for (int i : kMuted) muted += (muted.empty() ? "" : ",") + std::to_string(i);
        std::string err;
        QVERIFY2(core_.Enter("status",
                             {.devices = kFleet,
                              .sim_args = {"--seed", "9", "--set",
                                           "0-2 type=10 mode=1 transparent=0 pxsync=0", "--set",
                                           "3 name=old-name", "--mute-info", muted}},
                             &err),
                 err.c_str());
        QCOMPARE(core_.dump->devices.size(), size_t(kFleet));
        store_ = core_.store.get();
        link_ = core_.link.get();
        QVERIFY(link_->Start(3, 2000));
        core_.context.deviceSource = std::make_shared<StoreDeviceSource>(store_, link_);
        core_.context.statusLink = std::make_shared<AppStatusLink>(link_, store_);
        // A message would wait for a person: record and fail instead.
        core_.context.messageHook = [](MessageKind, const QString& text) {
            qWarning("message: %s", qPrintable(text));
            return false;
        };
    }

    void cleanupTestCase() {
        core_.context.deviceSource = nullptr;
        core_.context.statusLink = nullptr;
        core_.context.messageHook = nullptr;
        core_.Close();
    }

    // Search: the fleet fills the list while the 30 s search runs, the
    // muted devices after the stored ones as announced-only rows; the
    // search then ends by itself.
    void searchListsTheFleetWhileItRuns() {
        auto page = ShownPage();
        CGridCtrl* grid = page->Grid();
        QCOMPARE(grid->GetRowCount(), 1);
        QTest::mouseClick(page->SearchButton(), Qt::LeftButton);
        QVERIFY(page->IsSearching());
        QVERIFY(page->SearchTimer().isActive());
        // Until every device that answers has given its information: only
        // the muted ones are left announced-only.
        auto announcedRows = [grid] {
            int n = 0;
            for (int r = 1; r < grid->GetRowCount(); ++r)
                n += grid->GetItemData(r, 1) == kStatusAnnouncedOnly ? 1 : 0;
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT((grid->GetRowCount() == kFleet + 1 &&
                                  announcedRows() == static_cast<int>(kMuted.size())) ||
                                     !page->IsSearching(),
                                 kSearchWaitMs);
        QVERIFY2(page->IsSearching(), "the fleet was not listed before the search ended");
        QCOMPARE(grid->GetRowCount(), kFleet + 1);

        // Every device once, at the simulator's address; the muted ones
        // last, drawn as announced-only, without an Operate image.
        const QStringList macs = GridColumn(grid, 5);
        const int stored = kFleet - static_cast<int>(kMuted.size());
        for (const labkit::SimDevice& d : core_.dump->devices) {
            const int row = RowOfMac(grid, d.mac);
            QVERIFY2(row > 0, d.mac.c_str());
            QCOMPARE(grid->GetItemText(row, kIp), QString::fromStdString(d.ip));
            const bool muted = kMuted.count(d.index) != 0;
            QCOMPARE(grid->GetItemData(row, 1), muted ? qint64(kStatusAnnouncedOnly) : qint64(1));
            QCOMPARE(row > stored, muted);
            QCOMPARE(grid->GetItemImage(row, 13), muted ? -1 : 0);
            if (!muted) QCOMPARE(grid->GetItemText(row, 2), QString::fromStdString(d.name));
        }
        QCOMPARE(page->State().onlineCount, stored);

        QTRY_VERIFY_WITH_TIMEOUT(!page->IsSearching(), kSearchWaitMs);
        QCOMPARE(page->SearchTicks(), 30);
        QVERIFY(grid->isEnabled());
        QCOMPARE(grid->GetRowCount(), kFleet + 1);
    }

    // Rename: the name reaches the device, and the refresh two seconds
    // later shows what the device now reports.
    void renameReachesTheSimulatorAndShowsAfterTheRefresh() {
        auto page = ShownPage();
        CGridCtrl* grid = page->Grid();
        const std::string mac = Sim(kRenamed)->mac;
        const int row = RowOfMac(grid, mac);
        QVERIFY(row > 0);
        QCOMPARE(grid->GetItemText(row, 2), QStringLiteral("old-name"));
        QSignalSpy refreshed(page.get(), &CDeviceListDlg::ListRefreshed);
        RenameRow(grid, row, QStringLiteral("yard-gate-7"));
        QVERIFY(page->RefreshTimer().isActive());

        QTRY_VERIFY_WITH_TIMEOUT(Refresh() && Sim(kRenamed)->name == "yard-gate-7", 10000);
        QTRY_VERIFY_WITH_TIMEOUT(refreshed.count() > 0, 10000);
        QCOMPARE(Stored(mac).info().ap_name(), std::string("yard-gate-7"));
        QCOMPARE(grid->GetItemText(RowOfMac(grid, mac), 2), QStringLiteral("yard-gate-7"));
    }

    // The switches: devices 0..2 have both off; each dialog switches its
    // feature on for them, the simulator holds it, and after the refresh
    // the list shows it.
    void switchesReachTheSimulator() {
        auto page = ShownPage();
        CGridCtrl* grid = page->Grid();
        struct Step {
            CTButtonPicture* button;
            int column;
        };
        for (const Step step : {Step{page->SetBridgeButton(), kBridgeColumn},
                                Step{page->PxsyncButton(), kPxsyncColumn}}) {
            page->RefreshCurrentPage();
            for (int i = 0; i < 3; ++i) grid->SetCheck(RowOfMac(grid, Sim(i)->mac), true);
            QSignalSpy refreshed(page.get(), &CDeviceListDlg::ListRefreshed);
            WhenModal<CSwitchSetMultiDlg> dialog([](CSwitchSetMultiDlg* d) {
                QCOMPARE(d->SwitchState(), 0);
                QTest::mouseClick(d->EnableRadio(), Qt::LeftButton);
                QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
            });
            QTest::mouseClick(step.button, Qt::LeftButton);
            QVERIFY(dialog.Seen());
            const bool bridge = step.column == kBridgeColumn;
            QTRY_VERIFY_WITH_TIMEOUT(
                Refresh() &&
                    [&] {
                        for (int i = 0; i < 3; ++i)
                            if ((bridge ? Sim(i)->bridge_transparent : Sim(i)->pxsync) != 1)
                                return false;
                        return true;
                    }(),
                10000);
            // The refresh two seconds after the last command.
            QTRY_VERIFY_WITH_TIMEOUT(refreshed.count() > 0, 10000);
            for (int i = 0; i < 3; ++i) {
                const ap_info_stu record = Stored(Sim(i)->mac);
                const ExtensionBlock extension = record.info().extension();
                QCOMPARE(int(bridge ? extension.bridge_transparent() : extension.tdmaEn()), 1);
                const std::string expected =
                    bridge ? BridgeTransparentText(10, 1, 1) : TdmaEnText(10, 1);
                QCOMPARE(grid->GetItemText(RowOfMac(grid, Sim(i)->mac), step.column),
                         QString::fromStdString(expected));
            }
        }
        for (int i = 0; i < 3; ++i) QCOMPARE(Sim(i)->bridge_transparent + Sim(i)->pxsync, 2);
    }

    // Set IP for five devices: each moves to the next address of the range
    // in row order, and the searches of the 15 s progress find them there.
    void batchReaddressOfFiveDevices() {
        auto page = ShownPage();
        CGridCtrl* grid = page->Grid();
        page->RefreshCurrentPage();
        std::vector<std::string> rowOrder;
        for (int r = 1; r < grid->GetRowCount(); ++r) {
            const std::string mac = grid->GetItemText(r, 5).toStdString();
            for (int i = kFirstMoved; i < kFirstMoved + kMoved; ++i) {
                if (Sim(i)->mac != mac) continue;
                grid->SetCheck(r, true);
                rowOrder.push_back(mac);
            }
        }
        QCOMPARE(rowOrder.size(), size_t(kMoved));

        WhenModal<CIpsetMutilDlg> dialog([](CIpsetMutilDlg* d) {
            d->BeginField()->SetAddress(QStringLiteral("198.18.7.254"));
            d->EndField()->SetAddress(QStringLiteral("198.18.8.40"));
            d->MaskField()->SetAddress(QStringLiteral("255.254.0.0"));
            d->GatewayField()->SetAddress(QStringLiteral("198.18.0.1"));
            QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
            QVERIFY(d->IsApplying());
            // The dialog closes itself when its 15 s are up.
            QTRY_VERIFY_WITH_TIMEOUT(!d->isVisible(), 30000);
            QCOMPARE(d->result(), int(QDialog::Accepted));
        });
        QTest::mouseClick(page->SetIpButton(), Qt::LeftButton);
        QVERIFY(dialog.Seen());

        // .255 and .0 are skipped across the third-octet boundary.
        const std::vector<std::string> expected = {"198.18.7.254", "198.18.8.1", "198.18.8.2",
                                                   "198.18.8.3", "198.18.8.4"};
        QVERIFY(Refresh());
        for (size_t i = 0; i < rowOrder.size(); ++i) {
            const labkit::SimDevice* d = core_.dump->ByMac(rowOrder[i]);
            QVERIFY(d);
            QCOMPARE(d->ip, expected[i]);
        }
        // The closing searches brought their information from the new
        // addresses into the store, and the list shows them there.
        for (size_t i = 0; i < rowOrder.size(); ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(IpBytesToText(Stored(rowOrder[i]).info().address().ip()),
                                      expected[i], 10000);
        }
        page->RefreshCurrentPage();
        QCOMPARE(grid->GetRowCount(), kFleet + 1);
        for (size_t i = 0; i < rowOrder.size(); ++i) {
            const int row = RowOfMac(grid, rowOrder[i]);
            QVERIFY(row > 0);
            QCOMPARE(grid->GetItemText(row, kIp), QString::fromStdString(expected[i]));
            QCOMPARE(grid->GetItemData(row, 1), qint64(1));
        }
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    StatusLabTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "status_lab_test.moc"
