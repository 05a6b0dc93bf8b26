// The upgrade page and its dialog against kestrix-devsim in the network lab,
// offscreen, with the real link, store and FileServer: ten ticked devices
// fetch the firmware, their rows read "Upgrade wait", "Upgrading" and
// "Upgrade success" (the one configured to fail "Upgrade fail"), they reboot
// and the closing searches bring them back with the new version; no
// FileServer is left once the dialog has closed, at its end or by its close
// button in the middle of the transfer.
//
// The dialog's timers tick only when the test calls them, so the phases
// take as long as the simulator's short upgrade and reboot, not minutes.
// Runs under tests/support/own-pid-namespace: the dialog ends every
// FileServer process by name.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include "base/os_utils.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "fleet/upgrade_plan.h"
#include "link/device_link.h"
#include "link/wire/device_status.h"
#include "pages/UpgradeConfigDlg.h"
#include "pages/UpgradeDlg.h"
#include "store/field_texts.h"
#include "store/sql_management.h"
#include "tests/support/lab_app.h"
#include "tests/support/labkit.h"
#include "tests/support/own_pid_namespace.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using namespace std::chrono_literals;
using kestrix::testing::WhenModal;

namespace {

constexpr int kFleet = 10;
constexpr int kFailing = 6;
constexpr uint32_t kSize = 250001;
const std::string kFirmware = "KX-FW-V8.0.3.bin";
const std::string kNewVersion = "V8.0.3";

}  // namespace

class UpgradeLabTest : public QObject {
    Q_OBJECT
private:
    QString Cell(CUpgradeDlg& page, const std::string& mac, CellField field) {
        const int row = kestrix::testing::RowOfMac(page, mac);
        return row < 1 ? QString()
                       : page.Grid()->GetItemText(row, page.Descriptor().ColumnOf(field));
    }
    // One status view tick; each row's status text joins its history when it
    // changed. True when every device reads `text` (`failing` for the one
    // configured to fail, if given).
    bool ViewAndRecord(CUpgradeDlg& page, CUpgradeConfigDlg& dialog, const QString& text,
                       const QString& failing = QString()) {
        dialog.OnStatusViewTimer();
        bool all = true;
        for (const labkit::SimDevice& d : before_.devices) {
            const QString now = Cell(page, d.mac, CellField::kStatus);
            std::vector<QString>& seen = history_[d.mac];
            if (seen.empty() || seen.back() != now) seen.push_back(now);
            const QString& want = d.index == kFailing && !failing.isEmpty() ? failing : text;
            all = all && now == want;
        }
        return all;
    }

    labkit::SimDump before_;
    kestrix::testing::LabApp core_;
    CSqlManagement* store_ = nullptr;
    std::map<std::string, std::vector<QString>> history_;
    std::vector<QString> messages_;
    std::string scratch_;

private slots:
    void initTestCase() {
        QVERIFY2(kestrix::testing::InOwnPidNamespace(),
                 "run under tests/support/own-pid-namespace: the dialog ends every FileServer");
        std::string err;
        QVERIFY2(
            core_.Enter("upgrade",
                        {.devices = kFleet,
                         .sim_args = {"--seed", "16", "--upgrade-time", "1s",
                                      "--upgrade-reboot-time", "2s", "--set", "0-9 type=15 mode=1",
                                      "--upgrade-fail", std::to_string(kFailing)}},
                        &err),
            err.c_str());
        QVERIFY(core_.dump->devices.size() == size_t{kFleet});
        before_ = *core_.dump;
        store_ = core_.store.get();
        QVERIFY(core_.StartLink());
        core_.context.messageHook = [this](MessageKind kind, const QString& text) {
            if (kind == MessageKind::kNone) return true;  // OK to the question
            messages_.push_back(text);
            return false;
        };
        core_.link->RefreshCaptureDevices();
        core_.link->Search();
        QTRY_VERIFY_WITH_TIMEOUT(core_.OnlineCount() == kFleet, 20000);

        scratch_ =
            labkit::MakeUpgradeFolders("kx-page-upgrade", KX_FILESERVER_PATH, kFirmware, kSize, 16)
                .root;
        QVERIFY(!scratch_.empty());
    }

    void cleanupTestCase() {
        core_.Close();
        if (!scratch_.empty()) std::filesystem::remove_all(scratch_);
    }

    void tenDevicesUpgradedThroughTheDialog() {
        const std::string firmware = scratch_ + "/firmware/" + kFirmware;
        CUpgradeDlg page(core_.context);
        page.SetFileServer(std::make_shared<ProcessFileServer>(scratch_ + "/service/"));
        page.SetDialogSetup([&](CUpgradeConfigDlg& dialog) {
            dialog.SetManualTicks(true);
            dialog.SetServerWait({200ms, 200ms, 10});
            dialog.SetFileChooser([&] { return QString::fromStdString(firmware); });
        });
        page.resize(1100, 700);
        page.show();
        page.RefreshCurrentPage();
        for (int row = 1; row <= kFleet; ++row) page.Grid()->SetCheck(row, true);

        WhenModal<CUpgradeConfigDlg> drive([&](CUpgradeConfigDlg* dialog) {
            QTest::mouseClick(dialog->ScanButton(), Qt::LeftButton);
            QCOMPARE(dialog->PathEdit()->text().toStdString(), firmware);
            QTest::mouseClick(dialog->UpgradeButton(), Qt::LeftButton);
            // The worker's wait ends once it sees the server running.
            QTRY_VERIFY_WITH_TIMEOUT(dialog->Run().FirstGroupSent(), 5000);
            QVERIFY(COperateSystemInfo::FindProcessByName(kFileServerProcess).has_value());
            QCOMPARE(dialog->Run().WatchList().size(), size_t{kFleet});

            // Every device fetches the file and waits for UpgradeStart.
            QTRY_VERIFY_WITH_TIMEOUT(ViewAndRecord(page, *dialog, QStringLiteral("Upgrade wait")),
                                     20000);
            dialog->OnGroupTimer();  // the group settled: UpgradeStart to all
            QVERIFY(!dialog->Run().TimerRunning(UpgradeRun::Timer::kGroup));
            dialog->OnTransferTimer();  // all sent: the rebooting phase
            QCOMPARE(dialog->Run().CurrentPhase(), UpgradeRun::Phase::kRebooting);
            QCOMPARE(dialog->ProgressLabel()->text(),
                     QStringLiteral("Firmware upgrading progress"));
            QTRY_VERIFY_WITH_TIMEOUT(ViewAndRecord(page, *dialog, QStringLiteral("Upgrade success"),
                                                   QStringLiteral("Upgrade fail")),
                                     15000);

            // The devices reboot while the phase runs up to its searches.
            for (int s = 1; s < 124; ++s) dialog->OnRebootingTimer();
            QCOMPARE(dialog->Run().SearchesLeft(), 3);
            QCOMPARE(dialog->Progress()->value(), 123);
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    auto now = core_.Dump();
                    if (!now) return false;
                    for (const labkit::SimDevice& d : now->devices)
                        if (d.index != kFailing && (d.state != "running" || d.reboots != 1))
                            return false;
                    return true;
                }(),
                15000);
            // The searches at 124, 127 and 130 s, then the dialog closes.
            for (int s = 124; s <= 130 && dialog->isVisible(); ++s) {
                dialog->OnRebootingTimer();
                QTest::qWait(100);
            }
            QVERIFY(!dialog->isVisible());
            QCOMPARE(dialog->result(), int{QDialog::Accepted});
            QCOMPARE(dialog->Run().SearchesLeft(), 0);
        });
        page.OnUpgrade();
        QVERIFY(drive.Seen());
        QVERIFY(messages_.empty());
        QVERIFY(kestrix::testing::NoneLeftNamed("FileServer", 2000ms));

        // Each row went through the upgrade's statuses in order.
        for (const labkit::SimDevice& d : before_.devices) {
            std::vector<QString> want = {QStringLiteral("Upgrade wait"),
                                         QStringLiteral("Upgrading"),
                                         d.index == kFailing ? QStringLiteral("Upgrade fail")
                                                             : QStringLiteral("Upgrade success")};
            const std::vector<QString>& seen = history_[d.mac];
            auto it = std::find(seen.begin(), seen.end(), want[0]);
            std::vector<QString> from(it, seen.end());
            if (from.size() > want.size()) from.resize(want.size());
            QVERIFY2(from == want, d.mac.c_str());
        }

        // The list read again after the closing search shows the new
        // versions, which the simulator holds too; the failing device kept
        // its version and never rebooted.
        QVERIFY(page.ReloadTimer().isActive());
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const labkit::SimDevice& d : before_.devices)
                    if (Cell(page, d.mac, CellField::kVersion).toStdString() !=
                        (d.index == kFailing ? d.version : kNewVersion))
                        return false;
                return true;
            }(),
            5000);
        auto after = core_.Dump();
        QVERIFY(after);
        const std::string log = labkit::ReadAll(core_.lab->LogPath());
        for (const labkit::SimDevice& was : before_.devices) {
            const labkit::SimDevice* now = after->ByMac(was.mac);
            QVERIFY(now);
            QCOMPARE(now->version, was.index == kFailing ? was.version : kNewVersion);
            QCOMPARE(now->reboots, uint32_t(was.index == kFailing ? 0 : 1));
            const std::string line = labkit::WholeFetchLine(was, kFirmware, kSize);
            QVERIFY2(log.find(line) != std::string::npos, line.c_str());
        }
    }

    // The close button while the devices fetch: the real server goes too.
    void closeButtonMidUpgradeLeavesNoFileServer() {
        const std::string firmware = scratch_ + "/firmware/" + kFirmware;
        CUpgradeDlg page(core_.context);
        page.SetFileServer(std::make_shared<ProcessFileServer>(scratch_ + "/service/"));
        page.SetDialogSetup([&](CUpgradeConfigDlg& dialog) {
            dialog.SetManualTicks(true);
            dialog.SetServerWait({200ms, 200ms, 10});
        });
        page.resize(1100, 700);
        page.show();
        page.RefreshCurrentPage();
        for (int row = 1; row <= 3; ++row) page.Grid()->SetCheck(row, true);
        WhenModal<CUpgradeConfigDlg> drive([&](CUpgradeConfigDlg* dialog) {
            dialog->PathEdit()->setText(QString::fromStdString(firmware));
            QTest::mouseClick(dialog->UpgradeButton(), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(dialog->Run().FirstGroupSent(), 5000);
            QVERIFY(!kestrix::testing::ProcessesNamed("FileServer").empty());
            QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
        });
        page.OnUpgrade();
        QVERIFY(drive.Seen());
        QVERIFY(kestrix::testing::NoneLeftNamed("FileServer", 2000ms));
    }
};

QTEST_MAIN(UpgradeLabTest)
#include "upgrade_lab_test.moc"
