#include "tools/cli/upgrade_command.h"

#include <charconv>
#include <cstdlib>
#include <map>
#include <stop_token>

#include "base/language.h"
#include "base/os_utils.h"
#include "fleet/selection.h"
#include "fleet/upgrade_plan.h"
#include "fleet/upgrade_run.h"
#include "link/wire/device_status.h"
#include "store/field_texts.h"

namespace kestrix::cli {

namespace {

constexpr int64_t kPollMs = 50;
constexpr int64_t kTickMs = 1000;

// The service folder: the program folder's, or KESTRIX_CLI_SERVICE_DIR (the
// lab tests' stand-in server).
std::string ServiceDir(const RunSettings& settings) {
    if (const char* dir = std::getenv("KESTRIX_CLI_SERVICE_DIR"); dir != nullptr && *dir) {
        std::string d = dir;
        if (d.back() != '/') d += '/';
        return d;
    }
    return settings.programDir + "service/";
}

// --type as a type code or a model name; nothing when it is neither.
std::optional<uint16_t> ParseType(const std::string& text) {
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

struct Row {
    ActionResult result;
    std::string versionBefore, versionAfter;
};

struct Watch {
    SelectedDevice device;
    size_t row = 0;
    uint64_t successAt = 0;  // store write of the reported success
    bool failed = false;
    bool done = false;
    uint32_t lastStatus = 0;
};

Listing UpgradeListing(const std::vector<Row>& rows) {
    Listing l;
    l.columns = {{"mac", "MAC"}, {"ip", "IP"}, {"version_before", ""}, {"version_after", ""},
                 {"result", ""}, {"ok", ""},   {"detail", "Result"}};
    l.tableHeadings = false;
    for (const Row& r : rows) {
        l.rows.push_back({Cell::Text(r.result.mac), Cell::Text(r.result.ip),
                          Cell::Text(r.versionBefore), Cell::Text(r.versionAfter),
                          Cell::Text(OutcomeKey(r.result.outcome)),
                          Cell::Bool(OutcomeOk(r.result.outcome)), Cell::Text(r.result.detail)});
    }
    return l;
}

}  // namespace

int RunUpgrade(const CliOptions& o) {
    if (const RuleResult r = CheckUpgradePath(o.upgradeFile); !r) {
        CliMessage(r.message);
        return kExitInvalid;
    }
    std::optional<uint16_t> wantedType;
    if (!o.upgradeType.empty()) {
        wantedType = ParseType(o.upgradeType);
        if (!wantedType) {
            CliMessage("--type takes a model name or a type code; '" + o.upgradeType +
                       "' is neither.");
            return kExitInvalid;
        }
    }

    Session session(LoadRunSettings(o.adapter));
    int exit = kExitFailed;
    std::vector<ActionResult> failures;
    auto devices = PrepareTargets(session, o, exit, failures);
    if (!devices) return exit;
    if (const RuleResult r = CheckUpgradeTargetCount(devices->size()); !r) {
        CliMessage(r.message + " (" + std::to_string(devices->size()) +
                   " are chosen; nothing was sent)");
        return kExitInvalid;
    }
    const uint16_t type = wantedType.value_or(devices->front().ap_type());

    std::vector<Row> rows;
    std::vector<SelectedDevice> targets;
    std::vector<ap_info_stu> chosen;
    for (const ap_info_stu& r : *devices) {
        Row row;
        row.result = {r.mac(), IpBytesToText(r.info().address().ip()), "", Outcome::kNoAnswer, ""};
        row.versionBefore = r.info().version();
        if (r.ap_type() != type) {
            row.result.outcome = Outcome::kSkipped;
            row.result.detail = "skipped: " + ModelName(r.ap_type()) + ", not " + ModelName(type);
        } else {
            targets.push_back(SelectedFromRecord(r));
            chosen.push_back(r);
        }
        rows.push_back(std::move(row));
    }
    auto finish = [&]() {
        for (const ActionResult& f : failures) rows.push_back({f, "", ""});
        PrintListing(UpgradeListing(rows), o.format);
        size_t counted = 0, upgraded = 0;
        for (const Row& r : rows) {
            if (!OutcomeCounts(r.result.outcome)) continue;
            ++counted;
            upgraded += r.result.outcome == Outcome::kUpgraded;
        }
        CliMessage(std::to_string(upgraded) + " of " + std::to_string(counted) +
                   (counted == 1 ? " device" : " devices") + " upgraded.");
        return counted > 0 && upgraded == counted ? kExitOk : kExitFailed;
    };
    if (targets.empty()) {
        CliMessage("No chosen device is a " + ModelName(type) + ".");
        return finish();
    }
    if (!o.yes && !ConfirmOnTerminal(TranslateText("Are you sure you want to upgrade?"), chosen)) {
        for (Row& r : rows) {
            if (r.result.outcome == Outcome::kSkipped) continue;
            r.result.outcome = Outcome::kCancelled;
            r.result.detail = "cancelled: nothing was sent";
        }
        return finish();
    }

    const UpgradeFile file = InspectUpgradeFile(o.upgradeFile);
    if (!file.opened) CliMessage(file.path + " cannot be read: it is announced with size 0.");
    AppUpgradeLink link(&session.Link(), &session.Store());
    ProcessFileServer server(ServiceDir(session.Settings()));
    UpgradeRun run(link, server);
    ObservingStore& observer = session.Observer();

    std::vector<Watch> watch;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].result.outcome == Outcome::kSkipped) continue;
        watch.push_back({SelectedDevice{rows[i].result.ip, rows[i].result.mac, type}, i});
    }
    const uint64_t startMark = observer.Mark();
    run.Start(targets, type, MakeUpgradeRequest(file), file.folder);
    if (!run.ServerStarted())
        CliMessage("the file server " + server.ProgramPath() + " could not be started.");

    // The dialog's worker: the wait for the server, cut short by Ctrl+C.
    std::stop_source stopper;
    const auto pause = [&](std::chrono::milliseconds ms, std::stop_token) {
        if (!Session::Pause(ms.count())) stopper.request_stop();
    };
    WaitForFileServer(server, stopper.get_token(), {}, pause);
    if (!StopRequested()) run.SendFirstGroup();

    const int64_t interval = session.Settings().searchIntervalMs;
    int64_t nextTick = NowMs() + kTickMs;
    int64_t nextSearch = -1;
    auto allFinal = [&] {
        for (const Watch& w : watch)
            if (!w.done && !w.failed) return false;
        return true;
    };
    while (!StopRequested() && !run.CloseRequested() && !allFinal()) {
        const int64_t now = NowMs();
        if (now >= nextTick) {
            run.TickGroup();
            run.TickTransfer();
            run.TickRebooting();
            nextTick += kTickMs;
        }
        for (Watch& w : watch) {
            if (w.done || w.failed) continue;
            const auto status = observer.LastStatus(w.device.mac);
            if (status && status->at > startMark) {
                w.lastStatus = status->status;
                if (status->status == kStatusUpgradeFail) w.failed = true;
                if (status->status == kStatusUpgradeSuccess && w.successAt == 0) {
                    w.successAt = status->at;
                    if (nextSearch < 0) nextSearch = now + interval;
                }
            }
            // Back from its reboot: information newer than the success.
            if (w.successAt != 0 && observer.LastInfo(w.device.mac) > w.successAt) w.done = true;
        }
        // After the first success the devices are looked for every step,
        // within the rebooting phase's limit.
        if (nextSearch >= 0 && now >= nextSearch && !allFinal()) {
            session.Link().Search();
            nextSearch = now + interval;
        }
        Session::Pause(kPollMs);
    }
    run.Stop();

    for (const Watch& w : watch) {
        Row& row = rows[w.row];
        if (w.done) {
            ap_info_stu record;
            session.Store().GetDeviceByMac(w.device.mac, record);
            row.versionAfter = record.info().version();
            row.result.outcome = Outcome::kUpgraded;
            row.result.detail = "upgraded: " + TerminalSafe(row.versionBefore) + " -> " +
                                TerminalSafe(row.versionAfter);
        } else if (w.failed) {
            row.result.outcome = Outcome::kUpgradeFailed;
            row.result.detail =
                "upgrade failed: the device reported " + StatusText(kStatusUpgradeFail);
        } else if (StopRequested()) {
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
    return finish();
}

}  // namespace kestrix::cli
