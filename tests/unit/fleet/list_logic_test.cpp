// The device lists' pure logic: the per-page tables, what a heading click
// does, the page strip's numbering, the row texts, selection and CSV.

#include <map>
#include <set>

#include <gtest/gtest.h>

#include "controls/logic/page_strip.h"
#include "fleet/csv_export.h"
#include "fleet/list_descriptor.h"
#include "fleet/list_rows.h"
#include "fleet/list_state.h"
#include "fleet/page_ids.h"
#include "fleet/ticked_rows.h"
#include "store/field_texts.h"
#include "tests/support/device_records.h"

namespace kestrix::testing {
namespace {

constexpr ListPage kAllPages[] = {ListPage::kStatus, ListPage::kManagement, ListPage::kBridge,
                                  ListPage::kReboot, ListPage::kUpgrade,    ListPage::kRestore};

std::map<int, int> KeyMap(const ListDescriptor& d) {
    std::map<int, int> keys;
    for (int c = 0; c < d.ColumnCount(); ++c) {
        if (IsSortableColumn(d, c)) keys[c] = SortKeyForColumn(d, c);
    }
    return keys;
}

TEST(ListTables, HeadingClicksSortByTheKeysOfEachPage) {
    const std::map<ListPage, std::map<int, int>> expected = {
        {ListPage::kStatus,
         {{2, 2},
          {3, 3},
          {4, 1},
          {5, 0},
          {6, 4},
          {7, 5},
          {8, 6},
          {9, 9},
          {10, 10},
          {11, 11},
          {12, 12}}},
        {ListPage::kReboot, {{2, 2}, {3, 3}, {4, 1}, {5, 0}, {6, 4}, {7, 5}, {8, 6}, {9, 7}}},
        {ListPage::kRestore,
         {{2, 2}, {3, 3}, {4, 1}, {5, 0}, {6, 4}, {7, 5}, {8, 6}, {9, 7}, {10, 8}}},
        {ListPage::kBridge,
         {{1, 2}, {2, 3}, {3, 1}, {4, 0}, {5, 4}, {6, 5}, {7, 6}, {8, 7}, {9, 13}}},
        {ListPage::kManagement,
         {{1, 2}, {2, 3}, {3, 1}, {4, 0}, {5, 4}, {6, 5}, {7, 6}, {8, 7}, {9, 8}}},
        {ListPage::kUpgrade, {{2, 2}, {3, 3}, {4, 1}, {5, 0}, {6, 4}, {7, 5}, {8, 9}, {9, 13}}},
    };
    for (const auto& [page, keys] : expected) {
        const ListDescriptor& d = DescriptorFor(page);
        EXPECT_EQ(KeyMap(d), keys) << d.dialogId;
        // Outside the map (and outside the grid) a refresh sorts by IP.
        EXPECT_EQ(SortKeyForColumn(d, d.ColumnOf(CellField::kSerial)), kSortIp);
        EXPECT_EQ(SortKeyForColumn(d, d.ColumnCount()), kSortIp);
        EXPECT_EQ(SortKeyForColumn(d, -1), kSortIp);
    }
}

TEST(ListTables, TickColumnsFirstSortAndPages) {
    // Tick boxes where actions work on many devices; the first fill sorts by
    // the "IP" column.
    const std::map<ListPage, std::pair<bool, int>> tickAndIp = {
        {ListPage::kStatus, {true, 4}},  {ListPage::kReboot, {true, 4}},
        {ListPage::kRestore, {true, 4}}, {ListPage::kUpgrade, {true, 4}},
        {ListPage::kBridge, {false, 3}}, {ListPage::kManagement, {false, 3}},
    };
    for (const auto& [page, expected] : tickAndIp) {
        const ListDescriptor& d = DescriptorFor(page);
        EXPECT_EQ(d.hasTickColumn, expected.first);
        EXPECT_EQ(d.InitialSortColumn(), expected.second);
        EXPECT_EQ(d.columns[0].field == CellField::kTick, expected.first);
        EXPECT_EQ(DescriptorForDialog(d.dialogId), &d);
    }
    EXPECT_EQ(DescriptorFor(ListPage::kStatus).dialogId, kStatusPageId);
    EXPECT_EQ(DescriptorFor(ListPage::kRestore).dialogId, kRestorePageId);
    EXPECT_EQ(DescriptorForDialog(kSystemToolPageId), nullptr);
    // Only the status page lists announced-only devices.
    for (ListPage p : kAllPages) {
        EXPECT_EQ(DescriptorFor(p).appendsAnnounced, p == ListPage::kStatus);
    }
}

TEST(HeadingClick, OneDirectionToggleSharedByAllHeadings) {
    const ListDescriptor& d = DescriptorFor(ListPage::kStatus);
    ListState state(d);
    // The first fill: by IP, descending.
    EXPECT_EQ(state.sortColumn, 4);
    EXPECT_FALSE(state.RefreshAscending());

    HeadingAction ip = OnHeadingClick(state, d, 4);
    EXPECT_EQ(ip.kind, HeadingAction::Kind::kSort);
    EXPECT_EQ(ip.column, 4);
    EXPECT_TRUE(ip.ascending);
    // Refreshes after it keep the direction of the click.
    EXPECT_TRUE(state.RefreshAscending());

    HeadingAction mac = OnHeadingClick(state, d, 5);
    EXPECT_EQ(mac.column, 5);
    EXPECT_FALSE(mac.ascending);
    EXPECT_FALSE(state.RefreshAscending());
    EXPECT_TRUE(OnHeadingClick(state, d, 5).ascending);

    // Serial and Operate do nothing, and leave the toggle alone.
    const int toggle = state.sortToggle;
    EXPECT_EQ(OnHeadingClick(state, d, 1).kind, HeadingAction::Kind::kNothing);
    EXPECT_EQ(OnHeadingClick(state, d, 13).kind, HeadingAction::Kind::kNothing);
    EXPECT_EQ(state.sortToggle, toggle);
}

TEST(HeadingClick, TickHeadingFlipsSelectAllWithoutSorting) {
    const ListDescriptor& reboot = DescriptorFor(ListPage::kReboot);
    ListState state(reboot);
    HeadingAction a = OnHeadingClick(state, reboot, 0);
    EXPECT_EQ(a.kind, HeadingAction::Kind::kTickAll);
    EXPECT_TRUE(a.tick);
    EXPECT_EQ(state.allTicked, 1);
    EXPECT_FALSE(OnHeadingClick(state, reboot, 0).tick);
    EXPECT_EQ(state.allTicked, 0);
    EXPECT_EQ(state.sortToggle, 1);
    // The reboot page's Status heading does not sort; the restore page's
    // Power heading does, by transmit power.
    EXPECT_EQ(OnHeadingClick(state, reboot, 10).kind, HeadingAction::Kind::kNothing);
    const ListDescriptor& restore = DescriptorFor(ListPage::kRestore);
    EXPECT_EQ(SortKeyForColumn(restore, OnHeadingClick(state, restore, 10).column), kSortTxPower);

    // Without tick boxes column 0 is "Serial": nothing.
    const ListDescriptor& bridge = DescriptorFor(ListPage::kBridge);
    ListState b(bridge);
    EXPECT_EQ(OnHeadingClick(b, bridge, 0).kind, HeadingAction::Kind::kNothing);
    EXPECT_EQ(b.allTicked, 0);
    EXPECT_EQ(OnHeadingClick(b, bridge, 10).kind, HeadingAction::Kind::kNothing);
}

TEST(PageStrip, NumbersAsTheStripDrawsThem) {
    const int E = kStripEllipsis;
    EXPECT_TRUE(PageStripSlots(1, 0).empty());
    EXPECT_EQ(PageStripSlots(1, 1), (std::vector<int>{1}));
    EXPECT_EQ(PageStripSlots(3, 7), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(PageStripSlots(4, 8), (std::vector<int>{1, 2, 3, 4, 5, E, 8}));
    EXPECT_EQ(PageStripSlots(5, 8), (std::vector<int>{1, E, 4, 5, 6, 7, 8}));
    EXPECT_EQ(PageStripSlots(6, 8), (std::vector<int>{1, E, 4, 5, 6, 7, 8}));
    EXPECT_EQ(PageStripSlots(5, 9), (std::vector<int>{1, E, 4, 5, 6, E, 9}));
    EXPECT_EQ(PageStripSlots(6, 9), (std::vector<int>{1, E, 5, 6, 7, 8, 9}));
    EXPECT_EQ(PageStripSlots(1, 334), (std::vector<int>{1, 2, 3, 4, 5, E, 334}));
    EXPECT_EQ(PageStripSlots(200, 334), (std::vector<int>{1, E, 199, 200, 201, E, 334}));
    EXPECT_EQ(PageStripSlots(334, 334), (std::vector<int>{1, E, 330, 331, 332, 333, 334}));
    for (int count = 0; count < 40; ++count) {
        for (int current = 1; current <= count; ++current) {
            const std::vector<int> slots = PageStripSlots(current, count);
            EXPECT_LE(slots.size(), 7u);
            // The current page, the first and the last are always there.
            EXPECT_NE(std::find(slots.begin(), slots.end(), current), slots.end());
            EXPECT_EQ(slots.front(), 1);
            EXPECT_EQ(slots.back(), count);
        }
    }
    EXPECT_EQ(StripCurrentPage(5, 3), 1);
    EXPECT_EQ(StripCurrentPage(1, 0), 1);
    EXPECT_EQ(StripCurrentPage(3, 3), 3);
}

TEST(ListRows, CellsOfAStoredDevice) {
    DeviceFields f = NthDevice(3);
    f.ip = "192.168.10.200";
    f.mac = "00:1a:2b:3c:4d:5e";
    f.type = 6;
    f.workMode = 1;
    f.channel = 0;
    f.secureMode = 3;
    f.txPower = 27;
    f.bridgeTransparent = 1;
    f.pxsync = 0;
    f.upTime = 90061;
    f.status = 4;
    const ap_info_stu record = MakeDevice(f);

    const ListRow status = BuildListRow(DescriptorFor(ListPage::kStatus), record, 61);
    ASSERT_EQ(status.cells.size(), 14u);
    EXPECT_EQ(status.status, 4u);
    EXPECT_EQ(status.cells[0].text, "");
    EXPECT_EQ(status.cells[1].text, "61");
    EXPECT_EQ(status.cells[2].text, "dev3");
    EXPECT_EQ(status.cells[3].text, ModelName(6));
    EXPECT_EQ(status.cells[4].text, "192.168.10.200");
    EXPECT_EQ(status.cells[5].text, "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(status.cells[6].text, WorkModeText(1));
    EXPECT_EQ(status.cells[7].text, "net3");
    EXPECT_EQ(status.cells[8].text, ChannelText(0));
    EXPECT_EQ(status.cells[9].text, "V1.0.0");
    EXPECT_EQ(status.cells[10].text, BridgeTransparentText(6, 1, 1));
    EXPECT_EQ(status.cells[11].text, TdmaEnText(6, 0));
    EXPECT_EQ(status.cells[12].text, "1 1:1:1");
    EXPECT_TRUE(status.cells[13].operateImage);
    for (const ListCell& c : status.cells) EXPECT_EQ(c.colour, CellColour::kText);

    const ListRow restore = BuildListRow(DescriptorFor(ListPage::kRestore), record, 1);
    EXPECT_EQ(restore.cells[9].text, SecureModeText(3));
    EXPECT_EQ(restore.cells[10].text, "27");
    EXPECT_EQ(restore.cells[11].text, StatusText(4));
    EXPECT_EQ(restore.cells[11].colour, CellColour::kOnline);
    EXPECT_EQ(restore.cells[10].colour, CellColour::kText);
}

TEST(ListRows, StatusCellColouredOnlyWhenNotOffline) {
    DeviceFields f = NthDevice(1);
    for (const ListPage page : {ListPage::kBridge, ListPage::kReboot, ListPage::kUpgrade}) {
        const ListDescriptor& d = DescriptorFor(page);
        const int statusColumn = d.ColumnOf(CellField::kStatus);
        f.status = 0;
        const ListRow offline = BuildListRow(d, MakeDevice(f), 1);
        EXPECT_EQ(offline.cells[static_cast<size_t>(statusColumn)].colour, CellColour::kText);
        EXPECT_EQ(offline.cells[static_cast<size_t>(statusColumn)].text, StatusText(0));
        f.status = 9;
        const ListRow failed = BuildListRow(d, MakeDevice(f), 1);
        EXPECT_EQ(failed.cells[static_cast<size_t>(statusColumn)].colour, CellColour::kOnline);
    }
}

TEST(ListRows, AnnouncedOnlyDevicesShowWhatTheyAnnounced) {
    const ListDescriptor& d = DescriptorFor(ListPage::kStatus);
    DeviceFields f = NthDevice(9);
    f.status = kStatusAnnouncedOnly;
    f.ssid = "";
    f.upTime = 3725;
    const ListRow bare = BuildListRow(d, MakeDevice(f), 29);
    const std::set<int> shown = {1, 3, 4, 5, 9};  // Serial, Type, IP, MAC, Version
    for (int c = 1; c < 14; ++c) {
        const ListCell& cell = bare.cells[static_cast<size_t>(c)];
        EXPECT_EQ(cell.colour, CellColour::kPending) << c;
        EXPECT_EQ(!cell.text.empty(), shown.count(c) == 1) << c << " " << cell.text;
    }
    EXPECT_FALSE(bare.cells[13].operateImage);

    f.ssid = "yard";
    const ListRow full = BuildListRow(d, MakeDevice(f), 30);
    EXPECT_EQ(full.cells[2].text, "dev9");
    EXPECT_EQ(full.cells[7].text, "yard");
    EXPECT_EQ(full.cells[12].text, "1:2:5");
    EXPECT_FALSE(full.cells[13].operateImage);
}

TEST(ListRows, SerialNumbersRunAcrossPages) {
    EXPECT_EQ(SerialNumber(0, 30, 1), 1);
    EXPECT_EQ(SerialNumber(29, 30, 1), 30);
    EXPECT_EQ(SerialNumber(0, 30, 3), 61);
    EXPECT_EQ(SerialNumber(4, 15, 2), 20);
}

TEST(Selection, TickedRowsWithTheirTypeCodes) {
    std::vector<TickedRow> rows(4);
    rows[0] = {true, "10.0.0.1", "02:00:00:00:00:01", ModelName(17), "N/A", "N/A"};
    rows[1] = {false, "10.0.0.2", "02:00:00:00:00:02", ModelName(6), "Off", "On"};
    rows[2] = {true, "10.0.0.3", "02:00:00:00:00:03", ModelName(270), "On", "N/A"};
    rows[3] = {true, "10.0.0.4", "02:00:00:00:00:04", "no such model", "Off", "Off"};

    const auto all = CollectSelection(rows, SelectionFilter::kEveryTicked);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], (SelectedDevice{"10.0.0.1", "02:00:00:00:00:01", 17}));
    EXPECT_EQ(all[1].type, 270);
    EXPECT_EQ(all[2].type, 1);  // unknown names give the first model

    const auto bridge = CollectSelection(rows, SelectionFilter::kTransparentBridge);
    ASSERT_EQ(bridge.size(), 2u);
    EXPECT_EQ(bridge[0].mac, "02:00:00:00:00:03");
    const auto pxsync = CollectSelection(rows, SelectionFilter::kPxsync);
    ASSERT_EQ(pxsync.size(), 1u);
    EXPECT_EQ(pxsync[0].mac, "02:00:00:00:00:04");

    rows.resize(1);
    EXPECT_TRUE(CollectSelection(rows, SelectionFilter::kPxsync).empty());
    EXPECT_TRUE(CollectSelection({}, SelectionFilter::kEveryTicked).empty());
}

TEST(Csv, FieldsAreQuotedAndFormulasDisarmed) {
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("=1+1"), "'=1+1");
    EXPECT_EQ(CsvField("@cmd"), "'@cmd");
    EXPECT_EQ(CsvField("-2,3"), "\"'-2,3\"");
    EXPECT_EQ(CsvField("\xe5\x8c\x97\xe9\x97\xa8"), "\xe5\x8c\x97\xe9\x97\xa8");
    EXPECT_EQ(CsvLine({"a", "b,c", ""}), "a,\"b,c\",\r\n");
}

TEST(Csv, ListColumnsWithTheirTextsInOrder) {
    const ListDescriptor& status = DescriptorFor(ListPage::kStatus);
    EXPECT_EQ(ExportColumns(status), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(ExportColumns(DescriptorFor(ListPage::kManagement)).size(), 10u);

    DeviceFields a = NthDevice(1);
    a.name = "north, gate";
    DeviceFields b = NthDevice(2);
    const std::string csv =
        BuildCsv(DescriptorFor(ListPage::kReboot), {MakeDevice(a), MakeDevice(b)});
    const std::string header =
        "Serial,Location,Type,IP,MAC,OperationMode,SSID,Channel,SecureMode,Status\r\n";
    ASSERT_EQ(csv.substr(0, header.size()), header);
    const std::string first = "1,\"north, gate\"," + ModelName(5) + ",10.0.0.2,02:00:00:00:00:01,";
    EXPECT_EQ(csv.substr(header.size(), first.size()), first);
    EXPECT_NE(csv.find("\r\n2,dev2,"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
}

}  // namespace
}  // namespace kestrix::testing
