#include "tools/cli/configure_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "fleet/device_config.h"
#include "fleet/selection.h"
#include "link/wire/device_status.h"
#include "tools/cli/commands.h"
#include "tools/cli/output.h"
#include "tools/cli/session.h"

namespace kestrix::cli {

namespace {

constexpr int64_t kFindSearchMs = 3000;
constexpr int64_t kPollMs = 50;

void Message(const std::string& text) {
    std::fprintf(stderr, "kestrix-cli: %s\n", text.c_str());
}

const char* CommandWord(MsgType type) {
    switch (type) {
        case MsgType::SetName:
            return "SetName";
        case MsgType::SetWireless:
            return "SetWireless";
        case MsgType::SetTimedReboot:
            return "SetTimedReboot";
        case MsgType::SetVlan:
            return "SetVlan";
        case MsgType::SetAddress:
            return "SetAddress";
        default:
            return "?";
    }
}

struct SentLine {
    MsgType type;
    bool sent = false;
    bool seenPending = false;
    int lastRetries = -1;
    bool decided = false;
    bool answered = false;
};

// Whether each command was answered: a command the link no longer holds
// while it had retries left was taken out by the device's reply.
void WaitForAnswers(Session& session, const SelectedDevice& target, std::vector<SentLine>& lines,
                    int64_t waitMs) {
    const int64_t start = NowMs();
    while (!StopRequested()) {
        const std::vector<PendingCommand> pending = session.Link().PendingSnapshot();
        bool open = false;
        for (SentLine& l : lines) {
            if (l.decided || !l.sent) continue;
            const PendingCommand* held = nullptr;
            for (const PendingCommand& c : pending) {
                if (c.type == ToCode(l.type) && c.mac == target.mac && c.target == target.ip)
                    held = &c;
            }
            if (held != nullptr) {
                l.seenPending = true;
                l.lastRetries = held->retriesLeft;
                open = true;
                continue;
            }
            l.decided = true;
            l.answered = !l.seenPending || l.lastRetries > 0;
        }
        if (!open || NowMs() - start >= waitMs) break;
        Session::Pause(kPollMs);
    }
}

// The dialog's wait after an address change, cut short once the device is
// heard at its new address: searches every step until then.
bool WaitToReappear(Session& session, const std::string& mac, const std::string& newIp,
                    const ConfigWait& wait, uint64_t mark) {
    const int64_t start = NowMs();
    const int64_t limit = static_cast<int64_t>(wait.seconds) * 1000;
    const int64_t step = session.Settings().searchIntervalMs;
    int64_t nextSearch = start;
    bool released = false;
    while (!StopRequested()) {
        if (session.Observer().LastInfo(mac) > mark) {
            ap_info_stu record;
            if (session.Store().GetDeviceByMac(mac, record) &&
                IpBytesToText(record.info().address().ip()) == newIp)
                return true;
        }
        const int64_t now = NowMs();
        if (now - start >= limit) return false;
        if (now >= nextSearch) {
            if (!released) {
                session.Link().ReleaseAnnounced();
                released = true;
            }
            session.Link().Search();
            nextSearch = now + step;
        }
        Session::Pause(kPollMs);
    }
    return false;
}

}  // namespace

int RunConfigure(const CliOptions& o) {
    Session session(LoadRunSettings(o.adapter));
    std::string error;
    if (!session.Open(error)) {
        Message(error);
        return kExitFailed;
    }
    session.Search(o.seconds ? static_cast<int64_t>(*o.seconds * 1000) : kFindSearchMs);
    if (StopRequested()) {
        Message("interrupted: nothing was sent");
        return kExitFailed;
    }
    std::optional<ap_info_stu> found;
    for (const ap_info_stu& r : session.ListDevices("", 1, true)) {
        const bool match = o.macs.empty() ? IpBytesToText(r.info().address().ip()) == o.ips[0]
                                          : r.mac() == o.macs[0];
        if (match) found = r;
    }
    const std::string who = o.macs.empty() ? o.ips[0] : o.macs[0];
    if (!found) {
        Message(who + ": not found by the search; nothing was sent.");
        return kExitFailed;
    }
    if (found->ap_status() == kStatusAnnouncedOnly) {
        Message(who +
                ": it only announced itself and never gave its information; nothing was sent.");
        return kExitFailed;
    }

    DeviceConfig config(*found);
    if (EditOutcome edit = ApplyConfigureEdits(config, o.configure); !edit.ok) {
        Message(edit.error + "; nothing was sent.");
        return kExitInvalid;
    }
    std::vector<std::string> ips;
    session.Store().GetAllDeviceIps(ips);
    const SaveOutcome save = CollectForSave(config, ips);
    if (save.failure) {
        Message(save.failure->rule.message + " (nothing was sent)");
        return kExitInvalid;
    }
    if (!save.pending.AnyChanged()) {
        Message("Nothing changed; nothing was sent.");
        return kExitOk;
    }

    const SelectedDevice target = SelectedFromRecord(*found);
    const uint64_t mark = session.Observer().Mark();
    LinkCommandSink sink(session.Link());
    std::vector<SentLine> lines;
    for (const SentCommand& c : RunConfigSendWorker(sink, target, save.pending))
        lines.push_back({c.type, c.sent});

    const RunSettings& s = session.Settings();
    const int64_t answerMs =
        o.waitSeconds ? static_cast<int64_t>(*o.waitSeconds * 1000)
                      : static_cast<int64_t>(s.retryCount + 1) * s.retryIntervalMs + 1000;
    WaitForAnswers(session, target, lines, answerMs);
    bool reappeared = true;
    const std::string newIp = IpBytesToText(save.pending.address.ip());
    if (save.pending.addressChanged && save.wait.seconds > 0)
        reappeared = WaitToReappear(session, target.mac, newIp, save.wait, mark);

    Listing listing;
    listing.columns = {{"command", "Command"}, {"outcome", "Outcome"}, {"detail", "Detail"}};
    bool allDone = true;
    for (const SentLine& l : lines) {
        std::string outcome = l.answered ? "done" : "no_answer";
        std::string detail;
        if (!l.sent) {
            outcome = "not_sent";
            detail = "no network adapter reaches " + target.ip;
        } else if (l.type == MsgType::SetAddress) {
            detail = reappeared ? "heard again at " + newIp : "not heard at " + newIp;
            if (!reappeared) outcome = l.answered ? "refused" : "no_answer";
        }
        allDone = allDone && outcome == "done";
        listing.rows.push_back(
            {Cell::Text(CommandWord(l.type)), Cell::Text(outcome), Cell::Text(detail)});
    }
    const std::string text = Render(listing, o.format);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (StopRequested()) {
        Message("interrupted while waiting");
        return kExitFailed;
    }
    return allDone ? kExitOk : kExitFailed;
}

}  // namespace kestrix::cli
