// The device-list pages and the system tool page, offscreen, over a real
// scratch store: first fill, the shared sort toggle, ticks, filter and page
// size, the page strip through the container, the container's 30 s
// refresh, announced-only rows, the no-selection messages, the CSV export,
// the adapters of the system tool page, and PNG renders of the pages in
// the main window with a simulated fleet.

#include "tests/gui/pages/pages_test.h"

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/PageRegistry.h"
#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TMultiPages.h"
#include "controls/WaitDlg.h"
#include "fleet/page_ids.h"
#include "link/device_link.h"
#include "pages/DeviceListDlg.h"
#include "pages/PageMessage.h"
#include "pages/RebootDlg.h"
#include "pages/StatusDlg.h"
#include "pages/SystemToolDlg.h"
#include "shell/AppContext.h"
#include "shell/ApplicationDlg.h"
#include "shell/ChildDlg.h"
#include "shell/MenuDlg.h"
#include "store/field_texts.h"
#include "tests/support/device_records.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/page_fixture.h"
#include "tests/support/temp_files.h"
#include "tools/devsim/fleet.h"

using namespace kestrix;
using namespace kestrix::testing;

namespace {

// The fleet most tests use: `count` devices, online except every tenth.
void AddDevices(ScratchStore& store, int count) {
    for (int i = 0; i < count; ++i) {
        DeviceFields f = NthDevice(i);
        if (i % 10 == 9) f.status = 0;
        QVERIFY(store.Add(f));
    }
}

int TickedRows(CGridCtrl* grid) {
    int n = 0;
    for (int r = 1; r < grid->GetRowCount(); ++r) n += grid->GetCheck(r) ? 1 : 0;
    return n;
}

uint32_t IpNumber(const QString& ip) {
    return IpTextToNumber(ip.toStdString());
}

template <class Page>
std::unique_ptr<Page> ShownPage(const AppContext& context,
                                std::shared_ptr<DeviceListSource> source) {
    return ShowPage(std::make_unique<Page>(context, nullptr), std::move(source));
}

}  // namespace

void PagesTest::init() {
    ctx_ = BundleContext();
}

void PagesTest::cleanup() {
    ctx_.deviceSource = nullptr;
    ctx_.saveFileChooser = nullptr;
    ctx_.adapters = nullptr;
    ctx_.messageHook = nullptr;
}

void PagesTest::firstFillListsByIpDescending() {
    ScratchStore store;
    AddDevices(store, 45);
    auto page = ShownPage<CRebootDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetRowCount(), 31);
    QCOMPARE(page->RowsPerPage(), 30);
    QCOMPARE(page->PageSizeBox()->currentText(), QStringLiteral("30"));
    const QStringList ips = GridColumn(grid, 4);
    QCOMPARE(ips.first(), QStringLiteral("10.0.0.45"));
    QCOMPARE(ips.last(), QStringLiteral("10.0.0.16"));
    QCOMPARE(GridColumn(grid, 1).first(), QStringLiteral("1"));
    QCOMPARE(GridColumn(grid, 1).last(), QStringLiteral("30"));
    QCOMPARE(grid->SortMarkColumn(), 4);
    QVERIFY(!grid->SortMarkAscending());
    QCOMPARE(page->Strip()->ButtonTexts(), (QStringList{"1", "2"}));
    // The look of the settings file: bold headings in their colours, 48 px
    // rows.
    QCOMPARE(grid->HeadingTextColor(), QColor(237, 112, 32));
    QCOMPARE(grid->HeadingBackground(), QColor(221, 217, 196));
    QVERIFY(grid->HeadingFont().bold());
    QCOMPARE(grid->rowHeight(0), 48);
    QCOMPARE(page->CountLabel()->text(), QStringLiteral("Online device count:41"));

    // Status in the online colour unless offline (device 39 is offline).
    const int row39 = int(ips.indexOf(QStringLiteral("10.0.0.40"))) + 1;
    QCOMPARE(grid->GetItemText(row39, 10), QString::fromStdString(StatusText(0)));
    QCOMPARE(grid->GetItemFgColour(row39, 10), grid->DefaultTextColor());
    QCOMPARE(grid->GetItemFgColour(1, 10), QColor(0, 153, 0));
    QCOMPARE(grid->GetItemText(1, 10), QString::fromStdString(StatusText(1)));

    // No store at all: an empty list, no pages, nobody online.
    CRebootDlg empty(ctx_, nullptr);
    empty.RefreshCurrentPage();
    QCOMPARE(empty.Grid()->GetRowCount(), 1);
    QCOMPARE(empty.Strip()->ButtonTexts(), QStringList());
    QCOMPARE(empty.CountLabel()->text(), QStringLiteral("Online device count:0"));
    // Actions arrive with their own work: no buttons to press yet.
    QVERIFY(!empty.SearchButton()->isVisibleTo(&empty));
}

void PagesTest::headingsShareOneDirectionToggle() {
    ScratchStore store;
    AddDevices(store, 45);
    auto source = std::make_shared<FleetSource>(store.Store());
    auto page = ShownPage<CRebootDlg>(ctx_, source);
    CGridCtrl* grid = page->Grid();
    page->GoToPage(2);
    QCOMPARE(page->State().currentPage, 2);

    ClickHeading(grid, 4);  // IP: ascending, page 1
    QCOMPARE(page->State().currentPage, 1);
    QStringList ips = GridColumn(grid, 4);
    QCOMPARE(ips.first(), QStringLiteral("10.0.0.1"));
    QVERIFY(std::is_sorted(ips.begin(), ips.end(), [](const QString& a, const QString& b) {
        return IpNumber(a) < IpNumber(b);
    }));
    QVERIFY(grid->SortMarkAscending());

    ClickHeading(grid, 5);  // MAC: the shared toggle makes it descending
    QStringList macs = GridColumn(grid, 5);
    QCOMPARE(macs.first(), QString::fromStdString(NthDevice(44).mac));
    QVERIFY(std::is_sorted(macs.rbegin(), macs.rend()));
    QCOMPARE(grid->SortMarkColumn(), 5);
    QVERIFY(!grid->SortMarkAscending());

    // Refreshes keep the last click's column and direction.
    page->RefreshCurrentPage();
    QCOMPARE(GridColumn(grid, 5), macs);

    // Serial and Status do not sort and do not flip the direction.
    const int queries = source->queries;
    ClickHeading(grid, 1);
    ClickHeading(grid, 10);
    QCOMPARE(source->queries, queries);
    QCOMPARE(GridColumn(grid, 5), macs);
    ClickHeading(grid, 2);  // Location: ascending again
    QVERIFY(grid->SortMarkAscending());
    QCOMPARE(grid->SortMarkColumn(), 2);
    QCOMPARE(page->State().sortColumn, 2);
}

void PagesTest::ticksSelectAllAndEveryRefreshClearsThem() {
    ScratchStore store;
    AddDevices(store, 12);
    auto page = ShownPage<CRebootDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetRowCount(), 13);

    ClickHeading(grid, 0);
    QCOMPARE(TickedRows(grid), 12);
    QVERIFY(grid->GetCheck(0));
    QCOMPARE(page->State().allTicked, 1);
    ClickHeading(grid, 0);
    QCOMPARE(TickedRows(grid), 0);
    QVERIFY(!grid->GetCheck(0));

    // A single tick inverts only its row; the heading box stays.
    ClickCell(grid, 3, 0);
    ClickCell(grid, 5, 0);
    ClickCell(grid, 5, 0);
    QCOMPARE(TickedRows(grid), 1);
    QVERIFY(grid->GetCheck(3));
    QVERIFY(!grid->GetCheck(0));
    // Clicks elsewhere in a row tick nothing.
    ClickCell(grid, 4, 2);
    QCOMPARE(TickedRows(grid), 1);

    const auto& selection = page->CollectSelection();
    QCOMPARE(selection.size(), size_t(1));
    QCOMPARE(QString::fromStdString(selection[0].ip), grid->GetItemText(3, 4));
    QCOMPARE(QString::fromStdString(selection[0].mac), grid->GetItemText(3, 5));
    QCOMPARE(selection[0].type, uint16_t(5));

    // Every refresh clears every tick: the refresh button...
    ClickHeading(grid, 0);
    QTest::mouseClick(page->RefreshButton(), Qt::LeftButton);
    QCOMPARE(TickedRows(grid), 0);
    QVERIFY(!grid->GetCheck(0));
    QCOMPARE(page->State().allTicked, 0);
    QCOMPARE(grid->GetRowCount(), 13);
    // ...and a page change.
    ClickCell(grid, 2, 0);
    page->GoToPage(1);
    QCOMPARE(TickedRows(grid), 0);
}

void PagesTest::filterAndPageSizeGoBackToPageOne() {
    ScratchStore store;
    AddDevices(store, 45);
    auto page = ShownPage<CRebootDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    CGridCtrl* grid = page->Grid();
    page->GoToPage(2);
    QCOMPARE(grid->GetRowCount(), 16);

    // Each change of the filter text reads page 1 of the matches.
    QTest::keyClicks(page->FilterBox(), QStringLiteral("dev1"));
    QCOMPARE(page->State().currentPage, 1);
    QCOMPARE(page->State().filterText, std::string("dev1"));
    QCOMPARE(grid->GetRowCount(), 12);  // dev1, dev10..dev19
    for (const QString& name : GridColumn(grid, 2)) QVERIFY(name.startsWith(QLatin1String("dev1")));
    QCOMPARE(page->CountLabel()->text(), QStringLiteral("Online device count:10"));
    QCOMPARE(page->Strip()->ButtonTexts(), QStringList{"1"});

    page->FilterBox()->clear();
    QCOMPARE(grid->GetRowCount(), 31);
    page->GoToPage(2);
    QCOMPARE(page->State().currentPage, 2);
    // Sizes 15, 30, 50, 100; a new size reads page 1.
    QComboBox* size = page->PageSizeBox();
    QCOMPARE(size->count(), 4);
    QCOMPARE(size->itemData(0).toInt(), 15);
    QCOMPARE(size->itemData(3).toInt(), 100);
    size->setCurrentIndex(0);
    QCOMPARE(page->State().currentPage, 1);
    QCOMPARE(grid->GetRowCount(), 16);
    QCOMPARE(page->Strip()->ButtonTexts(), (QStringList{"1", "2", "3"}));
    page->GoToPage(3);
    QCOMPARE(GridColumn(grid, 1).first(), QStringLiteral("31"));
    // A refresh never changes the filter.
    page->FilterBox()->setText(QStringLiteral("net3"));
    page->RefreshCurrentPage();
    QCOMPARE(page->FilterBox()->text(), QStringLiteral("net3"));
    QCOMPARE(page->State().filterText, std::string("net3"));
}

void PagesTest::stripClickGoesThroughTheContainer() {
    ScratchStore store;
    AddDevices(store, 70);
    ctx_.deviceSource = std::make_shared<FleetSource>(store.Store());
    CChildDlg container(ctx_, RegisteredPages());
    container.resize(924, 604);
    container.show();
    container.ShowPage(kRebootPageId);
    auto* page = qobject_cast<CDeviceListDlg*>(container.Page(kRebootPageId));
    QVERIFY(page);
    QCOMPARE(page->Container(), &container);
    container.OnShowRefreshTimer();
    CTMultiPages* strip = page->Strip();
    QCOMPARE(strip->ButtonTexts(), (QStringList{"1", "2", "3"}));
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->ButtonRects()[2].center());
    QCOMPARE(page->State().currentPage, 3);
    QCOMPARE(strip->CurrentPage(), 3);
    QCOMPARE(page->Grid()->GetRowCount(), 11);
    QCOMPARE(GridColumn(page->Grid(), 1).first(), QStringLiteral("61"));
    // The container routes a page change by page id, as any page may ask.
    container.GoToPage(kRebootPageId, 2);
    QCOMPARE(page->State().currentPage, 2);
}

void PagesTest::periodicRefreshOnlyOnListPagesWhileAllowed() {
    ScratchStore store;
    AddDevices(store, 10);
    ctx_.deviceSource = std::make_shared<FleetSource>(store.Store());
    CChildDlg container(ctx_, RegisteredPages());
    container.resize(924, 604);
    const std::pair<int, bool> cases[] = {
        {kStatusPageId, true},  {kManagementPageId, true}, {kBridgePageId, true},
        {kRebootPageId, false}, {kUpgradePageId, false},   {kRestorePageId, false},
    };
    int added = 100;
    for (auto [id, refreshed] : cases) {
        container.ShowPage(id);
        container.OnShowRefreshTimer();
        auto* page = qobject_cast<CDeviceListDlg*>(container.Page(id));
        QVERIFY(page);
        CGridCtrl* grid = page->Grid();
        QCOMPARE(grid->GetRowCount(), 11 + (added - 100));
        if (page->Descriptor().hasTickColumn) {
            grid->SetCheck(2, true);
            grid->SetCheck(0, true);
        }
        // A device that only a re-read can show.
        QVERIFY(store.Add(NthDevice(added++)));
        QSignalSpy spy(page, &CDeviceListDlg::ListRefreshed);
        container.OnPeriodicRefreshTimer();
        QCOMPARE(spy.count(), refreshed ? 1 : 0);
        QCOMPARE(grid->GetRowCount(), 11 + (added - 100) - (refreshed ? 0 : 1));
        if (page->Descriptor().hasTickColumn) {
            QCOMPARE(grid->GetCheck(2), !refreshed);
            QCOMPARE(grid->GetCheck(0), !refreshed);
        }
    }
    // A page that suspends the refresh (a search, a dialog) stops it until
    // it allows it again.
    container.ShowPage(kStatusPageId);
    auto* status = qobject_cast<CDeviceListDlg*>(container.Page(kStatusPageId));
    QSignalSpy spy(status, &CDeviceListDlg::ListRefreshed);
    status->SetContainerRefreshAllowed(false);
    QVERIFY(!container.RefreshAllowed());
    container.OnPeriodicRefreshTimer();
    QCOMPARE(spy.count(), 0);
    status->SetContainerRefreshAllowed(true);
    container.OnPeriodicRefreshTimer();
    QCOMPARE(spy.count(), 1);
}

void PagesTest::shrunkListShowsTheFirstPage() {
    ScratchStore store;
    AddDevices(store, 45);
    auto page = ShownPage<CRebootDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    page->GoToPage(2);
    for (int i = 10; i < 45; ++i) QVERIFY(store.Store().DeleteDevice(NthDevice(i).mac));
    page->RefreshCurrentPage();
    QCOMPARE(page->State().currentPage, 1);
    QCOMPARE(page->Grid()->GetRowCount(), 11);
    QCOMPARE(page->Strip()->ButtonTexts(), QStringList{"1"});
    QCOMPARE(page->Strip()->CurrentPage(), 1);
}

void PagesTest::statusPageAppendsAnnouncedOnlyDevices() {
    ScratchStore store;
    for (int i = 0; i < 28; ++i) QVERIFY(store.Add(NthDevice(i)));
    auto source = std::make_shared<FleetSource>(store.Store());
    for (int i = 0; i < 5; ++i) {
        DeviceFields f = NthDevice(200 + i);
        f.status = kStatusAnnouncedOnly;
        f.ssid = i == 0 ? "" : "yard";
        source->announced.push_back(MakeDevice(f));
    }
    auto page = ShownPage<CStatusDlg>(ctx_, source);
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetRowCount(), 31);
    const QColor pending(142, 142, 142);
    for (int r = 1; r <= 30; ++r) {
        const bool announced = r > 28;
        QCOMPARE(grid->GetItemData(r, 1), qint64(announced ? 10 : 1));
        QCOMPARE(grid->GetItemFgColour(r, 4), announced ? pending : grid->DefaultTextColor());
        QCOMPARE(grid->GetItemImage(r, 13), announced ? -1 : 0);
    }
    QCOMPARE(grid->GetItemText(29, 1), QStringLiteral("29"));
    QCOMPARE(grid->GetItemText(29, 4), QString::fromStdString(NthDevice(200).ip));
    // Without an SSID only type, address, MAC and version are shown.
    QCOMPARE(grid->GetItemText(29, 2), QString());
    QCOMPARE(grid->GetItemText(29, 9), QStringLiteral("V1.0.0"));
    QCOMPARE(grid->GetItemText(30, 2), QString::fromStdString(NthDevice(201).name));
    QCOMPARE(page->CountLabel()->text(), QStringLiteral("Online device count:28"));
    // The Operate column shows: the status page opens a device's web page.
    QVERIFY(!grid->isColumnHidden(13));

    // Smaller pages: the announced devices follow on the last page only.
    page->PageSizeBox()->setCurrentIndex(0);
    QCOMPARE(grid->GetRowCount(), 16);
    QCOMPARE(grid->GetItemData(15, 1), qint64(1));
    page->GoToPage(2);
    QCOMPARE(grid->GetRowCount(), 16);  // 13 stored and 2 announced
    QCOMPARE(grid->GetItemData(14, 1), qint64(10));
    QCOMPARE(grid->GetItemText(14, 1), QStringLiteral("29"));
}

void PagesTest::noSelectionMessages() {
    ScratchStore store;
    for (int i = 0; i < 4; ++i) {
        DeviceFields f = NthDevice(i);
        f.type = 17;  // neither switch exists on it
        QVERIFY(store.Add(f));
    }
    std::vector<Message> shown;
    ctx_.messageHook = RecordMessages(shown);
    auto page = ShownPage<CStatusDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    QVERIFY(!page->CollectSelectionOrWarn());
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(shown[0].kind, MessageKind::kWarning);
    QCOMPARE(shown[0].text, QStringLiteral("Please select the devices!"));

    page->Grid()->SetCheck(1, true);
    page->Grid()->SetCheck(2, true);
    QVERIFY(page->CollectSelectionOrWarn());
    QCOMPARE(page->Selection().size(), size_t(2));
    QCOMPARE(shown.size(), size_t(1));
    // Ticked, but the switch reads "N/A" on every one of them.
    QVERIFY(!page->CollectSelectionOrWarn(SelectionFilter::kTransparentBridge));
    QVERIFY(!page->CollectSelectionOrWarn(SelectionFilter::kPxsync));
    QCOMPARE(shown.size(), size_t(3));
    QCOMPARE(shown[2].text, QStringLiteral("Please select configurable devices!"));
    QVERIFY(page->Selection().empty());
}

void PagesTest::exportWritesEveryMatchingRowInOrder() {
    ScratchStore store;
    AddDevices(store, 44);
    DeviceFields named = NthDevice(44);
    named.name = "北门, \"east\"";
    QVERIFY(store.Add(named));
    kestrix::testing::TempDir dir;
    const QString path = QString::fromStdString(dir.File("list.csv"));
    QString suggested;
    ctx_.saveFileChooser = [&](QWidget*, const QString& s) {
        suggested = s;
        return path;
    };
    auto page = ShownPage<CRebootDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    ClickHeading(page->Grid(), 5);  // MAC, ascending
    QTest::mouseClick(page->ExportButton(), Qt::LeftButton);
    QVERIFY(suggested.endsWith(QLatin1String(".csv")));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 47);  // header, 45 devices, the empty end
    QCOMPARE(lines[0],
             QStringLiteral("Serial,Location,Type,IP,MAC,Mode,SSID,Channel,Security,Status"));
    QStringList macs;
    for (int i = 1; i <= 45; ++i) {
        QVERIFY(lines[i].startsWith(QString::number(i) + QLatin1Char(',')));
        macs << lines[i].section(QLatin1Char(','), -6, -6);
    }
    QVERIFY(std::is_sorted(macs.begin(), macs.end()));
    QCOMPARE(macs.first(), QString::fromStdString(NthDevice(0).mac));
    QVERIFY(lines[45].startsWith(QStringLiteral("45,\"北门, \"\"east\"\"\",")));

    // The filter applies; the shown page does not matter.
    page->FilterBox()->setText(QStringLiteral("dev2"));
    QVERIFY(page->ExportCsv(path));
    QFile filtered(path);
    QVERIFY(filtered.open(QIODevice::ReadOnly));
    QCOMPARE(filtered.readAll().count("\r\n"), 1 + 11);

    // A place that cannot be written: the operator is told, nothing else.
    std::vector<Message> shown;
    ctx_.messageHook = RecordMessages(shown);
    ctx_.saveFileChooser = [&](QWidget*, const QString&) {
        return QString::fromStdString(dir.File("no/such/x.csv"));
    };
    QTest::mouseClick(page->ExportButton(), Qt::LeftButton);
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(shown[0].kind, MessageKind::kWarning);
    QVERIFY(shown[0].text.contains(QLatin1String("x.csv")));
    // Cancelled: nothing at all.
    ctx_.saveFileChooser = [](QWidget*, const QString&) { return QString(); };
    QTest::mouseClick(page->ExportButton(), Qt::LeftButton);
    QCOMPARE(shown.size(), size_t(1));
}

void PagesTest::headingsAndCountInChinese() {
    InitLanguageWithLocale(BundleDir(), 2052);
    ScratchStore store;
    AddDevices(store, 5);
    auto page = ShownPage<CRebootDlg>(ctx_, std::make_shared<FleetSource>(store.Store()));
    QCOMPARE(page->Grid()->GetHeading(1), QString::fromUtf8("序号"));
    QCOMPARE(page->Grid()->GetHeading(0), QString());
    QCOMPARE(page->CountLabel()->text(), QString::fromUtf8("在线设备数：5"));
    QCOMPARE(page->findChild<QLabel*>(QStringLiteral("pageSizeLabel"))->text(),
             QString::fromUtf8("每页条数"));
    QCOMPARE(page->PageSizeBox()->itemText(1), QStringLiteral("30"));
    QCOMPARE(page->Grid()->GetItemText(1, 10), QString::fromUtf8("在线"));
}

namespace {

class FakeAdapters : public AdapterSource {
public:
    std::vector<AdapterRecord> Enumerate() override { return records; }
    std::vector<AdapterRecord> records;
};

AdapterRecord Adapter(const std::string& name, uint8_t last, std::vector<std::string> ips) {
    AdapterRecord a;
    a.name = name;
    a.description = name + " Ethernet";
    a.mac = {0x02, 0x00, 0x00, 0x00, 0x00, last};
    for (const std::string& ip : ips) a.entries.push_back({ip, "255.255.255.0", ""});
    return a;
}

}  // namespace

void PagesTest::systemToolJoinsAddressesAndFollowsAdapters() {
    // The link's own adapter reading, over a fake system.
    auto adapters = std::make_shared<FakeAdapters>();
    adapters->records = {Adapter("eth0", 1, {"192.168.0.5", "10.0.0.5"}),
                         Adapter("eth1", 2, {"0.0.0.0", "172.16.0.9"}),
                         Adapter("usb0", 3, {"172.20.1.1"})};
    DeviceLink link;
    link.SetAdapterSource(adapters);
    ctx_.adapters = [&link] {
        std::vector<AdapterRecord> out;
        link.GetLocalAdapters(out);
        return out;
    };
    CSystemToolDlg page(ctx_);
    CGridCtrl* grid = page.Grid();
    QCOMPARE(page.RefreshTimer().interval(), 5000);
    QVERIFY(page.RefreshTimer().isActive());
    QCOMPARE(grid->GetColumnCount(), 4);
    QCOMPARE(grid->GetHeading(1), QStringLiteral("Description"));
    QCOMPARE(grid->columnWidth(1), 400);
    // The adapter still waiting for its address is not listed.
    QCOMPARE(grid->GetRowCount(), 3);
    QCOMPARE(page.CountLabel()->text(), QStringLiteral("Adapter count:2"));
    QCOMPARE(grid->GetItemText(1, 0), QStringLiteral("1"));
    QCOMPARE(grid->GetItemText(1, 1), QStringLiteral("eth0 Ethernet"));
    QCOMPARE(grid->GetItemText(1, 2), QStringLiteral("02:00:00:00:00:01"));
    QCOMPARE(grid->GetItemText(1, 3), QStringLiteral("192.168.0.5--10.0.0.5"));
    QCOMPARE(grid->GetItemText(2, 3), QStringLiteral("172.20.1.1"));

    // Unplugged, then another one plugged in: the next reading follows.
    adapters->records.erase(adapters->records.begin());
    page.Fill();
    QCOMPARE(grid->GetRowCount(), 2);
    QCOMPARE(grid->GetItemText(1, 0), QStringLiteral("1"));
    QCOMPARE(grid->GetItemText(1, 3), QStringLiteral("172.20.1.1"));
    QCOMPARE(page.CountLabel()->text(), QStringLiteral("Adapter count:1"));
    adapters->records.push_back(Adapter("wlan0", 4, {"192.168.8.2"}));
    page.Fill();
    QCOMPARE(grid->GetRowCount(), 3);
    QCOMPARE(grid->GetItemText(2, 3), QStringLiteral("192.168.8.2"));
    QCOMPARE(page.CountLabel()->text(), QStringLiteral("Adapter count:2"));

    // No link: nothing listed, no message.
    ctx_.adapters = nullptr;
    CSystemToolDlg bare(ctx_);
    QCOMPARE(bare.Grid()->GetRowCount(), 1);
    QCOMPARE(bare.CountLabel()->text(), QStringLiteral("Adapter count:0"));
}

// ---- Renders ----------------------------------------------------------------

namespace {

// A simulated fleet as the simulator builds it, in the store, with a few
// devices in the states an operator meets.
void AddSimulatedFleet(ScratchStore& store, int count) {
    devsim::FleetConfig config;
    config.devices = count;
    config.seed = 8;
    config.first_ip = {192, 168, 1, 20};
    config.netmask = {255, 255, 252, 0};
    std::vector<devsim::DeviceSpec> fleet;
    std::string err;
    QVERIFY2(devsim::BuildFleet(config, fleet, err), err.c_str());
    for (size_t i = 0; i < fleet.size(); ++i) {
        ap_info_stu record;
        record.set_mac(MacBytesToText(fleet[i].mac));
        record.set_ap_type(fleet[i].type);
        DeviceInfoBlock info = fleet[i].info;
        info.set_up_time(fleet[i].uptime);
        info.ConvertDeviceTexts();
        record.set_info(info);
        QVERIFY(store.Store().SaveDeviceInfo(record));
        const uint32_t status = i % 11 == 3   ? uint32_t{kStatusRestarting}
                                : i % 17 == 5 ? uint32_t{kStatusOffline}
                                              : uint32_t{kStatusOnline};
        if (status != 1) QVERIFY(store.Store().SetDeviceStatus(record.mac(), status));
    }
}

}  // namespace

void PagesTest::renderPages_data() {
    QTest::addColumn<uint>("locale");
    QTest::addColumn<int>("menu");
    QTest::addColumn<QString>("name");
    QTest::newRow("status-en") << 1033u << 0 << QStringLiteral("pages_status_en");
    QTest::newRow("status-zh") << 2052u << 0 << QStringLiteral("pages_status_zh");
    QTest::newRow("management-en") << 1033u << 1 << QStringLiteral("pages_management_en");
    QTest::newRow("reboot-en") << 1033u << 3 << QStringLiteral("pages_reboot_en");
    QTest::newRow("reboot-zh") << 2052u << 3 << QStringLiteral("pages_reboot_zh");
    QTest::newRow("systemtool-en") << 1033u << 6 << QStringLiteral("pages_systemtool_en");
}

void PagesTest::renderPages() {
    QFETCH(uint, locale);
    QFETCH(int, menu);
    QFETCH(QString, name);
    const QString out = UseRenderLocale(ctx_, locale);
    ScratchStore store;
    AddSimulatedFleet(store, 236);
    auto source = std::make_shared<FleetSource>(store.Store());
    for (int i = 0; i < 3; ++i) {
        DeviceFields f = NthDevice(240 + i);
        f.ip = "192.168.7." + std::to_string(30 + i);
        f.status = kStatusAnnouncedOnly;
        f.ssid = i == 0 ? "" : "KX-Net-7";
        source->announced.push_back(MakeDevice(f));
    }
    ctx_.deviceSource = source;
    ctx_.adapters = [] {
        return std::vector<AdapterRecord>{
            Adapter("enp3s0", 0x11, {"192.168.1.10", "10.20.0.1"}),
            Adapter("enp4s0", 0x12, {"172.16.5.2"}),
        };
    };

    CApplicationDlg window(ctx_, RegisteredPages());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.MenuPanel()->Button(menu), Qt::LeftButton);
    window.PageContainer()->OnShowRefreshTimer();
    if (menu == 3) {
        // Some ticks, as an operator about to reboot would have them.
        auto* page = qobject_cast<CDeviceListDlg*>(window.PageContainer()->Page(kRebootPageId));
        page->Grid()->SetCheck(2, true);
        page->Grid()->SetCheck(3, true);
        page->Grid()->SetCheck(6, true);
    }
    std::unique_ptr<CWaitDlg> wait;
    if (menu == 3) {
        // The wait of a reboot, two thirds through, over the page.
        auto* page = qobject_cast<CDeviceListDlg*>(window.PageContainer()->Page(kRebootPageId));
        wait = page->MakeWaitDialog(60, true, 3);
        for (int i = 0; i < 80; ++i) wait->Tick();
        wait->show();
        QVERIFY(QTest::qWaitForWindowExposed(wait.get()));
    }
    if (menu == 0) {
        auto* page = qobject_cast<CDeviceListDlg*>(window.PageContainer()->Page(kStatusPageId));
        // The last page, where the devices only heard announcing
        // themselves follow the stored ones.
        page->GoToPage(8);
        page->Grid()->scrollToBottom();
    }
    QCoreApplication::processEvents();
    const QImage shot = window.grab().toImage();
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(out + name + QStringLiteral(".png")));
    if (wait) {
        QVERIFY(wait->CloseButton()->HasImage());
        QVERIFY(wait->grab().toImage().save(out + name + QStringLiteral("_wait.png")));
    }
}
