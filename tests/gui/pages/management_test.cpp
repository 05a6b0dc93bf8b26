// The management page and its device configuration dialog, offscreen, over
// a scratch store with a recorder in place of the link: the Operate click,
// where the focus goes when a rule on a hidden tab fails, what Save sends
// and how long it waits, that a later Save cannot touch an earlier
// worker's blocks, and PNG renders of every tab in English and Chinese.

#include <condition_variable>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "controls/WaitDlg.h"
#include "fleet/action_workers.h"
#include "pages/IpSetDlg.h"
#include "pages/ManagementConfigDlg.h"
#include "pages/ManagementDlg.h"
#include "pages/TimeRebootDlg.h"
#include "pages/VlanDlg.h"
#include "pages/WirelessSetDlg.h"
#include "shell/AppContext.h"
#include "shell/Styling.h"
#include "tests/gui/pages/recording_link.h"
#include "tests/support/config_records.h"
#include "tests/support/device_records.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/page_fixture.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using namespace kestrix::testing;

namespace {

// Holds the first command at the door until released, before looking at
// its payload: a worker that shared the page's pending area would then
// send what a later Save wrote there.
class GatedLink : public RecordingLink {
public:
    using RecordingLink::RecordingLink;
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool retry) override {
        {
            std::unique_lock lock(mutex_);
            if (!first_) {
                first_ = true;
                waiting_ = true;
                cv_.notify_all();
                cv_.wait(lock, [this] { return open_; });
            }
        }
        return RecordingLink::SendToDevice(target, type, payload, length, mac, retry);
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [this] { return waiting_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool first_ = false, waiting_ = false, open_ = false;
};

}  // namespace

class ManagementTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void invalidGatewayOnAHiddenTabKeepsTheFrontTab();
    void addressAndVlanSendInOrderAndWaitSixtySeconds();
    void cancelSendsNothingAndStillRefreshes();
    void typeThirteenHasNoVlanTab();
    void laterSaveLeavesTheEarlierWorkersBlocks();

    void renders_data();
    void renders();

private:
    std::unique_ptr<CManagementDlg> ShownPage(std::shared_ptr<StatusLink> link);
    int OperateColumn(const CManagementDlg& page) const {
        return page.Descriptor().ColumnOf(CellField::kOperate);
    }

    AppContext ctx_;
    std::unique_ptr<ScratchStore> store_;
    std::shared_ptr<FleetSource> source_;
    std::shared_ptr<RecordingLink> link_;
    std::vector<Message> messages_;
};

void ManagementTest::init() {
    ctx_ = BundleContext();
    store_ = std::make_unique<ScratchStore>();
    ctx_.store = &store_->Store();
    source_ = std::make_shared<FleetSource>(store_->Store());
    link_ = std::make_shared<RecordingLink>(&store_->Store());
    messages_.clear();
    ctx_.messageHook = RecordMessages(messages_);
}

void ManagementTest::cleanup() {
    ctx_.messageHook = nullptr;
    ctx_.store = nullptr;
    QVERIFY(ActionWorkers::WaitForRunningWorkers(std::chrono::seconds(5)));
    link_.reset();
    source_.reset();
    store_.reset();
}

std::unique_ptr<CManagementDlg> ManagementTest::ShownPage(std::shared_ptr<StatusLink> link) {
    auto page = std::make_unique<CManagementDlg>(ctx_);
    page->SetLink(std::move(link));
    return ShowPage(std::move(page), source_, {1024, 604});
}

void ManagementTest::invalidGatewayOnAHiddenTabKeepsTheFrontTab() {
    QVERIFY(store_->Store().SaveDeviceInfo(ConfiguredDevice({})));
    auto page = ShownPage(link_);
    QCOMPARE(page->Grid()->GetRowCount(), 2);
    QVERIFY(!page->Grid()->isColumnHidden(OperateColumn(*page)));

    WhenModal<CManagementConfigDlg> drive([&](CManagementConfigDlg* dialog) {
        QCOMPARE(dialog->FrontTab(), ConfigTab::kWireless);
        dialog->AddressView()->GatewayField()->SetAddress(QStringLiteral("10.1.1.1"));
        QTest::mouseClick(dialog->SaveButton(), Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0].text,
                 QStringLiteral("Ip address and gateway address is not in the same subnet!"));
        QCOMPARE(dialog->FrontTab(), ConfigTab::kWireless);
        QVERIFY(dialog->WirelessView()->isVisible());
        QVERIFY(!dialog->AddressView()->isVisible());
        QWidget* gateway = dialog->AddressView()->GatewayField()->Field(0);
        QCOMPARE(dialog->FailedField(), gateway);
        QCOMPARE(dialog->focusWidget(), gateway);
        // Opening the tab finds the focus there.
        QTest::mouseClick(dialog->TabButton(ConfigTab::kAddress), Qt::LeftButton);
        QVERIFY(dialog->AddressView()->isVisible());
        QCOMPARE(dialog->focusWidget(), gateway);
    });
    ClickCell(page->Grid(), 1, OperateColumn(*page));
    QVERIFY(drive.Seen());
    QCOMPARE(page->Target().mac, std::string("02:00:00:00:00:01"));
    QCOMPARE(page->Target().type, uint16_t(5));
    QCOMPARE(link_->Count("send"), 0);
    QVERIFY(page->RefreshTimer().isActive());
}

void ManagementTest::addressAndVlanSendInOrderAndWaitSixtySeconds() {
    DeviceSpec spec;
    spec.type = 10;
    QVERIFY(store_->Store().SaveDeviceInfo(ConfiguredDevice(spec)));
    auto page = ShownPage(link_);
    int waitSeconds = -1;
    bool waitSearches = true;
    WhenModal<CManagementConfigDlg> drive([&](CManagementConfigDlg* dialog) {
        dialog->AddressView()->IpField()->SetAddress(QStringLiteral("192.168.1.40"));
        dialog->AddressView()->NameEdit()->setText(QStringLiteral("north"));
        QTest::mouseClick(dialog->TabButton(ConfigTab::kVlan), Qt::LeftButton);
        dialog->VlanView()->EnableBox()->setChecked(true);
        QTimer::singleShot(0, qApp, [&] {
            if (auto* wait = qobject_cast<CWaitDlg*>(QApplication::activeModalWidget())) {
                waitSeconds = wait->Schedule().Total() * WaitSchedule::kTickMs / 1000;
                waitSearches = wait->Schedule().SearchesLeft() > 0;
                wait->reject();
            }
        });
        QTest::mouseClick(dialog->SaveButton(), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
    });
    ClickCell(page->Grid(), 1, OperateColumn(*page));
    QVERIFY(drive.Seen());
    QVERIFY(messages_.empty());
    QCOMPARE(waitSeconds, 60);
    QVERIFY(!waitSearches);
    QTRY_COMPARE(link_->Count("send"), 3);
    QCOMPARE(link_->Names(), (std::vector<std::string>{"send", "send", "note", "send"}));
    const auto calls = link_->Calls();
    QCOMPARE(calls[0].type, MsgType::SetName);
    QCOMPARE(calls[1].type, MsgType::SetVlan);
    QCOMPARE(calls[1].payload.size(), size_t(24));
    QCOMPARE(calls[1].payload[8], uint8_t(1));
    QCOMPARE(calls[2].newIp, std::string("192.168.1.40"));
    QCOMPARE(calls[3].type, MsgType::SetAddress);
    QCOMPARE(calls[3].payload[21], uint8_t(0));
    QCOMPARE(calls[3].ip, std::string("192.168.1.20"));
}

void ManagementTest::cancelSendsNothingAndStillRefreshes() {
    QVERIFY(store_->Store().SaveDeviceInfo(ConfiguredDevice({})));
    auto page = ShownPage(link_);
    for (bool closeButton : {false, true}) {
        WhenModal<CManagementConfigDlg> drive([&](CManagementConfigDlg* dialog) {
            dialog->WirelessView()->SsidEdit()->setText(QStringLiteral("changed"));
            QTest::mouseClick(closeButton ? dialog->CloseButton() : dialog->CancelButton(),
                              Qt::LeftButton);
        });
        ClickCell(page->Grid(), 1, OperateColumn(*page));
        QVERIFY(drive.Seen());
        QVERIFY(page->RefreshTimer().isActive());
        QCOMPARE(page->RefreshTimer().interval(), 2000);
    }
    QCOMPARE(link_->Count("send"), 0);
    QVERIFY(!page->Workers().IsRegistered(CManagementDlg::kSendWorker));
}

void ManagementTest::typeThirteenHasNoVlanTab() {
    DeviceSpec spec;
    spec.type = 13;
    spec.vlanOn = true;
    spec.manageVlan = 0;
    QVERIFY(store_->Store().SaveDeviceInfo(ConfiguredDevice(spec)));
    auto page = ShownPage(link_);
    WhenModal<CManagementConfigDlg> drive([&](CManagementConfigDlg* dialog) {
        QVERIFY(!dialog->TabButton(ConfigTab::kVlan)->isEnabled());
        dialog->AddressView()->NameEdit()->setText(QStringLiteral("renamed"));
        QTest::mouseClick(dialog->SaveButton(), Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->FrontTab(), ConfigTab::kWireless);
        QCOMPARE(dialog->FailedField(), dialog->VlanView()->Field(1));
    });
    ClickCell(page->Grid(), 1, OperateColumn(*page));
    QVERIFY(drive.Seen());
    QCOMPARE(messages_.size(), size_t(1));
    QCOMPARE(messages_[0].text, QStringLiteral("VLAN range:1-4094"));
    QCOMPARE(link_->Count("send"), 0);
}

void ManagementTest::laterSaveLeavesTheEarlierWorkersBlocks() {
    QVERIFY(store_->Store().SaveDeviceInfo(ConfiguredDevice({})));
    auto gated = std::make_shared<GatedLink>(&store_->Store());
    auto page = ShownPage(gated);
    auto saveWithName = [&](const QString& name, bool reboot) {
        WhenModal<CManagementConfigDlg> drive([&](CManagementConfigDlg* dialog) {
            dialog->AddressView()->NameEdit()->setText(name);
            if (reboot) QTest::mouseClick(dialog->RebootView()->EnableBox(), Qt::LeftButton);
            QTest::mouseClick(dialog->SaveButton(), Qt::LeftButton);
        });
        ClickCell(page->Grid(), 1, OperateColumn(*page));
        QVERIFY(drive.Seen());
    };
    saveWithName(QStringLiteral("first"), false);
    QVERIFY(gated->WaitUntilHeld());
    saveWithName(QStringLiteral("second"), true);
    QTRY_COMPARE(gated->Count("send"), 2);  // the second worker's two commands
    gated->Open();
    QTRY_COMPARE(gated->Count("send"), 3);
    QVERIFY(ActionWorkers::WaitForRunningWorkers(std::chrono::seconds(5)));
    std::vector<std::string> names;
    for (const RecordingLink::Call& c : gated->Sends(MsgType::SetName))
        names.push_back(NameBlock(c.payload.data(), c.payload.size()).ap_name());
    QCOMPARE(names, (std::vector<std::string>{"second", "first"}));
    QCOMPARE(gated->Sends(MsgType::SetTimedReboot).size(), size_t(1));
    QCOMPARE(page->Pending().name.ap_name(), std::string("second"));
}

// ---- Renders ------------------------------------------------------------------------

void ManagementTest::renders_data() {
    AddRenderLocales();
}

void ManagementTest::renders() {
    QFETCH(uint, locale);
    QFETCH(QString, suffix);
    const QString out = UseRenderLocale(ctx_, locale);

    struct Variant {
        const char* name;
        DeviceSpec spec;
    };
    DeviceSpec five = kestrix::testing::FiveGhzSpec(10);
    five.vlanOn = true;
    five.manageVlan = 100;
    DeviceSpec wep;
    wep.secureMode = 1;
    DeviceSpec radius = kestrix::testing::FiveGhzSpec(18);
    radius.secureMode = 6;
    radius.dfs = 1;
    radius.channel = 100;
    const Variant variants[] = {
        {"24ghz_wpa2", {}}, {"5ghz", five}, {"wep", wep}, {"radius", radius}};
    for (const Variant& v : variants) {
        ap_info_stu record = ConfiguredDevice(v.spec);
        DeviceInfoBlock info = record.info();
        RebootScheduleBlock t = info.reboot_schedule();
        t.set_restart_en(1);
        info.set_reboot_schedule(t);
        info.set_ap_name(locale == 2052 ? "北门-2" : "Roof east");
        record.set_info(info);
        CManagementConfigDlg dialog(ctx_, record);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const bool allTabs = std::string(v.name) == "24ghz_wpa2" || std::string(v.name) == "5ghz";
        for (int tab = 0; tab < (allTabs ? 4 : 1); ++tab) {
            dialog.ShowTab(static_cast<ConfigTab>(tab));
            QCoreApplication::processEvents();
            const QString file = out + QStringLiteral("management_%1_tab%2_%3.png")
                                           .arg(QString::fromLatin1(v.name))
                                           .arg(tab)
                                           .arg(suffix);
            QVERIFY(dialog.grab().toImage().save(file));
        }
    }
    QCOMPARE(
        CManagementConfigDlg(ctx_, ConfiguredDevice({})).TabButton(ConfigTab::kAddress)->text(),
        ToQString(TranslateText("IPSET")));
}

QTEST_MAIN(ManagementTest)
#include "management_test.moc"
