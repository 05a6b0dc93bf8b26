// The reboot and restore pages, offscreen, over a real scratch store with a
// recorder in place of the link: the order the worker sends in, the
// question and its Cancel, the wait with its Status updates and closing
// searches driven by the wait dialog's clock, closing it early, the
// sortable headings, and PNG renders in English and Chinese.

#include <memory>
#include <mutex>

#include <QApplication>
#include <QPainter>
#include <QProgressBar>
#include <QTest>

#include "app/PageRegistry.h"
#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/WaitDlg.h"
#include "fleet/page_ids.h"
#include "pages/RebootDlg.h"
#include "pages/RestoreDlg.h"
#include "shell/AppContext.h"
#include "shell/ApplicationDlg.h"
#include "shell/ChildDlg.h"
#include "shell/MenuDlg.h"
#include "shell/Styling.h"
#include "store/field_texts.h"
#include "tests/gui/pages/recording_link.h"
#include "tests/support/device_records.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/page_fixture.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using namespace kestrix::testing;

namespace {

constexpr int kMac = 5;

struct PageCase {
    const char* name;
    ListPage page;
    MsgType command;
    uint32_t accepted;  // what the link records on an accepted reply
    int closingSearches;
    int statusColumn;
    const char* question;
};
const PageCase kPages[] = {
    {"reboot", ListPage::kReboot, MsgType::Reboot, kStatusRestarting, 3, 10,
     "Are you sure you want to restart?"},
    {"restore", ListPage::kRestore, MsgType::Restore, kStatusReseting, 5, 11,
     "Are you sure you want to reset?"},
};

std::unique_ptr<CRebootRestoreDlg> NewPage(const AppContext& context, ListPage page,
                                           QWidget* parent = nullptr) {
    if (page == ListPage::kRestore) return std::make_unique<CRestoreDlg>(context, parent);
    return std::make_unique<CRebootDlg>(context, parent);
}

QString Status(uint32_t code) {
    return QString::fromStdString(StatusText(code));
}

}  // namespace

class RebootRestoreTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void workerSendsStationAccessPointsFirstThenPausesThenTheRest();
    void nothingTickedOrCancelSendsNothing();
    void waitFollowsStatusesThenSearchesAndRefreshes();
    void closingTheWaitEarlyStopsTheUpdatesAtOnce();
    void headingsSortByTheirKeysAndCellsDoNothing();

    void renders_data();
    void renders();

private:
    std::unique_ptr<CRebootRestoreDlg> ShownPage(ListPage page);
    void AddDevice(const DeviceFields& f) { QVERIFY(store_->Add(f)); }
    // Saves device `ap` with a wireless MAC and device `station` as a
    // station bridged to it.
    void AddBridgedPair(int ap, int station);

    AppContext ctx_;
    std::unique_ptr<ScratchStore> store_;
    std::shared_ptr<FleetSource> source_;
    std::shared_ptr<RecordingLink> link_;
    std::vector<QString> messages_;
    std::vector<QString> questions_;
    bool answer_ = true;
    // Sends recorded when the worker reached its pause, and the pause asked.
    std::mutex pauseMutex_;
    std::vector<std::pair<std::chrono::milliseconds, size_t>> pauses_;
};

void RebootRestoreTest::init() {
    ctx_ = BundleContext();
    store_ = std::make_unique<ScratchStore>();
    source_ = std::make_shared<FleetSource>(store_->Store());
    link_ = std::make_shared<RecordingLink>(&store_->Store());
    ctx_.store = &store_->Store();
    ctx_.statusLink = link_;
    messages_.clear();
    questions_.clear();
    answer_ = true;
    pauses_.clear();
    ctx_.messageHook = [this](MessageKind kind, const QString& text) {
        (kind == MessageKind::kNone ? questions_ : messages_).push_back(text);
        return kind == MessageKind::kNone && answer_;
    };
}

void RebootRestoreTest::cleanup() {
    ctx_ = AppContext{};
    link_.reset();
    source_.reset();
    store_.reset();
}

std::unique_ptr<CRebootRestoreDlg> RebootRestoreTest::ShownPage(ListPage kind) {
    auto page = NewPage(ctx_, kind);
    page->SetPassPause([this](std::chrono::milliseconds pause, std::stop_token) {
        std::lock_guard lock(pauseMutex_);
        pauses_.emplace_back(pause, link_->Calls().size());
    });
    return ShowPage(std::move(page), source_);
}

void RebootRestoreTest::AddBridgedPair(int ap, int station) {
    char wireless[32];
    std::snprintf(wireless, sizeof wireless, "06:00:00:00:00:%02x", ap & 0xff);
    ap_info_stu a = MakeDevice(NthDevice(ap));
    DeviceInfoBlock info = a.info();
    WirelessBlock w = info.wireless();
    w.set_ssid_mac(MacTextToBytes(wireless));
    info.set_wireless(w);
    a.set_info(info);
    ap_info_stu s = MakeDevice(NthDevice(station));
    info = s.info();
    info.set_work_mode(2);
    BridgeBlock b = info.bridge();
    b.set_bridge_mac(MacTextToBytes(wireless));
    info.set_bridge(b);
    s.set_info(info);
    QVERIFY(store_->Store().SaveDeviceInfo(a));
    QVERIFY(store_->Store().SaveDeviceInfo(s));
    QVERIFY(store_->Store().HasBridgedStation(NthDevice(ap).mac));
}

// ---- The worker -------------------------------------------------------------------

void RebootRestoreTest::workerSendsStationAccessPointsFirstThenPausesThenTheRest() {
    // Rows by IP, descending: dev5 (a station), dev4 .. dev1, dev0 (its
    // access point, last in the list).
    for (int i = 1; i <= 4; ++i) AddDevice(NthDevice(i));
    AddBridgedPair(0, 5);
    struct Case {
        const char* name;
        std::vector<int> ticked;  // device numbers
        std::vector<int> sent;    // in order
        size_t sentBeforePause;
    };
    const Case cases[] = {
        {"no station: after the pause", {3}, {3}, 0},
        {"a station: at once", {0}, {0}, 1},
        {"the access point before everything", {4, 0, 2}, {0, 4, 2}, 1},
    };
    for (const PageCase& p : kPages) {
        for (const Case& c : cases) {
            const QByteArray what = QByteArray(p.name) + ": " + c.name;
            link_->Clear();
            pauses_.clear();
            auto page = ShownPage(p.page);
            for (int n : c.ticked)
                page->Grid()->SetCheck(RowOfMac(page->Grid(), NthDevice(n).mac), true);
            WhenModal<CWaitDlg> wait(
                [&](CWaitDlg*) { QTRY_COMPARE(link_->Sends(p.command).size(), c.sent.size()); });
            QTest::mouseClick(page->ActionButton(), Qt::LeftButton);
            QVERIFY2(wait.Seen(), what);
            const std::vector<RecordingLink::Call> sent = link_->Sends(p.command);
            QCOMPARE(sent.size(), c.sent.size());
            for (size_t i = 0; i < sent.size(); ++i) {
                const DeviceFields d = NthDevice(c.sent[i]);
                QVERIFY2(sent[i].mac == d.mac, what);
                QCOMPARE(sent[i].ip, d.ip);
                QVERIFY(sent[i].payload.empty());
                QVERIFY(sent[i].retry);
            }
            QCOMPARE(pauses_.size(), size_t(1));
            QCOMPARE(pauses_[0].first, std::chrono::milliseconds(200));
            QVERIFY2(pauses_[0].second == c.sentBeforePause, what);
        }
    }
}

// ---- The question -------------------------------------------------------------------

void RebootRestoreTest::nothingTickedOrCancelSendsNothing() {
    for (int i = 0; i < 3; ++i) AddDevice(NthDevice(i));
    for (const PageCase& p : kPages) {
        messages_.clear();
        questions_.clear();
        auto page = ShownPage(p.page);
        QCOMPARE(page->ActionButton()->text(),
                 QString::fromLatin1(p.page == ListPage::kRestore ? "Restore" : "Reboot"));
        QVERIFY(page->ActionButton()->isVisible());
        QVERIFY(!page->SearchButton()->isVisible());
        for (bool ticked : {false, true}) {
            if (ticked) page->Grid()->SetCheck(2, true);
            answer_ = false;
            WhenModal<QDialog> none([](QDialog*) {});
            QTest::mouseClick(page->ActionButton(), Qt::LeftButton);
            none.Settle();
            QVERIFY(!none.Seen());
            QVERIFY(link_->Calls().empty());
            QVERIFY(!page->StatusTimer().isActive());
            QVERIFY(!page->RefreshTimer().isActive());
            QVERIFY(!page->Workers().IsRegistered(CRebootRestoreDlg::kCommandWorker));
        }
        // Nothing ticked: the message and no question; ticked: the question.
        QCOMPARE(messages_, (std::vector<QString>{QStringLiteral("Please select the devices!")}));
        QCOMPARE(questions_, (std::vector<QString>{QString::fromLatin1(p.question)}));
    }
}

// ---- The wait -------------------------------------------------------------------

void RebootRestoreTest::waitFollowsStatusesThenSearchesAndRefreshes() {
    for (const PageCase& p : kPages) {
        store_ = std::make_unique<ScratchStore>();
        ctx_.store = &store_->Store();
        source_ = std::make_shared<FleetSource>(store_->Store());
        link_ = std::make_shared<RecordingLink>(&store_->Store());
        ctx_.statusLink = link_;
        for (int i = 0; i < 4; ++i) AddDevice(NthDevice(i));
        auto page = ShownPage(p.page);
        CGridCtrl* grid = page->Grid();
        const std::string answers = NthDevice(3).mac, silent = NthDevice(2).mac,
                          unticked = NthDevice(1).mac;
        grid->SetCheck(RowOfMac(grid, answers), true);
        grid->SetCheck(RowOfMac(grid, silent), true);
        const QColor online = ToQColor(ctx_.appearance.TextOnlineColor);

        std::vector<int> searchTicks;
        int releases = 0;
        WhenModal<CWaitDlg> wait([&](CWaitDlg* d) {
            QCOMPARE(page->WaitDialog(), d);
            QVERIFY(page->IsWaiting());
            QVERIFY(page->StatusTimer().isActive());
            QCOMPARE(page->StatusTimer().interval(), 1000);
            QCOMPARE(d->Schedule().Total(), 120);
            QCOMPARE(d->Schedule().SearchesLeft(), p.closingSearches);
            QTRY_COMPARE(link_->Sends(p.command).size(), size_t(2));
            // One device accepts; the other never answers; a device not
            // ticked changes too, but is not followed.
            QVERIFY(store_->Store().SetDeviceStatus(answers, p.accepted));
            QVERIFY(store_->Store().SetDeviceStatus(unticked, 0));
            page->OnStatusTick();
            const int row = RowOfMac(grid, answers);
            QCOMPARE(grid->GetItemText(row, p.statusColumn), Status(p.accepted));
            QCOMPARE(grid->GetItemFgColour(row, p.statusColumn), online);
            QCOMPARE(grid->GetItemText(RowOfMac(grid, silent), p.statusColumn), Status(1));
            QCOMPARE(grid->GetItemText(RowOfMac(grid, unticked), p.statusColumn), Status(1));
            // A device that went silent shows "Offline", in the text colour.
            QVERIFY(store_->Store().SetDeviceStatus(answers, 0));
            page->OnStatusTick();
            QCOMPARE(grid->GetItemText(row, p.statusColumn), Status(0));
            QCOMPARE(grid->GetItemFgColour(row, p.statusColumn), grid->DefaultTextColor());

            // The dialog's clock to the end: the closing searches, three
            // seconds apart, the last on the final tick.
            link_->Clear();
            while (d->isVisible()) {
                const size_t before = link_->Calls().size();
                d->Tick();
                const std::vector<std::string> names = link_->Names();
                for (size_t i = before; i < names.size(); ++i) {
                    const std::string& what = names[i];
                    if (what == "search") searchTicks.push_back(d->Schedule().Counter());
                    if (what == "release") {
                        ++releases;
                        QVERIFY(searchTicks.empty());
                    }
                }
            }
            QCOMPARE(d->Progress()->value(), 120);
        });
        QTest::mouseClick(page->ActionButton(), Qt::LeftButton);
        QVERIFY(wait.Seen());
        std::vector<int> expected;
        for (int r = p.closingSearches; r >= 1; --r) expected.push_back(120 - 6 * r + 6);
        QCOMPARE(searchTicks, expected);
        QCOMPARE(releases, 1);

        // Closed: one more search, no more updates, the refresh a second on.
        QVERIFY(!page->IsWaiting());
        QVERIFY(!page->StatusTimer().isActive());
        QCOMPARE(link_->Count("search"), p.closingSearches + 1);
        QVERIFY(page->RefreshTimer().isActive());
        QVERIFY(page->RefreshTimer().isSingleShot());
        QCOMPARE(page->RefreshTimer().interval(), 1000);
        QVERIFY(store_->Store().SetDeviceStatus(answers, 1));
        page->OnStatusTick();
        QCOMPARE(grid->GetItemText(RowOfMac(grid, answers), p.statusColumn), Status(0));
        page->OnRefreshTimer();
        QVERIFY(!page->RefreshTimer().isActive());
        QCOMPARE(grid->GetItemText(RowOfMac(grid, answers), p.statusColumn), Status(1));
        QCOMPARE(grid->GetItemText(RowOfMac(grid, unticked), p.statusColumn), Status(0));
        QVERIFY(!grid->GetCheck(RowOfMac(grid, silent)));
        QVERIFY(messages_.empty());
    }
}

void RebootRestoreTest::closingTheWaitEarlyStopsTheUpdatesAtOnce() {
    for (int i = 0; i < 40; ++i) AddDevice(NthDevice(i));
    auto page = ShownPage(ListPage::kRestore);
    CGridCtrl* grid = page->Grid();
    const std::string first = NthDevice(39).mac, last = NthDevice(10).mac;
    grid->SetCheck(RowOfMac(grid, first), true);
    grid->SetCheck(RowOfMac(grid, last), true);
    WhenModal<CWaitDlg> wait([&](CWaitDlg* d) {
        QTRY_COMPARE(link_->Sends(MsgType::Restore).size(), size_t(2));
        // The page changed during the wait: only the device still shown is
        // followed, in its own row.
        page->GoToPage(2);
        const QStringList before = GridColumn(grid, 11);
        QVERIFY(store_->Store().SetDeviceStatus(first, kStatusReseting));
        QVERIFY(store_->Store().SetDeviceStatus(NthDevice(9).mac, kStatusReseting));
        page->OnStatusTick();
        QCOMPARE(GridColumn(grid, 11), before);
        page->GoToPage(1);
        QVERIFY(store_->Store().SetDeviceStatus(last, kStatusReseting));
        page->OnStatusTick();
        QCOMPARE(grid->GetItemText(RowOfMac(grid, last), 11), Status(kStatusReseting));
        for (int i = 0; i < 10; ++i) d->Tick();
        link_->Clear();
        QTest::mouseClick(d->CloseButton(), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QVERIFY(!d->Timer().isActive());
    });
    QTest::mouseClick(page->ActionButton(), Qt::LeftButton);
    QVERIFY(wait.Seen());
    // No closing search of the dialog's, and one of the page's.
    QCOMPARE(link_->Names(), std::vector<std::string>{"search"});
    QVERIFY(!page->StatusTimer().isActive());
    QVERIFY(store_->Store().SetDeviceStatus(last, 1));
    page->OnStatusTick();
    QCOMPARE(grid->GetItemText(RowOfMac(grid, last), 11), Status(kStatusReseting));
    QVERIFY(page->RefreshTimer().isActive());
    page->OnRefreshTimer();
    QCOMPARE(grid->GetItemText(RowOfMac(grid, last), 11), Status(1));
    QCOMPARE(grid->GetItemText(RowOfMac(grid, first), 11), Status(kStatusReseting));
}

// ---- Headings and cells -----------------------------------------------------------

void RebootRestoreTest::headingsSortByTheirKeysAndCellsDoNothing() {
    for (int i = 0; i < 6; ++i) AddDevice(NthDevice(i));
    struct Case {
        ListPage page;
        int column;
        int key;  // -1: does not sort
    };
    const Case cases[] = {
        {ListPage::kReboot, 9, kSortSecureMode},
        {ListPage::kReboot, 10, -1},
        {ListPage::kRestore, 10, kSortTxPower},
        {ListPage::kRestore, 9, kSortSecureMode},
        {ListPage::kRestore, 11, -1},
    };
    for (const Case& c : cases) {
        auto page = ShownPage(c.page);
        const int queries = source_->queries;
        ClickHeading(page->Grid(), c.column);
        QCOMPARE(source_->queries, queries + (c.key < 0 ? 0 : 1));
        if (c.key >= 0) QCOMPARE(source_->lastKey, c.key);
    }
    // Data cells other than the tick box: nothing.
    auto page = ShownPage(ListPage::kRestore);
    CGridCtrl* grid = page->Grid();
    const int queries = source_->queries;
    for (int column = 1; column <= 11; ++column) ClickCell(grid, 2, column);
    QCOMPARE(source_->queries, queries);
    QVERIFY(!grid->GetCheck(2) && !grid->IsEditable());
    QVERIFY(link_->Calls().empty() && messages_.empty() && questions_.empty());
}

// ---- Renders -------------------------------------------------------------------------

void RebootRestoreTest::renders_data() {
    AddRenderLocales();
}

void RebootRestoreTest::renders() {
    QFETCH(uint, locale);
    QFETCH(QString, suffix);
    const QString out = UseRenderLocale(ctx_, locale);

    for (int i = 0; i < 12; ++i) {
        DeviceFields f = RenderDevice(i);
        f.secureMode = static_cast<uint8_t>(i % 4);
        f.txPower = static_cast<uint8_t>(18 + i % 6);
        if (i == 11) f.status = 0;
        AddDevice(f);
    }
    ctx_.deviceSource = source_;
    CApplicationDlg window(ctx_, RegisteredPages());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const PageCase& p : kPages) {
        const int id = p.page == ListPage::kRestore ? kRestorePageId : kRebootPageId;
        // Through the menu, as the operator gets there.
        QTest::mouseClick(window.MenuPanel()->Button(p.page == ListPage::kRestore ? 5 : 3),
                          Qt::LeftButton);
        QCOMPARE(window.PageContainer()->VisiblePageId(), id);
        auto* page = qobject_cast<CRebootRestoreDlg*>(window.PageContainer()->Page(id));
        QVERIFY(page);
        page->SetPassPause([](std::chrono::milliseconds, std::stop_token) {});
        window.PageContainer()->OnShowRefreshTimer();
        QCOMPARE(page->ActionButton()->text(),
                 ToQString(TranslateText(p.page == ListPage::kRestore ? "Restore" : "Reboot")));
        CGridCtrl* grid = page->Grid();
        for (int r = 1; r <= 6; ++r) grid->SetCheck(r, true);
        const QString name = QString::fromLatin1(p.name) + QStringLiteral("_");
        WhenModal<CWaitDlg> wait([&](CWaitDlg* d) {
            QTRY_COMPARE(link_->Sends(p.command).size(), size_t(6));
            for (int r = 1; r <= 5; ++r) {
                const std::string mac = grid->GetItemText(r, kMac).toStdString();
                QVERIFY(store_->Store().SetDeviceStatus(mac, p.accepted));
            }
            page->OnStatusTick();
            for (int i = 0; i < 40; ++i) d->Tick();
            QCoreApplication::processEvents();
            // The dialog over the page, where the operator sees it.
            QImage shot = window.grab().toImage();
            QPainter painter(&shot);
            const QImage dialog = d->grab().toImage();
            const QPoint at((shot.width() - dialog.width()) / 2,
                            (shot.height() - dialog.height()) / 2);
            painter.drawImage(at, dialog);
            painter.end();
            QVERIFY(shot.save(out + name + QStringLiteral("waiting_") + suffix +
                              QStringLiteral(".png")));
            d->reject();
        });
        QTest::mouseClick(page->ActionButton(), Qt::LeftButton);
        QVERIFY(wait.Seen());
        // Back after the closing searches, but one that never answered.
        for (int r = 1; r <= 4; ++r)
            QVERIFY(store_->Store().SetDeviceStatus(grid->GetItemText(r, kMac).toStdString(), 1));
        page->OnRefreshTimer();
        QCoreApplication::processEvents();
        QVERIFY(window.grab().toImage().save(out + name + QStringLiteral("after_") + suffix +
                                             QStringLiteral(".png")));
        link_->Clear();
    }
}

QTEST_MAIN(RebootRestoreTest)
#include "reboot_restore_test.moc"
