#include "tools/cli/upgrade_results.h"

#include <charconv>

#include "link/wire/device_status.h"
#include "store/field_texts.h"
#include "tools/cli/commands.h"

namespace kestrix::cli {

std::optional<uint16_t> ParseUpgradeType(const std::string& text) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size()) {
        for (uint16_t code : ModelCodes())
            if (code == value) return code;
        return std::nullopt;
    }
    for (uint16_t code : ModelCodes())
        if (ModelName(code) == text) return code;
    return std::nullopt;
}

Listing UpgradeListing(const std::vector<UpgradeRow>& rows) {
    Listing l;
    l.columns = {{"mac", "MAC"}, {"ip", "IP"}, {"version_before", ""}, {"version_after", ""},
                 {"result", ""}, {"ok", ""},   {"detail", "Result"}};
    l.tableHeadings = false;
    for (const UpgradeRow& r : rows) {
        l.rows.push_back({Cell::Text(r.result.mac), Cell::Text(r.result.ip),
                          Cell::Text(r.versionBefore), Cell::Text(r.versionAfter),
                          Cell::Text(OutcomeKey(r.result.outcome)),
                          Cell::Bool(OutcomeOk(r.result.outcome)), Cell::Text(r.result.detail)});
    }
    return l;
}

void SettleUpgradeRow(const UpgradeWatch& w, bool interrupted, const std::string& versionAfter,
                      UpgradeRow& row) {
    if (w.done) {
        row.versionAfter = versionAfter;
        row.result.outcome = Outcome::kUpgraded;
        row.result.detail = "upgraded: " + TerminalSafe(row.versionBefore) + " -> " +
                            TerminalSafe(row.versionAfter);
    } else if (w.failed) {
        row.result.outcome = Outcome::kUpgradeFailed;
        row.result.detail = "upgrade failed: the device reported " + StatusText(kStatusUpgradeFail);
    } else if (interrupted) {
        row.result.outcome = Outcome::kInterrupted;
        row.result.detail = "interrupted while upgrading";
    } else if (w.successAt != 0) {
        row.result.outcome = Outcome::kNoAnswer;
        row.result.detail = "reported success, but no search found it again";
    } else {
        row.result.outcome = Outcome::kNoAnswer;
        row.result.detail = w.lastStatus != 0 ? "last reported " + StatusText(w.lastStatus) +
                                                    ", then no final status"
                                              : "no upgrade status reported";
    }
}

int UpgradeExitCode(const std::vector<UpgradeRow>& rows, size_t* upgraded, size_t* counted) {
    size_t c = 0, u = 0;
    for (const UpgradeRow& r : rows) {
        if (!OutcomeCounts(r.result.outcome)) continue;
        ++c;
        u += r.result.outcome == Outcome::kUpgraded;
    }
    if (upgraded != nullptr) *upgraded = u;
    if (counted != nullptr) *counted = c;
    return c > 0 && u == c ? kExitOk : kExitFailed;
}

}  // namespace kestrix::cli
