// The bridge page and its wizard, offscreen, over a scratch store with a
// stand-in link: the Operate cell and the mode switch, the scan step, how
// the security step opens for a scanned access point, the checks of the
// security and address steps, Back and Save, the SetBridge bytes, and PNG
// renders of the page and every step in English and Chinese.

#include <atomic>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "app/PageRegistry.h"
#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "fleet/bridge_wizard.h"
#include "fleet/page_ids.h"
#include "pages/BridgeConfigDlg.h"
#include "pages/BridgeDlg.h"
#include "pages/BridgeIPSetDlg.h"
#include "pages/BridgeSearcgAPDlg.h"
#include "pages/BridgeSecureDlg.h"
#include "pages/BridgeWepDlg.h"
#include "shell/ApplicationDlg.h"
#include "shell/ChildDlg.h"
#include "shell/Styling.h"
#include "tests/support/device_records.h"
#include "tests/support/page_fixture.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using namespace kestrix::testing;

namespace {

const char* const kPskMessage =
    "Please enter a key for 8~63 ASCII characters or 8~64 HEX characters!";

// The store through the application's own code; the link's part recorded.
class FakeBridgeLink : public BridgeLink {
public:
    explicit FakeBridgeLink(CSqlManagement& store) : app_(nullptr, &store) {}

    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool) override {
        std::lock_guard lock(mutex_);
        sends_.push_back({target, mac, type, std::vector<uint8_t>(payload, payload + length)});
        return true;
    }
    void NoteNewAddress(const std::string&, const std::string&, const std::string&) override {}
    bool IsScanComplete() const override { return scanComplete; }
    bool GetDeviceByMac(const std::string& mac, ap_info_stu& r) override {
        return app_.GetDeviceByMac(mac, r);
    }
    void DeleteScanResults() override { app_.DeleteScanResults(); }
    std::vector<config_otherwl_basic> QueryScanList(int key, bool ascending) override {
        return app_.QueryScanList(key, ascending);
    }
    config_otherwl_basic GetScanEntry(const std::string& mac) override {
        return app_.GetScanEntry(mac);
    }
    std::vector<std::string> GetAllDeviceIps() override { return app_.GetAllDeviceIps(); }

    struct Send {
        std::string ip, mac;
        MsgType type;
        std::vector<uint8_t> payload;
    };
    std::vector<Send> Sends(MsgType type) const {
        std::lock_guard lock(mutex_);
        std::vector<Send> out;
        for (const Send& s : sends_)
            if (s.type == type) out.push_back(s);
        return out;
    }
    std::atomic<bool> scanComplete{false};

private:
    AppBridgeLink app_;
    mutable std::mutex mutex_;
    std::vector<Send> sends_;
};

config_otherwl_basic Neighbour(int i, uint8_t secure, int8_t signal) {
    config_otherwl_basic e;
    e.set_mac({0xa0, 0, 0, 0, 0, static_cast<uint8_t>(i)});
    e.set_signal(signal);
    e.set_channel(149);
    e.set_secure_mode(secure);
    e.set_ssid("Tower-" + std::to_string(i));
    e.set_bandwidth(kBw20);
    return e;
}

std::string NeighbourMac(int i) {
    return MacBytesToText(Neighbour(i, 0, 0).mac());
}

}  // namespace

class BridgeTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void operateScansAndTheListComesOnceAtTheEnd();
    void headingsSortTheirWayAndSerialAndOperateDoNot();
    void aSecondScanEmptiesTheListUntilCompleteOrThirtySeconds();
    void securityStepOpensFromTheAccessPoint_data();
    void securityStepOpensFromTheAccessPoint();
    void keysAndAddressesAreChecked();
    void saveSendsTheBridgeByteByByte_data();
    void saveSendsTheBridgeByteByByte();
    void modeSwitchAtApShowsTheMessageAndRefreshComesBack();

    void renders_data();
    void renders();

private:
    // A 5 GHz device in China: type, its address and its mode switch.
    void AddDevice(const std::string& mac, const std::string& ip, uint16_t type,
                   uint8_t modeSwitch = 0);
    void AddNeighbours(const std::vector<config_otherwl_basic>& entries);
    std::unique_ptr<CBridgeDlg> ShownPage();
    int RowOf(CBridgeDlg* page, const std::string& mac) const;
    // Opens the wizard of `mac` and runs `drive` on it while it is modal.
    bool OperateAndDrive(CBridgeDlg* page, const std::string& mac,
                         std::function<void(CBridgeConfigDlg*)> drive);
    // Fills the scan list from the neighbours given and ticks neighbour `tick`.
    void FinishScan(CBridgeConfigDlg* w, const std::vector<config_otherwl_basic>& entries,
                    int tick);

    AppContext ctx_;
    std::unique_ptr<ScratchStore> store_;
    std::shared_ptr<FleetSource> source_;
    std::shared_ptr<FakeBridgeLink> link_;
    std::vector<Message> messages_;
};

void BridgeTest::init() {
    ctx_ = BundleContext();
    store_ = std::make_unique<ScratchStore>();
    source_ = std::make_shared<FleetSource>(store_->Store());
    link_ = std::make_shared<FakeBridgeLink>(store_->Store());
    messages_.clear();
    ctx_.messageHook = RecordMessages(messages_);
}

void BridgeTest::cleanup() {
    ctx_ = AppContext{};
    link_.reset();
    source_.reset();
    store_.reset();
}

void BridgeTest::AddDevice(const std::string& mac, const std::string& ip, uint16_t type,
                           uint8_t modeSwitch) {
    DeviceFields f;
    f.mac = mac;
    f.ip = ip;
    f.type = type;
    f.name = "dev-" + ip.substr(ip.rfind('.') + 1);
    f.ssid = "KX-Yard-" + ip.substr(ip.rfind('.') + 1);
    f.channel = 149;
    ap_info_stu r = MakeDevice(f);
    DeviceInfoBlock info = r.info();
    info.set_mode_btn_status(modeSwitch);
    AddressBlock a = info.address();
    a.set_ip_mask(IpTextToBytes("255.255.255.0"));
    a.set_ip_gateway(IpTextToBytes("192.168.1.1"));
    info.set_address(a);
    WirelessBlock w = info.wireless();
    w.set_rf_type(1);
    w.set_country_code(0);
    w.set_network_mode(kMode5AN);
    w.set_bandwidth(kBw20);
    info.set_wireless(w);
    r.set_info(info);
    QVERIFY(store_->Store().SaveDeviceInfo(r));
}

void BridgeTest::AddNeighbours(const std::vector<config_otherwl_basic>& entries) {
    NeighbourReport report;
    report.packet_count = 1;
    report.icount = static_cast<uint8_t>(entries.size());
    report.entries = entries;
    QVERIFY(store_->Store().SaveScanPacket(report));
}

std::unique_ptr<CBridgeDlg> BridgeTest::ShownPage() {
    auto page = std::make_unique<CBridgeDlg>(ctx_);
    page->SetBridgeLink(link_);
    return ShowPage(std::move(page), source_);
}

int BridgeTest::RowOf(CBridgeDlg* page, const std::string& mac) const {
    return RowOfMac(*page, mac);
}

bool BridgeTest::OperateAndDrive(CBridgeDlg* page, const std::string& mac,
                                 std::function<void(CBridgeConfigDlg*)> drive) {
    WhenModal<CBridgeConfigDlg> when(std::move(drive));
    ClickCell(page->Grid(), RowOf(page, mac), page->Descriptor().ColumnOf(CellField::kOperate));
    when.Settle();
    return when.Seen();
}

void BridgeTest::FinishScan(CBridgeConfigDlg* w, const std::vector<config_otherwl_basic>& entries,
                            int tick) {
    AddNeighbours(entries);
    link_->scanComplete = true;
    w->ScanPage()->Tick();
    QVERIFY(!w->ScanPage()->IsScanning());
    CGridCtrl* grid = w->ScanPage()->Grid();
    const int row =
        static_cast<int>(
            GridColumn(grid, kScanColumnMac).indexOf(QString::fromStdString(NeighbourMac(tick)))) +
        1;
    QVERIFY(row > 0);
    ClickCell(grid, row, kScanColumnSelect);
    QVERIFY(w->NextButton()->isEnabled());
}

// ---- The scan step --------------------------------------------------------------------

void BridgeTest::operateScansAndTheListComesOnceAtTheEnd() {
    AddDevice("00:11:22:33:44:55", "192.168.1.20", 15);
    AddNeighbours({Neighbour(99, 0, -40)});  // a stale entry of an earlier scan
    auto page = ShownPage();
    bool ran = false;
    const bool seen = OperateAndDrive(page.get(), "00:11:22:33:44:55", [&](CBridgeConfigDlg* w) {
        ran = true;
        QCOMPARE(page->WizardDevice(), (SelectedDevice{"192.168.1.20", "00:11:22:33:44:55", 15}));
        QCOMPARE(w->Step(), 0);
        QVERIFY(!w->BackButton()->isVisible());
        QVERIFY(!w->NextButton()->isEnabled());
        CBridgeSearcgAPDlg* scan = w->ScanPage();
        QVERIFY(scan->IsScanning());
        QVERIFY(scan->BusyPicture()->isVisible());
        QVERIFY(!scan->ScanButton()->isVisible());
        QVERIFY(link_->QueryScanList(4, false).empty());
        QTRY_COMPARE(link_->Sends(MsgType::ScanNeighbours).size(), size_t{1});
        QCOMPARE(link_->Sends(MsgType::ScanNeighbours)[0].ip, std::string("192.168.1.20"));
        // Reports that arrive while the scan runs are not shown yet.
        AddNeighbours({Neighbour(1, 4, -80), Neighbour(2, 0, -50), Neighbour(3, 1, -65)});
        scan->Tick();
        QCOMPARE(scan->Grid()->GetRowCount(), 1);
        link_->scanComplete = true;
        scan->Tick();
        QVERIFY(!scan->IsScanning());
        QVERIFY(scan->ScanButton()->isVisible());
        // Strongest first: signal column, descending.
        QCOMPARE(GridColumn(scan->Grid(), kScanColumnSsid),
                 (QStringList{"Tower-2", "Tower-3", "Tower-1"}));
        QCOMPARE(GridColumn(scan->Grid(), kScanColumnSecure),
                 (QStringList{"None", "WEP", "WPA2-PSK/AES"}));
        QCOMPARE(scan->Grid()->GetItemImage(1, kScanColumnSignal), 5);
        QCOMPARE(scan->Grid()->GetItemImage(2, kScanColumnSignal), 3);
        QCOMPARE(scan->Grid()->GetItemImage(3, kScanColumnSignal), 1);
        // One access point at most; a second click unticks it.
        ClickCell(scan->Grid(), 1, kScanColumnSelect);
        QVERIFY(w->NextButton()->isEnabled());
        ClickCell(scan->Grid(), 2, kScanColumnSelect);
        QVERIFY(!scan->Grid()->GetCheck(1));
        QCOMPARE(scan->TickedMac(), std::optional<std::string>(NeighbourMac(3)));
        ClickCell(scan->Grid(), 2, kScanColumnSelect);
        QVERIFY(!w->NextButton()->isEnabled());
    });
    QVERIFY(seen && ran);
    // Closed: nothing but the scan went out, the table is empty, and the
    // list is re-read two seconds later.
    QVERIFY(link_->Sends(MsgType::SetBridge).empty());
    QVERIFY(link_->QueryScanList(4, false).empty());
    QVERIFY(page->RefreshTimer().isActive());
    QCOMPARE(page->RefreshTimer().interval(), 2000);
    QVERIFY(page->Wizard() != nullptr);
}

void BridgeTest::headingsSortTheirWayAndSerialAndOperateDoNot() {
    AddDevice("00:11:22:33:44:55", "192.168.1.20", 5);
    AddDevice("00:11:22:33:44:56", "192.168.1.21", 5);
    auto page = ShownPage();
    const int queries = source_->queries;
    ClickHeading(page->Grid(), page->Descriptor().ColumnOf(CellField::kSerial));
    ClickHeading(page->Grid(), page->Descriptor().ColumnOf(CellField::kOperate));
    QCOMPARE(source_->queries, queries);
    ClickHeading(page->Grid(), page->Descriptor().ColumnOf(CellField::kMac));
    QCOMPARE(source_->queries, queries + 1);

    QVERIFY(OperateAndDrive(page.get(), "00:11:22:33:44:55", [&](CBridgeConfigDlg* w) {
        FinishScan(w, {Neighbour(1, 0, -50), Neighbour(2, 0, -70), Neighbour(3, 0, -60)}, 1);
        CGridCtrl* grid = w->ScanPage()->Grid();
        // The direction flips before the first sort: ascending SSID.
        ClickHeading(grid, kScanColumnSsid);
        QCOMPARE(GridColumn(grid, kScanColumnSsid), (QStringList{"Tower-1", "Tower-2", "Tower-3"}));
        ClickHeading(grid, kScanColumnSsid);
        QCOMPARE(GridColumn(grid, kScanColumnSsid), (QStringList{"Tower-3", "Tower-2", "Tower-1"}));
        QVERIFY(!w->NextButton()->isEnabled());  // a refill unticks
    }));
}

void BridgeTest::aSecondScanEmptiesTheListUntilCompleteOrThirtySeconds() {
    AddDevice("00:11:22:33:44:55", "192.168.1.20", 5);
    auto page = ShownPage();
    QVERIFY(OperateAndDrive(page.get(), "00:11:22:33:44:55", [&](CBridgeConfigDlg* w) {
        FinishScan(w, {Neighbour(1, 0, -50)}, 1);
        CBridgeSearcgAPDlg* scan = w->ScanPage();
        link_->scanComplete = false;
        QTest::mouseClick(scan->ScanButton(), Qt::LeftButton);
        QCOMPARE(scan->Grid()->GetRowCount(), 1);
        QVERIFY(!w->NextButton()->isEnabled());
        QVERIFY(link_->QueryScanList(4, false).empty());
        QTRY_COMPARE(link_->Sends(MsgType::ScanNeighbours).size(), size_t{2});
        AddNeighbours({Neighbour(4, 0, -50), Neighbour(5, 0, -55)});
        for (int t = 0; t < 29; ++t) scan->Tick();
        QVERIFY(scan->IsScanning());
        QCOMPARE(scan->Grid()->GetRowCount(), 1);
        scan->Tick();  // the thirtieth second, never complete
        QVERIFY(!scan->IsScanning());
        QCOMPARE(scan->Grid()->GetRowCount(), 3);
        QVERIFY(!w->NextButton()->isEnabled());
    }));
}

// ---- The security step ----------------------------------------------------------------

void BridgeTest::securityStepOpensFromTheAccessPoint_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("cipher");
    QTest::newRow("type 15 WPA2-PSK/AES") << 15 << 4 << "WPA2-PSK"
                                          << "AES";
    QTest::newRow("type 5 WPA2-PSK/AES") << 5 << 4 << "WPA2-PSK"
                                         << "AES";
    QTest::newRow("code 10 ends as WPA-PSK with AES") << 5 << 10 << "WPA-PSK"
                                                      << "AES";
    QTest::newRow("mixed TKIP") << 18 << 8 << "Mixed WPA/WPA2-PSK"
                                << "TKIP";
    QTest::newRow("WEP on type 15") << 15 << 1 << "WEP"
                                    << "";
    QTest::newRow("WEP on type 5 is offered for it") << 5 << 1 << "WEP"
                                                     << "";
}

void BridgeTest::securityStepOpensFromTheAccessPoint() {
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(QString, mode);
    QFETCH(QString, cipher);
    AddDevice("00:11:22:33:44:55", "192.168.1.20", static_cast<uint16_t>(type));
    auto page = ShownPage();
    QVERIFY(OperateAndDrive(page.get(), "00:11:22:33:44:55", [&](CBridgeConfigDlg* w) {
        FinishScan(w, {Neighbour(1, static_cast<uint8_t>(code), -50)}, 1);
        w->OnNext();
        QCOMPARE(w->Step(), 1);
        QVERIFY(w->BackButton()->isVisible());
        CBridgeSecureDlg* s = w->SecurityPage();
        QCOMPARE(s->SsidEdit()->text(), QStringLiteral("Tower-1"));
        QCOMPARE(s->ChannelBox()->currentText(), QStringLiteral("149"));
        QCOMPARE(s->ModeBox()->currentText(), mode);
        QCOMPARE(s->WepPanel()->isVisible(), mode == "WEP");
        QCOMPARE(s->KeyEdit()->isVisible(), !cipher.isEmpty());
        if (!cipher.isEmpty()) {
            QRadioButton* ticked = s->AesRadio()->isChecked()    ? s->AesRadio()
                                   : s->TkipRadio()->isChecked() ? s->TkipRadio()
                                                                 : s->TkipAesRadio();
            QCOMPARE(ticked->text(), cipher);
            QCOMPARE(s->TkipAesRadio()->isEnabled(), mode != "WPA-PSK");
        }
        QVERIFY(!s->BandwidthBox()->isVisible());  // not for these types
    }));
}

void BridgeTest::keysAndAddressesAreChecked() {
    AddDevice("00:11:22:33:44:55", "192.168.1.20", 5);
    AddDevice("00:11:22:33:44:56", "192.168.1.21", 5);
    auto page = ShownPage();
    QVERIFY(OperateAndDrive(page.get(), "00:11:22:33:44:55", [&](CBridgeConfigDlg* w) {
        FinishScan(w, {Neighbour(1, 4, -50)}, 1);
        w->OnNext();
        CBridgeSecureDlg* s = w->SecurityPage();
        s->KeyEdit()->setText(QString(63, QLatin1Char('a')) + QLatin1Char('g'));
        w->OnNext();
        QCOMPARE(w->Step(), 1);
        QCOMPARE(messages_.size(), size_t{1});
        QCOMPARE(messages_[0].kind, MessageKind::kWarning);
        QCOMPARE(messages_[0].text, QString::fromLatin1(kPskMessage));
        s->KeyEdit()->setText(QString(62, QLatin1Char('a')) + QLatin1Char('g'));
        s->KeyTimeEdit()->clear();
        w->OnNext();
        QCOMPARE(w->Step(), 2);
        QCOMPARE(SecurityBlock(w->Bridge().data() + 42).wpapsk_key_time(), 0u);

        CBridgeIPSetDlg* a = w->AddressPage();
        QCOMPARE(a->IpField()->Address(), QStringLiteral("192.168.1.20"));
        a->IpField()->SetAddress(QStringLiteral("192.168.1.21"));
        w->OnNext();
        QCOMPARE(w->Step(), 2);
        QCOMPARE(messages_.back().kind, MessageKind::kPlain);
        QCOMPARE(messages_.back().text,
                 QStringLiteral("The ip address is already in use, please respecify!"));
        a->IpField()->SetAddress(QStringLiteral("192.168.1.20"));  // its own: no in-use test
        w->OnNext();
        QCOMPARE(w->Step(), 3);
        QCOMPARE(w->NextButton()->text(), QStringLiteral("Save"));
        w->OnBack();
        QCOMPARE(w->Step(), 2);
        QCOMPARE(w->NextButton()->text(), QStringLiteral("Next"));
        QCOMPARE(a->IpField()->Address(), QStringLiteral("192.168.1.20"));
    }));
    QVERIFY(link_->Sends(MsgType::SetBridge).empty());
}

// ---- Save -------------------------------------------------------------------------------

void BridgeTest::saveSendsTheBridgeByteByByte_data() {
    QTest::addColumn<bool>("wep");
    QTest::newRow("WPA2-PSK/AES") << false;
    QTest::newRow("WEP") << true;
}

void BridgeTest::saveSendsTheBridgeByteByByte() {
    QFETCH(bool, wep);
    AddDevice("00:11:22:33:44:55", "192.168.1.20", 15);
    auto page = ShownPage();
    QVERIFY(OperateAndDrive(page.get(), "00:11:22:33:44:55", [&](CBridgeConfigDlg* w) {
        FinishScan(w, {Neighbour(7, wep ? 1 : 4, -50)}, 7);
        w->OnNext();
        CBridgeSecureDlg* s = w->SecurityPage();
        if (wep) {
            s->WepPanel()->KeyEdit(1)->setText(QStringLiteral("0123456789"));
            s->WepPanel()->FormatBox(1)->setCurrentIndex(1);  // Hex
            s->WepPanel()->DefaultKeyBox()->setCurrentIndex(1);
            s->WepPanel()->AuthBox()->setCurrentIndex(1);  // Share
        } else {
            s->KeyEdit()->setText(QStringLiteral("secretpass"));
            s->KeyTimeEdit()->setText(QStringLiteral("3600"));
        }
        w->OnNext();
        w->AddressPage()->IpField()->SetAddress(QStringLiteral("192.168.1.30"));
        w->OnNext();
        QCOMPARE(w->Step(), 3);
        w->OnNext();
        QVERIFY(!w->isVisible());
    }));
    QTRY_COMPARE(link_->Sends(MsgType::SetBridge).size(), size_t{1});
    const FakeBridgeLink::Send send = link_->Sends(MsgType::SetBridge)[0];
    QCOMPARE(send.ip, std::string("192.168.1.20"));
    QCOMPARE(send.mac, std::string("00:11:22:33:44:55"));
    const std::vector<uint8_t>& p = send.payload;
    QCOMPARE(p.size(), size_t{328});
    std::vector<uint8_t> want(328, 0);
    want[0] = 2;
    want[1] = 0xa0;
    want[6] = 7;
    want[7] = 149;
    const std::string ssid = "Tower-7";
    std::copy(ssid.begin(), ssid.end(), want.begin() + 8);
    want[40] = static_cast<uint8_t>(ssid.size());
    if (wep) {
        want[42] = 1;
        want[42 + 71] = 1;  // Share
        want[42 + 72] = 1;  // Key 2, item data 1
        const size_t key2 = 42 + 73 + 28;
        want[key2] = 1;  // Hex
        const std::string k = "0123456789";
        std::copy(k.begin(), k.end(), want.begin() + static_cast<long>(key2) + 1);
        want[key2 + 27] = 10;
    } else {
        want[42] = 3;
        want[43] = 0;  // AES
        const std::string k = "secretpass";
        std::copy(k.begin(), k.end(), want.begin() + 44);
        want[44 + 64] = 10;
        StoreU32(want.data() + 42 + 67, 3600);
    }
    want[304] = 1;
    const uint8_t address[] = {192, 168, 1, 30, 255, 255, 255, 0, 192, 168, 1, 1};
    std::copy(std::begin(address), std::end(address), want.begin() + 305);
    for (size_t i = 0; i < want.size(); ++i)
        QVERIFY2(p[i] == want[i], qPrintable(QString::number(i)));
    QVERIFY(link_->QueryScanList(4, false).empty());
    QVERIFY(page->RefreshTimer().isActive());
}

// ---- The mode switch ------------------------------------------------------------------------

void BridgeTest::modeSwitchAtApShowsTheMessageAndRefreshComesBack() {
    AddDevice("00:11:22:33:44:55", "192.168.1.20", 5, 1);
    ctx_.deviceSource = source_;
    ctx_.store = &store_->Store();
    CApplicationDlg window(ctx_, RegisteredPages());
    window.show();
    CChildDlg* container = window.PageContainer();
    container->ShowPage(kBridgePageId);
    auto* page = qobject_cast<CBridgeDlg*>(container->Page(kBridgePageId));
    QVERIFY(page);
    container->OnShowRefreshTimer();
    bool allowedDuring = true;
    ctx_.messageHook = [&](MessageKind kind, const QString& text) {
        messages_.push_back({kind, text});
        allowedDuring = container->RefreshAllowed();
        return false;
    };
    WhenModal<CBridgeConfigDlg> when([](CBridgeConfigDlg*) {});
    ClickCell(page->Grid(), RowOf(page, "00:11:22:33:44:55"),
              page->Descriptor().ColumnOf(CellField::kOperate));
    when.Settle();
    QVERIFY(!when.Seen());
    QVERIFY(page->Wizard() == nullptr);
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].kind, MessageKind::kTitledWarning);
    QCOMPARE(messages_[0].text, QString::fromLatin1(kModeSwitchMessage));
    QVERIFY(!allowedDuring);
    QVERIFY(container->RefreshAllowed());
    QVERIFY(page->RefreshTimer().isActive());
    const int queries = source_->queries;
    page->OnRefreshTimer();
    QCOMPARE(source_->queries, queries + 1);
    QVERIFY(!page->RefreshTimer().isActive());
}

// ---- Renders -------------------------------------------------------------------------------

void BridgeTest::renders_data() {
    AddRenderLocales();
}

void BridgeTest::renders() {
    QFETCH(uint, locale);
    QFETCH(QString, suffix);
    const QString out = UseRenderLocale(ctx_, locale);
    for (int i = 0; i < 8; ++i) {
        const std::string mac = "00:11:22:33:44:" + std::to_string(50 + i);
        AddDevice(mac, "192.168.1." + std::to_string(20 + i), i % 2 ? 15 : 10);
        QVERIFY(store_->Store().SetDeviceStatus(mac, i == 2 ? 2 : i == 5 ? 3 : 1));
    }
    auto page = ShownPage();
    // Wide enough for every column, Status and Operate included.
    page->resize(1130, 560);
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    QVERIFY(page->grab().toImage().save(out + "bridge_page_" + suffix + ".png"));

    for (bool wep : {false, true}) {
        QVERIFY(OperateAndDrive(page.get(), "00:11:22:33:44:51", [&](CBridgeConfigDlg* w) {
            std::vector<config_otherwl_basic> heard;
            for (int i = 0; i < 9; ++i) {
                config_otherwl_basic e =
                    Neighbour(i, static_cast<uint8_t>(i % 10), static_cast<int8_t>(-45 - 5 * i));
                if (i == 4) e.set_ssid("北门基站-AP");
                heard.push_back(e);
            }
            FinishScan(w, heard, wep ? 1 : 4);
            if (!wep)
                QVERIFY(w->grab().toImage().save(out + "bridge_step0_scan_" + suffix + ".png"));
            w->OnNext();
            if (!wep) w->SecurityPage()->KeyEdit()->setText(QStringLiteral("secretpass"));
            if (wep) w->SecurityPage()->WepPanel()->KeyEdit(0)->setText(QStringLiteral("abcde"));
            QVERIFY(w->grab().toImage().save(out + "bridge_step1_" + (wep ? "wep_" : "wpa2_") +
                                             suffix + ".png"));
            if (wep) return;
            w->OnNext();
            QCOMPARE(w->Step(), 2);
            QVERIFY(w->grab().toImage().save(out + "bridge_step2_address_" + suffix + ".png"));
            w->OnNext();
            QCOMPARE(w->Step(), 3);
            QVERIFY(w->grab().toImage().save(out + "bridge_step3_finish_" + suffix + ".png"));
        }));
    }
}

QTEST_MAIN(BridgeTest)
#include "bridge_test.moc"
