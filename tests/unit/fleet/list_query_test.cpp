// Loading a list page: the store's page for the column's key, and on the
// status page the announced-only devices after the stored rows of the last
// page. Runs against a real scratch store.

#include "fleet/list_query.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "store/field_texts.h"
#include "tests/support/device_records.h"

namespace kestrix::testing {
namespace {

std::vector<std::string> Macs(const std::vector<ap_info_stu>& rows) {
    std::vector<std::string> macs;
    for (const auto& r : rows) macs.push_back(r.mac());
    return macs;
}

class ListQueryTest : public ::testing::Test {
protected:
    void Fill(int stored, int announced) {
        for (int i = 0; i < stored; ++i) ASSERT_TRUE(scratch_.Add(NthDevice(i)));
        for (int i = 0; i < announced; ++i) {
            DeviceFields f = NthDevice(1000 + i);
            f.status = kStatusAnnouncedOnly;
            source_.announced.push_back(MakeDevice(f));
        }
    }
    ScratchStore scratch_;
    FleetSource source_{scratch_.Store()};
    const ListDescriptor& status_ = DescriptorFor(ListPage::kStatus);
};

TEST_F(ListQueryTest, AnnouncedOnlyDevicesFillTheLastPage) {
    Fill(28, 5);
    ListPageResult r = LoadListPage(source_, status_, {1, true, 4, "", 30});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.storedRows, 28);
    ASSERT_EQ(r.rows.size(), 30u);
    EXPECT_EQ(r.pageCount, 1);
    EXPECT_EQ(r.onlineCount, 28);
    EXPECT_EQ(source_.lastLimit, 2);
    EXPECT_EQ(r.rows[28].mac(), source_.announced[0].mac());
    EXPECT_EQ(r.rows[29].mac(), source_.announced[1].mac());
    EXPECT_EQ(r.rows[27].ap_status(), 1u);
}

TEST_F(ListQueryTest, AnnouncedOnlyDevicesOnlyOnTheLastPage) {
    Fill(40, 5);
    // Page 1 of 2 is full and not the last: nothing is asked of the link.
    ListPageResult first = LoadListPage(source_, status_, {1, true, 4, "", 30});
    EXPECT_EQ(first.rows.size(), 30u);
    EXPECT_EQ(source_.announcedCalls, 0);
    ListPageResult last = LoadListPage(source_, status_, {2, true, 4, "10.0.", 30});
    EXPECT_EQ(last.storedRows, 10);
    EXPECT_EQ(last.rows.size(), 15u);
    EXPECT_EQ(source_.lastLimit, 20);
    EXPECT_EQ(source_.lastFilter, "10.0.");
    // A page past the end is not the last page.
    source_.announcedCalls = 0;
    ListPageResult beyond = LoadListPage(source_, status_, {3, true, 4, "", 30});
    EXPECT_TRUE(beyond.rows.empty());
    EXPECT_EQ(beyond.pageCount, 2);
    EXPECT_EQ(source_.announcedCalls, 0);
    // Other lists never ask.
    LoadListPage(source_, DescriptorFor(ListPage::kReboot), {2, true, 4, "", 30});
    EXPECT_EQ(source_.announcedCalls, 0);
}

TEST_F(ListQueryTest, NoStoredDevicesStillListsTheAnnounced) {
    Fill(0, 3);
    ListPageResult r = LoadListPage(source_, status_, {1, false, 4, "", 15});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.pageCount, 0);
    EXPECT_EQ(r.onlineCount, 0);
    EXPECT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(source_.lastLimit, 15);
}

TEST_F(ListQueryTest, ColumnSortsByItsKeyAndPagesFollowEachOther) {
    Fill(45, 0);
    const ListDescriptor& reboot = DescriptorFor(ListPage::kReboot);
    // MAC column (5) ascending over three pages of 15: every device once,
    // in MAC order.
    std::vector<std::string> seen;
    for (int page = 1; page <= 3; ++page) {
        ListPageResult r = LoadListPage(source_, reboot, {page, true, 5, "", 15});
        EXPECT_EQ(source_.lastKey, kSortMac);
        EXPECT_EQ(r.pageCount, 3);
        const auto macs = Macs(r.rows);
        seen.insert(seen.end(), macs.begin(), macs.end());
    }
    ASSERT_EQ(seen.size(), 45u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    // The Serial column is outside the map: IP order, here descending.
    ListPageResult byIp = LoadListPage(source_, reboot, {1, false, 1, "", 100});
    EXPECT_EQ(source_.lastKey, kSortIp);
    EXPECT_EQ(byIp.rows.front().mac(), NthDevice(44).mac);
    EXPECT_EQ(byIp.rows.back().mac(), NthDevice(0).mac);
}

// The announced part of a filtered page: the link examines as many announced
// entries as the page has room for and keeps those that match, so matches
// further down its list do not show (their search comes round again).
TEST_F(ListQueryTest, AnnouncedFilterExaminesOnlyAsManyAsThePageHasRoomFor) {
    for (int i = 0; i < 28; ++i) {
        DeviceFields f = NthDevice(i);
        f.ip = "10.9.0." + std::to_string(10 + i);
        ASSERT_TRUE(scratch_.Add(f));
    }
    const char* announcedIps[] = {"172.16.0.1", "172.16.0.2", "10.9.1.1", "10.9.1.2"};
    for (int i = 0; i < 4; ++i) {
        DeviceFields f = NthDevice(1000 + i);
        f.ip = announcedIps[i];
        f.status = kStatusAnnouncedOnly;
        source_.announced.push_back(MakeDevice(f));
    }
    ListPageResult r = LoadListPage(source_, status_, {1, true, 4, "10.9.", 30});
    EXPECT_EQ(source_.lastLimit, 2);
    EXPECT_EQ(r.storedRows, 28);
    EXPECT_EQ(r.rows.size(), 28u);

    // Room for four: the two matching entries are among those examined.
    r = LoadListPage(source_, status_, {1, true, 4, "10.9.", 32});
    ASSERT_EQ(r.rows.size(), 30u);
    EXPECT_EQ(r.rows[28].mac(), source_.announced[2].mac());
    EXPECT_EQ(r.rows[29].mac(), source_.announced[3].mac());
}

TEST_F(ListQueryTest, FilterAndAllRows) {
    Fill(45, 4);
    // "dev1" matches dev1, dev10..dev19: 11 devices.
    ListPageResult r =
        LoadListPage(source_, DescriptorFor(ListPage::kManagement), {1, true, 1, "dev1", 30});
    EXPECT_EQ(r.rows.size(), 11u);
    EXPECT_EQ(r.onlineCount, 11);

    ListPageResult all = LoadAllRows(source_, status_, {3, true, 4, "", 15});
    EXPECT_EQ(all.storedRows, 45);
    EXPECT_EQ(all.rows.size(), 49u);
    EXPECT_EQ(all.rows.front().mac(), NthDevice(0).mac);
    EXPECT_EQ(all.rows[44].mac(), NthDevice(44).mac);
}

// A store that cannot answer gives an empty list, not a stale one.
class BrokenSource : public DeviceListSource {
public:
    bool QueryDevicePage(const std::string&, int, bool, int, int, std::vector<ap_info_stu>& rows,
                         int& pageCount, int& onlineCount) override {
        rows.push_back(ap_info_stu());
        pageCount = 7;
        onlineCount = 3;
        return false;
    }
    void ListAnnounced(std::vector<ap_info_stu>& out, const std::string&, int limit) override {
        out.assign(static_cast<size_t>(limit) + 5, ap_info_stu());
    }
};

TEST(ListQuery, FailedQueryGivesNothingAndPagesNeverOverfill) {
    BrokenSource broken;
    ListPageResult r = LoadListPage(broken, DescriptorFor(ListPage::kStatus), {1, true, 4, "", 15});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.pageCount, 0);
    EXPECT_EQ(r.onlineCount, 0);
    EXPECT_EQ(r.storedRows, 0);
    // The announced part is cut to what the page has room for.
    EXPECT_EQ(r.rows.size(), 15u);

    StoreDeviceSource nothing(nullptr, nullptr);
    ListPageResult none =
        LoadListPage(nothing, DescriptorFor(ListPage::kStatus), {1, true, 4, "", 30});
    EXPECT_FALSE(none.ok);
    EXPECT_TRUE(none.rows.empty());
}

TEST(ListQuery, AnnouncedLimit) {
    EXPECT_EQ(AnnouncedLimit(28, 30, 1, 1), 2);
    EXPECT_EQ(AnnouncedLimit(30, 30, 1, 1), 0);
    EXPECT_EQ(AnnouncedLimit(0, 30, 1, 0), 30);
    EXPECT_EQ(AnnouncedLimit(10, 30, 1, 2), 0);
    EXPECT_EQ(AnnouncedLimit(10, 30, 2, 2), 20);
}

}  // namespace
}  // namespace kestrix::testing
