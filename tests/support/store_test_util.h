#pragma once
// Shared pieces of the store tests: a scratch store in a temporary folder,
// a second plain connection to look at the file behind the store's back,
// and device records filled with random bytes.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "link/wire/addr_text.h"
#include "link/wire/wire_format.h"
#include "store/sql_management.h"
#include "tests/support/temp_files.h"

namespace kestrix::testing {

// A plain connection to a copy of a database file, taken when it is made:
// the store keeps its own file locked while it is open. Used for the checks
// the store cannot make about itself (catalogue, raw column values).
class RawDb {
public:
    explicit RawDb(const std::string& path)
        : copy_(path + ".inspect" + std::to_string(counter_++)) {
        std::filesystem::copy_file(path, copy_, std::filesystem::copy_options::overwrite_existing);
        sqlite3_open_v2(copy_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    }
    ~RawDb() {
        sqlite3_close_v2(db_);
        std::error_code ec;
        std::filesystem::remove(copy_, ec);
    }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    // Every row of a query, each cell as text ("" for NULL).
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) return out;
        while (sqlite3_step(s) == SQLITE_ROW) {
            auto& row = out.emplace_back();
            for (int i = 0; i < sqlite3_column_count(s); ++i) {
                const auto* t = sqlite3_column_text(s, i);
                row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
            }
        }
        sqlite3_finalize(s);
        return out;
    }
    std::string One(const std::string& sql) {
        auto rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
    }

private:
    static inline std::atomic<int> counter_{0};
    std::string copy_;
    sqlite3* db_ = nullptr;
};

inline std::string MacOf(uint32_t n) {
    const uint8_t b[6] = {0x00,
                          0x1a,
                          static_cast<uint8_t>(n >> 24),
                          static_cast<uint8_t>(n >> 16),
                          static_cast<uint8_t>(n >> 8),
                          static_cast<uint8_t>(n)};
    return MacBytesToText(b);
}

// The text areas of the record: offset and size (the length byte follows).
struct TextArea {
    size_t offset;
    size_t cap;
};
inline constexpr TextArea kTextAreas[] = {{54, 32},  {87, 32},  {155, 32}, {190, 64}, {262, 26},
                                          {290, 26}, {318, 26}, {346, 26}, {381, 64}, {460, 32}};

// Every byte random, the MAC text set, and each text area holding letters
// and digits with a length byte anywhere from 0 to 20 above its area.
inline ap_info_stu RandomRecord(std::mt19937& rng, const std::string& mac) {
    ap_info_stu r;
    for (size_t i = 0; i < r.size(); ++i) r.data()[i] = static_cast<uint8_t>(rng());
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (const TextArea& a : kTextAreas) {
        for (size_t i = 0; i < a.cap; ++i) r.data()[a.offset + i] = kChars[rng() % 62];
        r.data()[a.offset + a.cap] = static_cast<uint8_t>(rng() % (a.cap + 21));
    }
    r.set_mac(mac);
    return r;
}

// A store on a scratch file in its own temporary folder.
struct ScratchStore {
    TempDir dir;
    std::string path = dir.File("data.mdb");
    std::unique_ptr<CSqlManagement> store = std::make_unique<CSqlManagement>(path);
    CSqlManagement& operator*() { return *store; }
    CSqlManagement* operator->() { return store.get(); }
};

}  // namespace kestrix::testing
