// The device-list pages against a simulated fleet of 2 000 devices in the
// network lab: the link finds them into a real store, and every page's
// paging, sorting by each sortable heading and filtering must show exactly
// the rows the store's page query gives, in the store's order, with the
// texts of the simulator's own state.
//
// The test process moves into the lab's host namespace before the link
// starts, so the link sees the lab's host adapter as its only adapter.

#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/PageRegistry.h"
#include "controls/GridCtrl.h"
#include "controls/TMultiPages.h"
#include "fleet/list_rows.h"
#include "link/device_link.h"
#include "pages/BridgeDlg.h"
#include "pages/ManagementDlg.h"
#include "pages/RebootDlg.h"
#include "pages/RestoreDlg.h"
#include "pages/StatusDlg.h"
#include "pages/UpgradeDlg.h"
#include "shell/AppContext.h"
#include "store/sql_management.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/lab_app.h"
#include "tests/support/labkit.h"

using namespace kestrix;
using namespace std::chrono_literals;
using kestrix::testing::ClickHeading;
using kestrix::testing::GridColumn;

namespace {

constexpr int kFleet = 2000;

// The store key each heading sorts by, named by what the column shows.
const std::map<std::string, int> kKeyOfHeading = {
    {"MAC", 0},
    {"IP", 1},
    {"Location", 2},
    {"Type", 3},
    {"OperationMode", 4},
    {"SSID", 5},
    {"Channel", 6},
    {"SecureMode", 7},
    {"Power", 8},
    {"Version", 9},
    {"Transparent bridge", 10},
    {"PX-SYNC", 11},
    {"Time", 12},
    {"Status", 13},
};

struct StoreQuery {
    std::vector<ap_info_stu> rows;
    int pageCount = 0;
    int onlineCount = 0;
};

}  // namespace

class PagesLabTest : public QObject {
    Q_OBJECT
private:
    StoreQuery Query(const std::string& filter, int key, bool ascending, int size, int page) {
        StoreQuery q;
        if (!store_->QueryDevicePage(filter, key, ascending, size, page, q.rows, q.pageCount,
                                     q.onlineCount)) {
            qWarning("store query failed");
        }
        return q;
    }

    // The grid shows exactly the store's rows for this request: the same
    // devices in the same order, each cell with its record's text, numbered
    // on from the page before.
    void CompareWithStore(CDeviceListDlg& page, const std::string& filter, int key, bool ascending,
                          int pageNumber) {
        const int size = page.RowsPerPage();
        const StoreQuery q = Query(filter, key, ascending, size, pageNumber);
        CGridCtrl* grid = page.Grid();
        const ListDescriptor& list = page.Descriptor();
        QCOMPARE(grid->GetRowCount() - 1, static_cast<int>(q.rows.size()));
        for (size_t i = 0; i < q.rows.size(); ++i) {
            const int row = static_cast<int>(i) + 1;
            const ListRow expected =
                BuildListRow(list, q.rows[i], static_cast<int>(i) + 1 + size * (pageNumber - 1));
            for (int c = 0; c < list.ColumnCount(); ++c) {
                QCOMPARE(grid->GetItemText(row, c),
                         QString::fromStdString(expected.cells[static_cast<size_t>(c)].text));
            }
        }
        QCOMPARE(page.Strip()->PageCount(), q.pageCount);
        QCOMPARE(page.State().onlineCount, q.onlineCount);
    }

    template <class Page>
    std::unique_ptr<CDeviceListDlg> MakePage() {
        auto page = std::make_unique<Page>(core_.context, nullptr);
        page->resize(924, 604);
        page->show();
        page->RefreshCurrentPage();
        return page;
    }

    std::vector<std::unique_ptr<CDeviceListDlg>> AllPages() {
        std::vector<std::unique_ptr<CDeviceListDlg>> pages;
        pages.push_back(MakePage<CStatusDlg>());
        pages.push_back(MakePage<CManagementDlg>());
        pages.push_back(MakePage<CBridgeDlg>());
        pages.push_back(MakePage<CRebootDlg>());
        pages.push_back(MakePage<CUpgradeDlg>());
        pages.push_back(MakePage<CRestoreDlg>());
        return pages;
    }

    kestrix::testing::LabApp core_;
    CSqlManagement* store_ = nullptr;
    DeviceLink* link_ = nullptr;

private slots:
    void initTestCase() {
        std::string err;
        QVERIFY2(core_.Enter(
                     "pages",
                     {.devices = kFleet, .sim_args = {"--seed", "21", "--heartbeat", "60s"}}, &err),
                 err.c_str());
        QVERIFY(core_.dump->devices.size() == size_t(kFleet));
        store_ = core_.store.get();
        link_ = core_.link.get();
        // No device may age out of the store while the pages are compared
        // with it.
        link_->SetPresenceTickMs(3600 * 1000);
        QVERIFY(link_->Start(3, 2000));
        link_->RefreshCaptureDevices();
        link_->Search();
        // Searches as the status page repeats them, until the whole fleet
        // has answered with its information.
        const auto until = std::chrono::steady_clock::now() + 90s;
        int searched = 0;
        while (Query("", 0, true, 1, 1).pageCount < kFleet &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(500ms);
            if (++searched % 6 == 0) link_->Search();
        }
        QCOMPARE(Query("", 0, true, 1, 1).onlineCount, kFleet);
        // From here on the store holds still: heartbeats would move the
        // uptimes between a page's refresh and the comparison's own query.
        link_->PauseProcessors(true);
        core_.context.deviceSource = std::make_shared<StoreDeviceSource>(store_, link_);
    }

    void cleanupTestCase() {
        core_.context.deviceSource = nullptr;
        core_.Close();
    }

    // Every page of the first fill (IP, descending), through the strip.
    void pagingShowsEachPageOfTheStore() {
        auto page = MakePage<CRebootDlg>();
        page->PageSizeBox()->setCurrentIndex(3);  // 100 rows
        QCOMPARE(page->Strip()->PageCount(), 20);
        QCOMPARE(page->CountLabel()->text(), QStringLiteral("Online device count:2000"));
        for (int p = 1; p <= 20; ++p) {
            page->GoToPage(p);
            QCOMPARE(page->State().currentPage, p);
            CompareWithStore(*page, "", 1, false, p);
        }
        // The whole fleet went by exactly once, each device at its own
        // address as the simulator has it.
        page->PageSizeBox()->setCurrentIndex(0);  // 15 rows: 134 pages
        QCOMPARE(page->Strip()->PageCount(), 134);
        QCOMPARE(page->Strip()->ButtonTexts(),
                 (QStringList{"1", "2", "3", "4", "5", "...", "134"}));
        page->GoToPage(134);
        CompareWithStore(*page, "", 1, false, 134);
        const QStringList ips = GridColumn(page->Grid(), 4);
        const QStringList macs = GridColumn(page->Grid(), 5);
        QCOMPARE(ips.size(), 5);  // 2000 = 133 x 15 + 5
        for (int i = 0; i < ips.size(); ++i) {
            const labkit::SimDevice* d = core_.dump->ByMac(macs[i].toStdString());
            QVERIFY(d);
            QCOMPARE(ips[i], QString::fromStdString(d->ip));
        }
    }

    // Each sortable heading of each page, both directions, first and a
    // middle page.
    void sortingByEachHeadingGivesTheStoreOrder() {
        for (auto& page : AllPages()) {
            const ListDescriptor& list = page->Descriptor();
            page->PageSizeBox()->setCurrentIndex(2);  // 50 rows
            for (int c = 0; c < list.ColumnCount(); ++c) {
                if (!IsSortableColumn(list, c)) continue;
                const std::string heading = list.columns[static_cast<size_t>(c)].heading;
                QVERIFY2(kKeyOfHeading.count(heading), heading.c_str());
                const int key = kKeyOfHeading.at(heading);
                for (int round = 0; round < 2; ++round) {
                    ClickHeading(page->Grid(), c);
                    const bool ascending = page->Grid()->SortMarkAscending();
                    QCOMPARE(page->State().currentPage, 1);
                    QCOMPARE(page->Grid()->SortMarkColumn(), c);
                    CompareWithStore(*page, "", key, ascending, 1);
                    page->GoToPage(17);
                    CompareWithStore(*page, "", key, ascending, 17);
                }
            }
            // Headings that do not sort leave the list as it is.
            const QStringList before = GridColumn(page->Grid(), list.ColumnOf(CellField::kMac));
            ClickHeading(page->Grid(), list.ColumnOf(CellField::kSerial));
            QCOMPARE(GridColumn(page->Grid(), list.ColumnOf(CellField::kMac)), before);
        }
    }

    // Filters by a name, a MAC and an address part, and no match.
    void filteringShowsTheMatchingDevices() {
        const labkit::SimDevice& one = core_.dump->devices[1234];
        auto page = MakePage<CManagementDlg>();
        CGridCtrl* grid = page->Grid();
        page->GoToPage(5);
        // A whole MAC: that one device, at the simulator's address.
        page->FilterBox()->setText(QString::fromStdString(one.mac));
        QCOMPARE(page->State().currentPage, 1);
        QCOMPARE(grid->GetRowCount(), 2);
        QCOMPARE(grid->GetItemText(1, 3), QString::fromStdString(one.ip));
        QCOMPARE(page->CountLabel()->text(), QStringLiteral("Online device count:1"));

        const QString macPart = QString::fromStdString(one.mac.substr(0, 13)).toUpper();
        for (const std::string& filter : {std::string("KX-Net-1"), std::string("198.18.3."),
                                          std::string("Station"), macPart.toStdString()}) {
            page->FilterBox()->setText(QString::fromStdString(filter));
            const int key = SortKeyForColumn(page->Descriptor(), page->State().sortColumn);
            const bool ascending = page->State().RefreshAscending();
            const StoreQuery all = Query(filter, key, ascending, kFleet, 1);
            QVERIFY2(!all.rows.empty(), filter.c_str());
            QVERIFY2(all.rows.size() < size_t(kFleet), filter.c_str());
            for (int p = 1; p <= page->Strip()->PageCount(); ++p) {
                page->GoToPage(p);
                CompareWithStore(*page, filter, key, ascending, p);
            }
        }
        page->FilterBox()->setText(QStringLiteral("no device has this"));
        QCOMPARE(grid->GetRowCount(), 1);
        QCOMPARE(page->Strip()->PageCount(), 0);
        QCOMPARE(page->CountLabel()->text(), QStringLiteral("Online device count:0"));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PagesLabTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pages_lab_test.moc"
