// The management page and its configuration dialog against kestrix-devsim
// in the network lab, offscreen, with the real link and store: one Save
// changes a device's name, SSID and security, timed reboot, VLAN and
// address; the simulator holds every field afterwards and the device is
// found again at its new address.

#include <memory>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "controls/WaitDlg.h"
#include "fleet/status_link.h"
#include "link/device_link.h"
#include "pages/IpSetDlg.h"
#include "pages/ManagementConfigDlg.h"
#include "pages/ManagementDlg.h"
#include "pages/TimeRebootDlg.h"
#include "pages/VlanDlg.h"
#include "pages/WirelessSetDlg.h"
#include "store/sql_management.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/lab_app.h"
#include "tests/support/labkit.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using kestrix::testing::ClickCell;
using kestrix::testing::RowOfMac;
using kestrix::testing::WhenModal;

namespace {

constexpr int kFleet = 6;
constexpr int kTarget = 2;  // type 1 in work mode 1: every tab editable

}  // namespace

class ManagementLabTest : public QObject {
    Q_OBJECT
private:
    kestrix::testing::LabApp core_;
    std::vector<QString> messages_;

private slots:
    void initTestCase() {
        std::string err;
        QVERIFY2(core_.Enter("management",
                             {.devices = kFleet,
                              .sim_args = {"--seed", "5", "--reboot-time", "2s", "--set",
                                           "2 type=1 mode=1 name=west-mast"}},
                             &err),
                 err.c_str());
        QVERIFY(core_.StartLink());
        core_.context.deviceSource =
            std::make_shared<StoreDeviceSource>(core_.store.get(), core_.link.get());
        core_.context.messageHook = [this](MessageKind, const QString& text) {
            messages_.push_back(text);
            return false;
        };
    }

    void cleanupTestCase() {
        core_.context.deviceSource = nullptr;
        core_.context.messageHook = nullptr;
        core_.Close();
    }

    void oneSaveChangesEveryTab() {
        auto dump = core_.Dump();
        QVERIFY(dump);
        const labkit::SimDevice before = dump->devices.at(kTarget);
        const std::string newIp = before.ip.substr(0, before.ip.rfind('.')) + ".201";
        // The fleet in the store, by the status page's search cycle.
        AppStatusLink cycle(core_.link.get(), core_.store.get());
        cycle.RefreshCaptureDevices();
        cycle.ReconcileStore();
        QTimer searches;
        connect(&searches, &QTimer::timeout, [&cycle] { cycle.Search(); });
        cycle.Search();
        searches.start(3000);
        std::vector<std::string> macs;
        QTRY_VERIFY_WITH_TIMEOUT(
            (macs.clear(), core_.store->GetAllDeviceMacs(macs), macs.size() == kFleet), 30000);
        searches.stop();

        CManagementDlg page(core_.context);
        page.resize(1100, 600);
        page.show();
        page.RefreshCurrentPage();
        const int row = RowOfMac(page, before.mac);
        QVERIFY(row > 0);

        bool waited = false;
        WhenModal<CManagementConfigDlg> drive([&](CManagementConfigDlg* dialog) {
            CWirelessSetDlg* w = dialog->WirelessView();
            w->SsidEdit()->setText(QStringLiteral("Yard 9"));
            w->SecurityBox()->setCurrentIndex(w->SecurityBox()->findData(kSecWpa2Psk));
            w->KeyEdit()->setText(QStringLiteral("lab-key-0042"));
            CIpSetDlg* a = dialog->AddressView();
            a->IpField()->SetAddress(QString::fromStdString(newIp));
            a->NameEdit()->setText(QStringLiteral("east-mast"));
            CVlanDlg* v = dialog->VlanView();
            v->EnableBox()->setChecked(true);
            v->Field(1)->setText(QStringLiteral("11"));
            v->Field(2)->setText(QStringLiteral("21"));
            CTimeRebootDlg* t = dialog->RebootView();
            if (!t->EnableBox()->isChecked()) QTest::mouseClick(t->EnableBox(), Qt::LeftButton);
            t->HourEdit()->setText(QStringLiteral("2"));
            t->MinuteEdit()->setText(QStringLiteral("15"));
            if (t->EverydayBox()->isChecked()) QTest::mouseClick(t->EverydayBox(), Qt::LeftButton);
            for (size_t d = 0; d < 7; ++d) t->DayBox(d)->setChecked(d == 6);
            // The 60 s wait: let the device come back, then close it.
            QTimer::singleShot(0, qApp, [&] {
                if (auto* wait = qobject_cast<CWaitDlg*>(QApplication::activeModalWidget())) {
                    waited = wait->Schedule().Total() * WaitSchedule::kTickMs == 60000;
                    wait->reject();
                }
            });
            QTest::mouseClick(dialog->SaveButton(), Qt::LeftButton);
        });
        ClickCell(page.Grid(), row, page.Descriptor().ColumnOf(CellField::kOperate));
        QVERIFY(drive.Seen());
        QVERIFY2(messages_.empty(), messages_.empty() ? "" : qPrintable(messages_.front()));
        QVERIFY(waited);

        // The simulator holds every field, at the new address.
        QTRY_VERIFY_WITH_TIMEOUT((dump = core_.Dump(), dump && dump->ByMac(before.mac) &&
                                                           dump->ByMac(before.mac)->ip == newIp),
                                 20000);
        const labkit::SimDevice* after = dump->ByMac(before.mac);
        QCOMPARE(after->name, std::string("east-mast"));
        QCOMPARE(after->ssid, std::string("Yard 9"));
        const SecurityBlock s = after->info.wireless().security();
        QCOMPARE(int(s.secure_mode()), kSecWpa2Psk);
        QCOMPARE(s.wpapsk_key_value(), std::string("lab-key-0042"));
        QCOMPARE(int(after->info.wireless().channel()), int(before.info.wireless().channel()));
        const RebootScheduleBlock t = after->info.reboot_schedule();
        QCOMPARE(int(t.restart_en()), 1);
        QCOMPARE(int(t.restart_type()), 0x80);
        QCOMPARE(int(t.restart_time()), 135);
        const VlanBlock v = after->info.vlan();
        QCOMPARE(int(v.vlan_en()), 1);
        QCOMPARE(int(v.vlan_id()), 11);
        QCOMPARE(int(v.vlan_id_wlan()), 21);

        // And the tool finds it there again.
        QTRY_VERIFY_WITH_TIMEOUT((core_.link->Search(),
                                  [&] {
                                      ap_info_stu r;
                                      return core_.store->GetDeviceByMac(before.mac, r) &&
                                             IpBytesToText(r.info().address().ip()) == newIp;
                                  }()),
                                 20000);
    }
};

QTEST_MAIN(ManagementLabTest)
#include "management_lab_test.moc"
