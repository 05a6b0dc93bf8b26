// The bridge page and its wizard against kestrix-devsim in the network lab,
// offscreen, with the real link and store: a device that hears 70 access
// points (three report packets) lists them all, is bridged to one through
// the four steps, and reads "Bridge success" after the page's refresh while
// the simulator holds the bridge; a device told to fail reads "Bridge fail".

#include <memory>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "controls/GridCtrl.h"
#include "fleet/bridge_link.h"
#include "fleet/bridge_wizard.h"
#include "link/device_link.h"
#include "pages/BridgeConfigDlg.h"
#include "pages/BridgeDlg.h"
#include "pages/BridgeSearcgAPDlg.h"
#include "pages/BridgeSecureDlg.h"
#include "store/sql_management.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/lab_app.h"
#include "tests/support/labkit.h"
#include "tests/support/status_helpers.h"
#include "tools/devsim/fleet.h"

using namespace kestrix;
using kestrix::testing::ClickCell;
using kestrix::testing::RowOfMac;
using kestrix::testing::WhenModal;

namespace {
constexpr int kFleet = 40;
constexpr int kStation = 0;
constexpr int kFailing = 1;
constexpr int kAp = 5;
constexpr int kWaitMs = 20000;
}  // namespace

class BridgeLabTest : public QObject {
    Q_OBJECT
private:
    const labkit::SimDevice& Sim(int index) const { return *core_.Sim(index); }
    int RowOf(CBridgeDlg* page, const std::string& mac) const { return RowOfMac(*page, mac); }
    QString StatusOf(CBridgeDlg* page, const std::string& mac) const {
        const int row = RowOf(page, mac);
        if (row <= 0) return {};
        return page->Grid()->GetItemText(row, page->Descriptor().ColumnOf(CellField::kStatus));
    }
    // Runs the wizard of `mac` to Save: the scan, the access point, its
    // settings as the step opens them with a key, the address kept.
    void BridgeThroughTheWizard(CBridgeDlg* page, const std::string& mac, size_t* listed) {
        WhenModal<CBridgeConfigDlg> when([&](CBridgeConfigDlg* w) {
            CBridgeSearcgAPDlg* scan = w->ScanPage();
            QTRY_VERIFY_WITH_TIMEOUT(!scan->IsScanning(), 35000);
            *listed = static_cast<size_t>(scan->Grid()->GetRowCount() - 1);
            const int row = RowOfMac(scan->Grid(), Sim(kAp).mac, kScanColumnMac);
            QVERIFY(row > 0);
            ClickCell(scan->Grid(), row, kScanColumnSelect);
            w->OnNext();
            QCOMPARE(w->Step(), 1);
            QCOMPARE(w->SecurityPage()->SsidEdit()->text(), QStringLiteral("Tower-Five"));
            w->SecurityPage()->KeyEdit()->setText(QStringLiteral("secretpass1"));
            w->OnNext();
            QCOMPARE(w->Step(), 2);
            w->OnNext();
            QCOMPARE(w->Step(), 3);
            w->OnNext();
        });
        ClickCell(page->Grid(), RowOf(page, mac), page->Descriptor().ColumnOf(CellField::kOperate));
        when.Settle();
        QVERIFY(when.Seen());
    }

    kestrix::testing::LabApp core_;

private slots:
    void initTestCase() {
        std::string err;
        QVERIFY2(core_.Enter("bridge",
                             {.devices = kFleet,
                              .sim_args = {"--seed", "33", "--set", "all mode=1", "--set",
                                           "0 type=15 btn=0 neighbours=70 secure=0", "--set",
                                           "1 type=5 btn=0 neighbours=70 bridge-fail=1", "--set",
                                           "5 ssid=Tower-Five secure=3 psk=secretpass1"}},
                             &err),
                 err.c_str());
        QVERIFY(core_.StartLink());
        core_.context.deviceSource =
            std::make_shared<StoreDeviceSource>(core_.store.get(), core_.link.get());
        core_.context.messageHook = [](MessageKind, const QString& text) {
            qWarning("message: %s", qPrintable(text));
            return false;
        };
        // The fleet's information, as a search on the status page brings it.
        ap_info_stu record;
        for (int i = 0; i < kWaitMs / 2000; ++i) {
            core_.link->Search();
            QTest::qWait(2000);
            if (core_.store->GetDeviceByMac(Sim(kStation).mac, record) &&
                record.mac() == Sim(kStation).mac &&
                core_.store->GetDeviceByMac(Sim(kFailing).mac, record) &&
                record.mac() == Sim(kFailing).mac)
                break;
        }
        QCOMPARE(record.mac(), Sim(kFailing).mac);
    }

    void cleanupTestCase() { core_.Close(); }

    void theWizardBridgesAndThePageShowsTheOutcome() {
        CBridgeDlg page(core_.context);
        page.resize(1130, 600);
        page.show();
        page.PageSizeBox()->setCurrentIndex(3);  // 100 rows: the whole fleet on one page
        QVERIFY(RowOf(&page, Sim(kStation).mac) > 0);

        size_t listed = 0;
        BridgeThroughTheWizard(&page, Sim(kStation).mac, &listed);
        QCOMPARE(listed, size_t{70});
        QVERIFY(page.RefreshTimer().isActive());
        QTRY_COMPARE_WITH_TIMEOUT(StatusOf(&page, Sim(kStation).mac),
                                  QStringLiteral("Bridge success"), kWaitMs);
        QVERIFY(core_.Refresh());
        const labkit::SimDevice& d = Sim(kStation);
        QCOMPARE(d.bridge_mac, Sim(kAp).mac);
        QCOMPARE(d.bridge_ssid, std::string("Tower-Five"));
        QCOMPARE(d.work_mode, int{devsim::kModeStation});
        QCOMPARE(d.info.bridge().security().wpapsk_key_value(), std::string("secretpass1"));
        // The neighbour table went with the wizard.
        std::vector<config_otherwl_basic> left;
        core_.store->QueryScanList(4, false, left);
        QVERIFY(left.empty());

        BridgeThroughTheWizard(&page, Sim(kFailing).mac, &listed);
        QTRY_COMPARE_WITH_TIMEOUT(StatusOf(&page, Sim(kFailing).mac), QStringLiteral("Bridge fail"),
                                  kWaitMs);
    }
};

QTEST_MAIN(BridgeLabTest)
#include "bridge_lab_test.moc"
