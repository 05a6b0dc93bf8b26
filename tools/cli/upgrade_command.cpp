#include "tools/cli/upgrade_command.h"

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

}  // namespace

int RunUpgrade(const CliOptions& o) {
    if (const RuleResult r = CheckUpgradePath(o.upgradeFile); !r) {
        CliMessage(r.message);
        return kExitInvalid;
    }
    std::optional<uint16_t> wantedType;
    if (!o.upgradeType.empty()) {
        wantedType = ParseUpgradeType(o.upgradeType);
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

    std::vector<UpgradeRow> rows;
    std::vector<SelectedDevice> targets;
    std::vector<ap_info_stu> chosen;
    for (const ap_info_stu& r : *devices) {
        UpgradeRow row;
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
        const int code = UpgradeExitCode(rows, &upgraded, &counted);
        CliMessage(std::to_string(upgraded) + " of " + std::to_string(counted) +
                   (counted == 1 ? " device" : " devices") + " upgraded.");
        return code;
    };
    if (targets.empty()) {
        CliMessage("No chosen device is a " + ModelName(type) + ".");
        return finish();
    }
    if (!o.yes && !ConfirmOnTerminal(TranslateText("Are you sure you want to upgrade?"), chosen)) {
        for (UpgradeRow& r : rows) {
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

    std::vector<UpgradeWatch> watch;
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
        for (const UpgradeWatch& w : watch)
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
        for (UpgradeWatch& w : watch) {
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

    for (const UpgradeWatch& w : watch) {
        std::string versionAfter;
        if (w.done) {
            ap_info_stu record;
            session.Store().GetDeviceByMac(w.device.mac, record);
            versionAfter = record.info().version();
        }
        SettleUpgradeRow(w, StopRequested(), versionAfter, rows[w.row]);
    }
    return finish();
}

}  // namespace kestrix::cli
