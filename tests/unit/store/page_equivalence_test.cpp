// The page query reaches its results by aggregate and LIMIT; a plain
// walk over every row (the reference) must give the very same outputs for
// any filter, sort, page size and page number, hostile filters included.

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/reference_page.h"
#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

using testing::MacOf;
using testing::RandomRecord;
using testing::RawDb;
using testing::ReferencePager;
using testing::ScratchStore;

// Names drawn from a small alphabet so that filters hit often, with the
// characters SQL treats specially among them.
const char* const kNameParts[] = {
    "Roof", "mast", "6", "a'b", "50%", "x_y", "c\\d", ";", "--", "\"q\"", "\xF0\x9F\x93\xA1",
    "EAST", "west", "16"};

class PageEquivalence : public ::testing::Test {
protected:
    void SetUp() override {
        for (uint32_t n = 0; n < 300; ++n) {
            ap_info_stu r = RandomRecord(rng, MacOf(n * 2654435761u));
            std::string name;
            for (int k = rng() % 3; k >= 0; --k) name += kNameParts[rng() % std::size(kNameParts)];
            WriteFixedText(r.data() + 54, 32, r.data() + 86, name);
            for (size_t o : {24, 130, 132, 188, 766, 767}) r.data()[o] %= 8;  // ties and real texts
            r.data()[36] %= 4;                                                // repeated addresses
            r.set_ap_type(static_cast<uint16_t>(rng() % 20));
            ASSERT_TRUE(s->SaveDeviceInfo(r));
            if (rng() % 3 == 0) {
                ASSERT_TRUE(s->SetDeviceStatus(r.mac(), rng() % 10));
            }
        }
        reference = std::make_unique<ReferencePager>(s.path);
    }

    // Both implementations from the same starting outputs; every output equal.
    void Compare(const std::string& filter, int sort, bool asc, int size, int page) {
        SCOPED_TRACE("filter '" + filter + "' sort " + std::to_string(sort) +
                     (asc ? " asc" : " desc") + " size " + std::to_string(size) + " page " +
                     std::to_string(page));
        std::vector<ap_info_stu> got(1), want(1);
        got[0].set_mac("sentinel");
        want[0].set_mac("sentinel");
        int gotPages = -3, wantPages = -3, gotOnline = 2, wantOnline = 2;
        const bool ok = s->QueryDevicePage(filter, sort, asc, size, page, got, gotPages, gotOnline);
        ASSERT_EQ(ok, reference->QueryDevicePage(filter, sort, asc, size, page, want, wantPages,
                                                 wantOnline));
        ASSERT_EQ(gotPages, wantPages);
        ASSERT_EQ(gotOnline, wantOnline);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i]) << "row " << i;
        if (ok) ++answered;
    }

    std::mt19937 rng{2024};
    ScratchStore s;
    std::unique_ptr<ReferencePager> reference;
    int answered = 0;
};

TEST_F(PageEquivalence, RandomQueries) {
    const std::vector<std::string> filters = {"",   "6",   "ROOF", "a",   "0",       ":", ".",
                                              "on", "KST", "1 ",   "zzz", "Outline", "%", "_"};
    const int sizes[] = {-1, 0, 1, 7, 15, 30, 50, 100, 1000};
    for (int q = 0; q < 400; ++q) {
        std::string filter = filters[rng() % filters.size()];
        if (rng() % 4 == 0) filter = kNameParts[rng() % std::size(kNameParts)];
        Compare(filter, static_cast<int>(rng() % 17) - 1, rng() % 2 == 0,
                sizes[rng() % std::size(sizes)], static_cast<int>(rng() % 14) - 1);
    }
    EXPECT_GT(answered, 200);  // most queries were real ones, not early refusals
}

TEST_F(PageEquivalence, HostileFiltersAreOnlyText) {
    const std::string before = RawDb(s.path).One(
        "select count(*) || '/' || total(ip_num) || '/' || group_concat(ap_name) from ap_info");
    const std::vector<std::string> filters = {"'",
                                              "\"",
                                              "%",
                                              "_",
                                              "\\",
                                              ";",
                                              "--",
                                              "a'b",
                                              "50%",
                                              "x_y",
                                              "c\\d",
                                              "\xF0\x9F\x93\xA1",
                                              "%%",
                                              "__",
                                              "' or '1'='1",
                                              "'; delete from ap_info; --",
                                              "\") or 1=1 --",
                                              std::string(300, '%')};
    for (const std::string& filter : filters) {
        for (int page : {1, 2}) Compare(filter, 2, true, 15, page);
    }
    EXPECT_EQ(
        RawDb(s.path).One(
            "select count(*) || '/' || total(ip_num) || '/' || group_concat(ap_name) from ap_info"),
        before);
    std::vector<ap_info_stu> list;
    int pages = 0, online = 0;
    ASSERT_TRUE(s->QueryDevicePage("%", 0, true, 1000, 1, list, pages, online));
    EXPECT_FALSE(list.empty());
    EXPECT_LT(list.size(), 300u);  // only names holding a '%', not every row
}

}  // namespace
}  // namespace kestrix
