// The upgrade page's button and the upgrade dialog, offscreen, over a real
// scratch store with recorders in place of the link and the file server:
// the selection limit, the type choice, the file checks, the clearing of an
// earlier failure, the group's early end, the all-failed close, the status
// view, the file server's stop on the close button, and PNG renders.

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "fleet/list_descriptor.h"
#include "link/wire/device_status.h"
#include "pages/PageMessage.h"
#include "pages/UpgradeConfigDlg.h"
#include "pages/UpgradeDlg.h"
#include "shell/AppContext.h"
#include "shell/Styling.h"
#include "store/field_texts.h"
#include "store/sql_management.h"
#include "tests/support/device_records.h"
#include "tests/support/page_fixture.h"
#include "tests/support/status_helpers.h"
#include "tests/support/temp_files.h"

using namespace kestrix;
using namespace kestrix::testing;

namespace {

// The store's statuses through the real store; what went out recorded with
// the status the device had in the store at that moment.
struct StoreUpgradeLink : UpgradeLink {
    explicit StoreUpgradeLink(CSqlManagement& store) : store(store) {}
    struct Sent {
        MsgType type;
        std::string mac;
        int statusAtSend;
    };
    CSqlManagement& store;
    std::mutex mutex;
    std::vector<Sent> sent;
    int searches = 0;

    bool SendToDevice(const std::string&, MsgType type, const uint8_t*, size_t,
                      const std::string& mac, bool) override {
        std::lock_guard lock(mutex);
        sent.push_back({type, mac, store.GetDeviceStatus(mac)});
        return true;
    }
    void NoteNewAddress(const std::string&, const std::string&, const std::string&) override {}
    void Search() override { ++searches; }
    int GetDeviceStatus(const std::string& mac) override { return store.GetDeviceStatus(mac); }
    bool ClearUpgradeFail(const std::string& mac) override { return store.ClearUpgradeFail(mac); }
    bool IsUpgradeWaiting(const std::string& mac) override { return store.IsUpgradeWaiting(mac); }
    std::vector<Sent> Of(MsgType type) {
        std::lock_guard lock(mutex);
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.type == type) out.push_back(s);
        return out;
    }
};

struct CountingServer : FileServerControl {
    std::atomic<int> terminations{0}, starts{0}, looks{0};
    std::string folder;
    void TerminateAll() override { ++terminations; }
    bool WriteDirectory(const std::string& f) override {
        folder = f;
        return true;
    }
    bool StartHidden() override {
        ++starts;
        return true;
    }
    bool IsRunning() override {
        ++looks;
        return true;
    }
};

}  // namespace

class UpgradeTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void selectionLimitsOpenNothing();
    void mixedTypesUpgradeOnlyTheChosenOne();
    void fileChecksRefuseBeforeAnythingStarts();
    void earlierFailureIsClearedJustBeforeTheRequest();
    void groupThatWaitsGetsUpgradeStartAtOnce();
    void everyDeviceFailingClosesAfterTheTransferPhase();
    void closeButtonStopsTheFileServer();

    void renders_data();
    void renders();

private:
    std::unique_ptr<CUpgradeDlg> ShownPage();
    std::unique_ptr<CUpgradeConfigDlg> Dialog(const std::vector<SelectedDevice>& targets);
    std::vector<SelectedDevice> AddDevices(int n, uint16_t type, int first);
    // Starts the upgrade of the open dialog with a firmware file; the worker
    // finds the server at once.
    void StartUpgrade(CUpgradeConfigDlg& dialog);

    AppContext ctx_;
    std::unique_ptr<ScratchStore> store_;
    std::shared_ptr<FleetSource> source_;
    std::shared_ptr<StoreUpgradeLink> link_;
    std::shared_ptr<CountingServer> server_;
    std::unique_ptr<TempDir> dir_;
    std::vector<Message> messages_;
};

void UpgradeTest::init() {
    ctx_ = BundleContext();
    store_ = std::make_unique<ScratchStore>();
    source_ = std::make_shared<FleetSource>(store_->Store());
    link_ = std::make_shared<StoreUpgradeLink>(store_->Store());
    server_ = std::make_shared<CountingServer>();
    dir_ = std::make_unique<TempDir>();
    messages_.clear();
    ctx_.messageHook = RecordMessages(messages_, true);  // questions are answered OK
}

void UpgradeTest::cleanup() {
    ctx_.messageHook = nullptr;
    link_.reset();
    source_.reset();
    store_.reset();
    dir_.reset();
}

std::vector<SelectedDevice> UpgradeTest::AddDevices(int n, uint16_t type, int first) {
    std::vector<SelectedDevice> out;
    for (int i = first; i < first + n; ++i) {
        DeviceFields f = NthDevice(i);
        f.type = type;
        store_->Add(f);
        out.push_back({f.ip, f.mac, type});
    }
    return out;
}

std::unique_ptr<CUpgradeDlg> UpgradeTest::ShownPage() {
    auto page = std::make_unique<CUpgradeDlg>(ctx_);
    page->SetUpgradeLink(link_);
    page->SetFileServer(server_);
    return ShowPage(std::move(page), source_);
}

std::unique_ptr<CUpgradeConfigDlg> UpgradeTest::Dialog(const std::vector<SelectedDevice>& targets) {
    auto dialog = std::make_unique<CUpgradeConfigDlg>(ctx_, targets, link_, server_);
    dialog->SetServerWait({std::chrono::milliseconds(0), std::chrono::milliseconds(0), 1});
    return dialog;
}

void UpgradeTest::StartUpgrade(CUpgradeConfigDlg& dialog) {
    dialog.SetServerWait({std::chrono::milliseconds(0), std::chrono::milliseconds(0), 1});
    dialog.PathEdit()->setText(QString::fromStdString(dir_->Write("fw-2.1.bin", "firmware")));
    QTest::mouseClick(dialog.UpgradeButton(), Qt::LeftButton);
    QTRY_VERIFY(dialog.Run().FirstGroupSent());
}

void UpgradeTest::selectionLimitsOpenNothing() {
    AddDevices(12, 5, 0);
    auto page = ShownPage();
    struct Case {
        int ticked;
        const char* message;
    } cases[] = {{0, "Please select the devices!"}, {11, "Maximum selection of 10 devices!"}};
    for (const Case& c : cases) {
        page->RefreshCurrentPage();
        for (int row = 1; row <= c.ticked; ++row) page->Grid()->SetCheck(row, true);
        messages_.clear();
        WhenModal<CUpgradeConfigDlg> opened([](CUpgradeConfigDlg*) {});
        page->OnUpgrade();
        opened.Settle();
        QVERIFY(!opened.Seen());
        QCOMPARE(messages_.size(), size_t{1});
        QCOMPARE(messages_[0].kind, MessageKind::kWarning);
        QCOMPARE(messages_[0].text, QString::fromLatin1(c.message));
        QVERIFY(!page->ReloadTimer().isActive());
    }
    QCOMPARE(server_->starts.load(), 0);
    QVERIFY(link_->sent.empty());
}

void UpgradeTest::mixedTypesUpgradeOnlyTheChosenOne() {
    const auto typeA = AddDevices(3, 5, 0);
    const auto typeB = AddDevices(2, 10, 3);
    auto page = ShownPage();
    for (int row = 1; row <= 5; ++row) page->Grid()->SetCheck(row, true);
    const int macColumn = page->Descriptor().ColumnOf(CellField::kMac);
    const int statusColumn = page->Descriptor().ColumnOf(CellField::kStatus);
    bool checked = false;
    WhenModal<CUpgradeConfigDlg> opened([&](CUpgradeConfigDlg* dialog) {
        QComboBox* box = dialog->TypeBox();
        QCOMPARE(box->count(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(box->itemText(i),
                     QString::fromStdString(ModelName(box->itemData(i).toUInt())));
        QCOMPARE(box->itemData(0).toInt() + box->itemData(1).toInt(), 15);
        box->setCurrentIndex(box->findData(10));
        StartUpgrade(*dialog);
        const auto requests = link_->Of(MsgType::UpgradeRequest);
        QCOMPARE(requests.size(), size_t{2});
        for (const auto& r : requests) QVERIFY(r.mac == typeB[0].mac || r.mac == typeB[1].mac);
        QCOMPARE(dialog->Run().WatchList().size(), size_t{2});
        QCOMPARE(server_->folder, dir_->Dir().substr(0, dir_->Dir().size() - 1));
        // The status view writes the watched rows only.
        for (const auto& d : typeB) store_->Store().SetDeviceStatus(d.mac, kStatusUpgradeWait);
        for (const auto& d : typeA) store_->Store().SetDeviceStatus(d.mac, kStatusUpgradeWait);
        dialog->OnStatusViewTimer();
        CGridCtrl* grid = page->Grid();
        for (int row = 1; row < grid->GetRowCount(); ++row) {
            const std::string mac = grid->GetItemText(row, macColumn).toStdString();
            const bool watched = mac == typeB[0].mac || mac == typeB[1].mac;
            QCOMPARE(grid->GetItemText(row, statusColumn) == QStringLiteral("Upgrade wait"),
                     watched);
        }
        checked = true;
    });
    page->OnUpgrade();
    QVERIFY(opened.Seen());
    QVERIFY(checked);
    // Closing searches, and the list is read again a second later.
    QCOMPARE(link_->searches, 1);
    QVERIFY(page->ReloadTimer().isActive());
    QCOMPARE(page->ReloadTimer().interval(), 1000);
    QVERIFY(server_->terminations.load() >= 2);
}

void UpgradeTest::fileChecksRefuseBeforeAnythingStarts() {
    const auto targets = AddDevices(1, 5, 0);
    struct Case {
        QString path;
        const char* message;
    } cases[] = {
        {QString(), "Please select the upgrade file!"},
        {QStringLiteral("/fw/image.Bin"), "Upgrade file is not .bin file!"},
        {QStringLiteral("/fw/image.bin.gz"), "Upgrade file is not .bin file!"},
    };
    for (const Case& c : cases) {
        auto dialog = Dialog(targets);
        dialog->PathEdit()->setText(c.path);
        messages_.clear();
        dialog->OnUpgrade();
        QCOMPARE(messages_.size(), size_t{1});
        QCOMPARE(messages_[0].kind, MessageKind::kWarning);
        QCOMPARE(messages_[0].text, QString::fromLatin1(c.message));
        QCOMPARE(dialog->Run().CurrentPhase(), UpgradeRun::Phase::kIdle);
        QVERIFY(dialog->UpgradeButton()->isVisibleTo(dialog.get()));
        QVERIFY(!dialog->Progress()->isVisibleTo(dialog.get()));
    }
    // Cancel at the question starts nothing either.
    ctx_.messageHook = RecordMessages(messages_);
    auto dialog = Dialog(targets);
    dialog->PathEdit()->setText(QStringLiteral("/fw/image.BIN"));
    dialog->OnUpgrade();
    QCOMPARE(messages_.back().text, QStringLiteral("Are you sure you want to upgrade?"));
    QCOMPARE(dialog->Run().CurrentPhase(), UpgradeRun::Phase::kIdle);
    QCOMPARE(server_->starts.load(), 0);
}

void UpgradeTest::earlierFailureIsClearedJustBeforeTheRequest() {
    const auto targets = AddDevices(2, 5, 0);
    store_->Store().SetDeviceStatus(targets[0].mac, kStatusUpgradeFail);
    auto dialog = Dialog(targets);
    dialog->PathEdit()->setText(QStringLiteral("/fw/x.bin"));
    dialog->OnUpgrade();
    // Until the worker's wait ends, the failure stays.
    QCOMPARE(store_->Store().GetDeviceStatus(targets[0].mac), int{kStatusUpgradeFail});
    QTRY_VERIFY(dialog->Run().FirstGroupSent());
    const auto requests = link_->Of(MsgType::UpgradeRequest);
    QCOMPARE(requests.size(), size_t{2});
    QCOMPARE(requests[0].statusAtSend, int{kStatusOnline});
    QVERIFY(dialog->GroupTimer().isActive());
    // A file that cannot be opened is announced with size 0 and still sent.
    QCOMPARE(dialog->Run().TransferSeconds(), 0);
}

void UpgradeTest::groupThatWaitsGetsUpgradeStartAtOnce() {
    const auto targets = AddDevices(3, 5, 0);
    auto dialog = Dialog(targets);
    StartUpgrade(*dialog);
    for (int second = 1; second <= 5; ++second) {
        if (second == 4) {
            for (const auto& d : targets)
                store_->Store().SetDeviceStatus(d.mac, kStatusUpgradeWait);
        }
        dialog->OnGroupTimer();
        dialog->OnTransferTimer();
        if (second < 4) QVERIFY(link_->Of(MsgType::UpgradeStart).empty());
    }
    QCOMPARE(link_->Of(MsgType::UpgradeStart).size(), size_t{3});
    QVERIFY(!dialog->GroupTimer().isActive());
    QCOMPARE(dialog->Run().GroupSeconds(), 4);
    // All were sent: the rebooting phase follows the transfer phase.
    QVERIFY(dialog->RebootingTimer().isActive());
    QVERIFY(!dialog->TransferTimer().isActive());
    QCOMPARE(dialog->ProgressLabel()->text(), QStringLiteral("Firmware upgrading progress"));
    QCOMPARE(dialog->Progress()->maximum(), 130);
}

void UpgradeTest::everyDeviceFailingClosesAfterTheTransferPhase() {
    const auto targets = AddDevices(2, 5, 0);
    auto dialog = Dialog(targets);
    dialog->show();
    StartUpgrade(*dialog);
    dialog->OnGroupTimer();
    dialog->OnTransferTimer();
    QVERIFY(dialog->isVisible());
    for (const auto& d : targets) store_->Store().SetDeviceStatus(d.mac, kStatusUpgradeFail);
    dialog->OnGroupTimer();
    dialog->OnTransferTimer();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int{QDialog::Accepted});
    QVERIFY(dialog->Run().AllFailedEarly());
    QCOMPARE(link_->searches, 0);
    for (const QTimer* t : {&dialog->GroupTimer(), &dialog->TransferTimer(),
                            &dialog->RebootingTimer(), &dialog->StatusViewTimer()})
        QVERIFY(!t->isActive());
}

void UpgradeTest::closeButtonStopsTheFileServer() {
    const auto targets = AddDevices(2, 5, 0);
    auto dialog = Dialog(targets);
    dialog->show();
    StartUpgrade(*dialog);
    const int before = server_->terminations.load();
    QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QVERIFY(server_->terminations.load() > before);
    QVERIFY(!dialog->WorkerRunning());
    QVERIFY(!dialog->StatusViewTimer().isActive());
    // Destruction ends it once more.
    const int closed = server_->terminations.load();
    dialog.reset();
    QCOMPARE(server_->terminations.load(), closed + 1);
}

// ---- Renders -------------------------------------------------------------------------

void UpgradeTest::renders_data() {
    AddRenderLocales();
}

void UpgradeTest::renders() {
    QFETCH(uint, locale);
    QFETCH(QString, suffix);
    const QString out = UseRenderLocale(ctx_, locale);
    auto targets = AddDevices(4, 5, 0);
    const auto others = AddDevices(2, 10, 4);
    targets.insert(targets.end(), others.begin(), others.end());
    auto dialog = Dialog(targets);
    dialog->PathEdit()->setText(QStringLiteral("/home/operator/firmware/KX-5-2.1.0.bin"));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QVERIFY(dialog->grab().toImage().save(out + QStringLiteral("upgrade_idle_") + suffix +
                                          QStringLiteral(".png")));
    StartUpgrade(*dialog);
    for (int s = 0; s < 40; ++s) dialog->OnTransferTimer();
    QCOMPARE(dialog->ProgressLabel()->text(),
             ToQString(TranslateText("Upgrade file transfer progress")));
    QCoreApplication::processEvents();
    QVERIFY(dialog->grab().toImage().save(out + QStringLiteral("upgrade_transfer_") + suffix +
                                          QStringLiteral(".png")));
    for (const auto& d : targets) store_->Store().SetDeviceStatus(d.mac, kStatusUpgradeWait);
    dialog->OnGroupTimer();
    dialog->OnTransferTimer();
    for (int s = 0; s < 90; ++s) dialog->OnRebootingTimer();
    QCOMPARE(dialog->ProgressLabel()->text(),
             ToQString(TranslateText("Firmware upgrading progress")));
    if (locale == 2052)
        QCOMPARE(dialog->ProgressLabel()->text(), QString::fromUtf8("固件升级进度"));
    QCoreApplication::processEvents();
    QVERIFY(dialog->grab().toImage().save(out + QStringLiteral("upgrade_rebooting_") + suffix +
                                          QStringLiteral(".png")));
    InitLanguageWithLocale(BundleDir(), 1033);
}

QTEST_MAIN(UpgradeTest)
#include "upgrade_test.moc"
