#include "tools/cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "base/language.h"
#include "fleet/device_workers.h"
#include "fleet/selection.h"
#include "fleet/validation.h"
#include "link/adapter_list.h"
#include "store/field_texts.h"
#include "tools/cli/bridge_command.h"
#include "tools/cli/configure_command.h"
#include "tools/cli/listings.h"
#include "tools/cli/session.h"
#include "tools/cli/upgrade_command.h"

namespace kestrix::cli {

namespace {

// Length of the search that looks the chosen devices up, and of the search
// command, in seconds.
constexpr double kActionSearchSeconds = 3;
constexpr double kListSearchSeconds = 9;
// The bridge wizard gives a neighbour scan 30 seconds.
constexpr int64_t kScanWaitMs = 30000;
// How often a wait looks at the link and the store.
constexpr int64_t kPollMs = 50;
// A reply that ends a command is dispatched right after it; a status that
// has not been written this long after the command left the list will not be.
constexpr int64_t kAnswerGraceMs = 500;

void Message(const std::string& text) {
    std::fprintf(stderr, "kestrix-cli: %s\n", text.c_str());
}

int Invalid(const std::string& text) {
    Message(text);
    return kExitInvalid;
}

void Print(const Listing& listing, Format format) {
    const std::string text = Render(listing, format);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int64_t Ms(double seconds) {
    return static_cast<int64_t>(seconds * 1000 + 0.5);
}

std::string Quoted(const std::string& text) {
    return "\"" + TerminalSafe(text) + "\"";
}

// --adapter names an interface that exists and has an address; checked
// before anything is sent.
bool CheckAdapterOption(const std::string& name, std::string& error) {
    if (name.empty()) return true;
    const std::vector<AdapterRecord> all = MakeSystemAdapterSource()->Enumerate();
    std::string names;
    for (const AdapterRecord& a : all) {
        if (a.name == name) {
            if (UsableAdapters({a}, {}).empty()) {
                error = "The network adapter " + name + " has no IPv4 address.";
                return false;
            }
            return true;
        }
        names += (names.empty() ? "" : ", ") + a.name;
    }
    error = "There is no network adapter named " + name +
            " (adapters: " + (names.empty() ? "none" : names) + ").";
    return false;
}

int FinishWith(const std::vector<ActionResult>& results, Format format, bool withNewIp) {
    Print(ResultListing(results, withNewIp), format);
    size_t counted = 0;
    size_t done = 0;
    for (const ActionResult& r : results) {
        if (!OutcomeCounts(r.outcome)) continue;
        ++counted;
        if (r.outcome == Outcome::kDone) ++done;
    }
    Message(std::to_string(done) + " of " + std::to_string(counted) +
            (counted == 1 ? " device" : " devices") + " did what was asked.");
    return counted > 0 && done == counted ? kExitOk : kExitFailed;
}

// ---- Choosing the devices -------------------------------------------------------

struct Targets {
    std::vector<ap_info_stu> devices;    // stored devices, in list order
    std::vector<ActionResult> failures;  // not found, announced only
};

ActionResult ResultFor(const ap_info_stu& record, Outcome outcome, std::string detail) {
    ActionResult r;
    r.mac = record.mac();
    r.ip = IpBytesToText(record.info().address().ip());
    r.outcome = outcome;
    r.detail = std::move(detail);
    return r;
}

Targets ChooseTargets(Session& session, const CliOptions& o) {
    const int key = *DeviceSortKey(o.sort);
    const bool ascending = !o.descending;
    const std::vector<ap_info_stu> all = session.ListDevices("", key, ascending);
    std::set<std::string> filtered;
    if (o.filter) {
        for (const ap_info_stu& r : session.ListDevices(*o.filter, key, ascending))
            filtered.insert(r.mac());
    }
    const std::set<std::string> macs(o.macs.begin(), o.macs.end());
    const std::set<std::string> ips(o.ips.begin(), o.ips.end());
    std::set<std::string> seenMacs;
    std::set<std::string> seenIps;

    Targets t;
    for (const ap_info_stu& r : all) {
        const std::string mac = r.mac();
        const std::string ip = IpBytesToText(r.info().address().ip());
        seenMacs.insert(mac);
        seenIps.insert(ip);
        if (!(o.all || macs.count(mac) || ips.count(ip) || filtered.count(mac))) continue;
        if (r.ap_status() == kStatusAnnouncedOnly) {
            t.failures.push_back(ResultFor(
                r, Outcome::kNotReached,
                "not configured: it only announced itself and never gave its information"));
            continue;
        }
        t.devices.push_back(r);
    }
    for (const std::string& mac : macs) {
        if (!seenMacs.count(mac))
            t.failures.push_back({mac, "", "", Outcome::kNotFound, "not found by the search"});
    }
    for (const std::string& ip : ips) {
        if (!seenIps.count(ip))
            t.failures.push_back({"", ip, "", Outcome::kNotFound, "not found by the search"});
    }
    return t;
}

// ---- Waiting for the outcome ------------------------------------------------------

// One command that went out, and what has been seen of it since.
struct Tracked {
    SelectedDevice device;
    MsgType type = MsgType::Announce;
    size_t result = 0;  // index into the results
    uint64_t mark = 0;  // store writes before it went out
    bool decided = false;
    // The command in the link's pending list: seen there, its retries left
    // when last seen, and what its leaving means.
    bool seenPending = false;
    int lastRetries = -1;
    bool left = false;
    bool answered = false;
    int64_t leftAtMs = 0;
};

struct Verdict {
    Outcome outcome;
    std::string detail;
};

struct WaitPlan {
    int64_t waitMs = 0;
    // Searches that bring the devices' new information (not for reboots).
    bool verifySearches = false;
    bool releaseBeforeFirstSearch = false;
    // Decides a command from what the store holds, or nothing yet.
    std::function<std::optional<Verdict>(Tracked&)> evaluate;
    // The verdict at the end of the wait for a command still undecided.
    std::function<Verdict(const Tracked&)> final;
    // Extra sign of an answer besides the pending list (set-ip), and what
    // it reads, refreshed once per look.
    std::function<bool(const Tracked&)> answeredBy;
    std::function<void()> refresh;
};

std::string NoAnswerText(const Session& session) {
    const int retries = session.Settings().retryCount;
    return "no answer after " + std::to_string(retries) + (retries == 1 ? " retry" : " retries");
}

std::string PendingKey(uint16_t type, const std::string& mac, const std::string& target) {
    return std::to_string(type) + ' ' + mac + ' ' + target;
}

void UpdatePending(Session& session, std::vector<Tracked>& tracked, int64_t now) {
    // Indexed once per look: a large fleet has thousands of commands out.
    std::unordered_map<std::string, int> retriesLeft;
    for (const PendingCommand& c : session.Link().PendingSnapshot())
        retriesLeft.try_emplace(PendingKey(c.type, c.mac, c.target), c.retriesLeft);
    for (Tracked& t : tracked) {
        if (t.decided || t.left) continue;
        const auto it = retriesLeft.find(PendingKey(ToCode(t.type), t.device.mac, t.device.ip));
        if (it != retriesLeft.end()) {
            t.seenPending = true;
            t.lastRetries = it->second;
            continue;
        }
        // Gone: a reply took it out while retries were left (or before the
        // first look), or the retransmitter dropped it after the last one.
        t.left = true;
        t.leftAtMs = now;
        t.answered = t.answered || !t.seenPending || t.lastRetries > 0;
    }
}

void WaitForOutcomes(Session& session, std::vector<Tracked>& tracked,
                     std::vector<ActionResult>& results, const WaitPlan& plan) {
    const int64_t start = NowMs();
    const int64_t interval = session.Settings().searchIntervalMs;
    int64_t lastSearch = -1;
    int64_t nextSearch = start + interval;
    bool released = false;
    size_t answeredSeen = 0;

    auto decide = [&](Tracked& t, Verdict v) {
        t.decided = true;
        results[t.result].outcome = v.outcome;
        results[t.result].detail = std::move(v.detail);
    };
    auto undecided = [&] {
        return std::any_of(tracked.begin(), tracked.end(),
                           [](const Tracked& t) { return !t.decided; });
    };

    while (undecided() && !StopRequested()) {
        const int64_t now = NowMs();
        UpdatePending(session, tracked, now);
        if (plan.refresh) plan.refresh();
        size_t answered = 0;
        for (Tracked& t : tracked) {
            if (t.decided) continue;
            if (plan.answeredBy && !t.answered && plan.answeredBy(t)) t.answered = true;
            if (t.answered) ++answered;
            if (auto v = plan.evaluate(t)) decide(t, std::move(*v));
        }
        if (!undecided() || now - start >= plan.waitMs) break;
        if (plan.verifySearches) {
            // A device that just answered is asked again at once; the others
            // at every search step.
            const bool fresh = answered > answeredSeen && now - lastSearch >= interval / 4;
            if (fresh || now >= nextSearch) {
                if (plan.releaseBeforeFirstSearch && !released) {
                    session.Link().ReleaseAnnounced();
                    released = true;
                }
                session.Link().Search();
                lastSearch = now;
                nextSearch = now + interval;
                answeredSeen = answered;
            }
        }
        Session::Pause(kPollMs);
    }
    for (Tracked& t : tracked) {
        if (t.decided) continue;
        decide(t, StopRequested() ? Verdict{Outcome::kInterrupted, "interrupted while waiting"}
                                  : plan.final(t));
    }
}

int64_t DefaultWaitMs(const Session& session, bool verifySearches) {
    const RunSettings& s = session.Settings();
    int64_t ms = static_cast<int64_t>(s.retryCount + 1) * s.retryIntervalMs + 1000;
    if (verifySearches) ms += 2 * s.searchIntervalMs;
    return ms;
}

// Adds the commands a worker sent to the results and to the tracked list;
// those that could not go out are decided at once.
void Track(const std::vector<SentCommand>& sent, uint64_t mark, std::vector<ActionResult>& results,
           std::vector<Tracked>& tracked) {
    for (const SentCommand& c : sent) {
        ActionResult r{c.device.mac, c.device.ip, c.newIp, Outcome::kNoAnswer, ""};
        if (c.type == MsgType::SetAddress && c.newIp.empty()) {
            r.outcome = Outcome::kNoAddress;
            r.detail = "no address left in the range";
            results.push_back(std::move(r));
            continue;
        }
        if (!c.sent) {
            r.outcome = Outcome::kNotSent;
            r.detail = "not sent: no network adapter reaches " + c.device.ip;
            results.push_back(std::move(r));
            continue;
        }
        Tracked t;
        t.device = c.device;
        t.type = c.type;
        t.result = results.size();
        t.mark = mark;
        results.push_back(std::move(r));
        tracked.push_back(std::move(t));
    }
}

// The stored record of the device when information newer than the command
// has arrived.
std::optional<ap_info_stu> FreshRecord(Session& session, const Tracked& t) {
    if (session.Observer().LastInfo(t.device.mac) <= t.mark) return std::nullopt;
    ap_info_stu record;
    session.Store().GetDeviceByMac(t.device.mac, record);
    if (record.mac() != t.device.mac) return std::nullopt;
    return record;
}

Verdict AnsweredOrNot(Session& session, const Tracked& t, const std::string& whatReported) {
    if (!t.answered) return {Outcome::kNoAnswer, NoAnswerText(session)};
    if (whatReported.empty())
        return {Outcome::kRefused, "answered, but no later search heard from it"};
    return {Outcome::kRefused, "answered, but " + whatReported};
}

// ---- The commands ------------------------------------------------------------------

int RunAdapters(const CliOptions& o) {
    const RunSettings settings = LoadRunSettings(o.adapter);
    // Reading the adapters opens no socket: no lock, no store.
    DeviceLink link;
    link.SetAdapterAllowList(settings.adapters);
    std::vector<AdapterRecord> adapters;
    link.GetLocalAdapters(adapters);
    Print(AdapterListing(adapters), o.format);
    return kExitOk;
}

int RunSearch(const CliOptions& o) {
    Session session(LoadRunSettings(o.adapter));
    std::string error;
    if (!session.Open(error)) {
        Message(error);
        return kExitFailed;
    }
    session.Search(Ms(o.seconds.value_or(kListSearchSeconds)));
    if (StopRequested()) {
        Message("interrupted");
        return kExitFailed;
    }
    Print(DeviceListing(
              session.ListDevices(o.filter.value_or(""), *DeviceSortKey(o.sort), !o.descending)),
          o.format);
    return kExitOk;
}

// Opens the run, searches and chooses the devices; nullopt with `exit` set
// when the command ends here.
struct Prepared {
    Targets targets;
};

std::optional<Prepared> Prepare(Session& session, const CliOptions& o, int& exit) {
    std::string error;
    if (!session.Open(error)) {
        Message(error);
        exit = kExitFailed;
        return std::nullopt;
    }
    session.Search(Ms(o.seconds.value_or(kActionSearchSeconds)));
    if (StopRequested()) {
        Message("interrupted: nothing was sent");
        exit = kExitFailed;
        return std::nullopt;
    }
    Prepared p{ChooseTargets(session, o)};
    if (p.targets.devices.empty()) {
        Message(TranslateText("Please select the devices!") +
                " No device that gave its information matched.");
        exit = FinishWith(p.targets.failures, o.format, o.command == Command::kSetIp);
        return std::nullopt;
    }
    return p;
}

int RunRename(const CliOptions& o) {
    // The open set admits every character the strict set does, so a name it
    // refuses is refused for every device: say so before searching.
    if (RuleResult r = CheckDeviceName(o.name, 1); !r) return Invalid(r.message);

    Session session(LoadRunSettings(o.adapter));
    int exit = kExitFailed;
    auto prepared = Prepare(session, o, exit);
    if (!prepared) return exit;
    const std::vector<ap_info_stu>& devices = prepared->targets.devices;

    // Every device's own rule first: nothing goes out unless all pass.
    std::vector<RenameDecision> decisions;
    for (const ap_info_stu& r : devices) {
        RenameDecision d = DecideRename(o.name, r.info().ap_name(), r.ap_type());
        if (d.kind == RenameDecision::Kind::kRejected)
            return Invalid(d.rule.message + " (" + r.mac() + ", " + ModelName(r.ap_type()) + ")");
        decisions.push_back(std::move(d));
    }

    LinkCommandSink sink(session.Link());
    std::vector<ActionResult> results;
    std::vector<Tracked> tracked;
    std::string name;
    for (size_t i = 0; i < devices.size(); ++i) {
        const SelectedDevice device = SelectedFromRecord(devices[i]);
        if (decisions[i].kind != RenameDecision::Kind::kSend) {
            results.push_back({device.mac, device.ip, "", Outcome::kDone,
                               "done: already named " + Quoted(devices[i].info().ap_name())});
            continue;
        }
        name = decisions[i].name;
        const uint64_t mark = session.Observer().Mark();
        Track({SendRename(sink, device, name)}, mark, results, tracked);
    }

    WaitPlan plan;
    plan.verifySearches = true;
    plan.waitMs = o.waitSeconds ? Ms(*o.waitSeconds) : DefaultWaitMs(session, true);
    plan.evaluate = [&](Tracked& t) -> std::optional<Verdict> {
        auto record = FreshRecord(session, t);
        if (record && record->info().ap_name() == name)
            return Verdict{Outcome::kDone, "done: named " + Quoted(name)};
        return std::nullopt;
    };
    plan.final = [&](const Tracked& t) {
        ap_info_stu record;
        session.Store().GetDeviceByMac(t.device.mac, record);
        const bool heard = session.Observer().LastInfo(t.device.mac) > t.mark;
        return AnsweredOrNot(session, t,
                             heard ? "it reports the name " + Quoted(record.info().ap_name()) : "");
    };
    WaitForOutcomes(session, tracked, results, plan);
    results.insert(results.end(), prepared->targets.failures.begin(),
                   prepared->targets.failures.end());
    return FinishWith(results, o.format, false);
}

bool SameAddressSettings(const AddressBlock& have, const AddressBlock& want) {
    return have.ip() == want.ip() && have.ip_mask() == want.ip_mask() &&
           have.ip_gateway() == want.ip_gateway() && have.ip_dns1() == want.ip_dns1() &&
           have.ip_dns2() == want.ip_dns2();
}

int RunSetIp(const CliOptions& o) {
    AddressSet entered{o.range.begin, o.range.mask, o.range.gateway, o.range.dns1, o.range.dns2};
    if (RuleResult r = CheckAddressRange(entered, o.range.end, o.endGiven ? 2 : 1); !r)
        return Invalid(r.message);

    Session session(LoadRunSettings(o.adapter));
    int exit = kExitFailed;
    auto prepared = Prepare(session, o, exit);
    if (!prepared) return exit;
    const std::vector<ap_info_stu>& devices = prepared->targets.devices;

    // What was not given comes from the first device, as the batch address
    // dialog fills its fields in.
    AddressRange range = o.range;
    const AddressBlock first = devices.front().info().address();
    if (!o.gatewayGiven) range.gateway = IpBytesToText(first.ip_gateway());
    if (!o.dns1Given) range.dns1 = IpBytesToText(first.ip_dns1());
    if (!o.dns2Given) range.dns2 = IpBytesToText(first.ip_dns2());
    entered = {range.begin, range.mask, range.gateway, range.dns1, range.dns2};
    if (RuleResult r = CheckAddressRange(entered, range.end, devices.size()); !r) {
        std::string text = r.message;
        if (devices.size() > 1 && !o.endGiven)
            text += " (" + std::to_string(devices.size()) +
                    " devices are chosen: give the end of the range with --end)";
        else if (!o.gatewayGiven || !o.dns1Given || !o.dns2Given)
            text += " (gateway and DNS servers not given are the first device's: " + range.gateway +
                    ", " + range.dns1 + ", " + range.dns2 + ")";
        return Invalid(text);
    }

    LinkCommandSink sink(session.Link());
    const uint64_t mark = session.Observer().Mark();
    const std::vector<SentCommand> sent =
        RunBatchAddressWorker(sink, SelectedFromRecords(devices), range);
    std::vector<ActionResult> results;
    std::vector<Tracked> tracked;
    Track(sent, mark, results, tracked);

    auto wanted = [&](const Tracked& t) {
        return MakeBatchAddressBlock(range, results[t.result].newIp);
    };
    WaitPlan plan;
    plan.verifySearches = true;
    plan.releaseBeforeFirstSearch = true;
    plan.waitMs = o.waitSeconds ? Ms(*o.waitSeconds) : DefaultWaitMs(session, true);
    // The device answers from its new address, which the link's pending
    // list does not match; that the link moved it there is the answer.
    std::unordered_map<std::string, std::string> heardAt;  // MAC -> address
    plan.refresh = [&] {
        heardAt.clear();
        for (const PresenceEntry& e : session.Link().PresenceSnapshot()) heardAt[e.mac] = e.ip;
    };
    plan.answeredBy = [&](const Tracked& t) {
        const auto it = heardAt.find(t.device.mac);
        return it != heardAt.end() && it->second == results[t.result].newIp;
    };
    plan.evaluate = [&](Tracked& t) -> std::optional<Verdict> {
        auto record = FreshRecord(session, t);
        if (record && SameAddressSettings(record->info().address(), wanted(t)))
            return Verdict{Outcome::kDone, "done: now at " + results[t.result].newIp};
        return std::nullopt;
    };
    plan.final = [&](const Tracked& t) {
        ap_info_stu record;
        session.Store().GetDeviceByMac(t.device.mac, record);
        const AddressBlock a = record.info().address();
        const bool heard = session.Observer().LastInfo(t.device.mac) > t.mark;
        return AnsweredOrNot(
            session, t,
            heard ? "it reports " + IpBytesToText(a.ip()) + " mask " + IpBytesToText(a.ip_mask()) +
                        " gateway " + IpBytesToText(a.ip_gateway()) + " DNS " +
                        IpBytesToText(a.ip_dns1()) + ", " + IpBytesToText(a.ip_dns2())
                  : "");
    };
    WaitForOutcomes(session, tracked, results, plan);
    results.insert(results.end(), prepared->targets.failures.begin(),
                   prepared->targets.failures.end());
    return FinishWith(results, o.format, true);
}

int RunSwitch(const CliOptions& o) {
    const SwitchKind kind =
        o.command == Command::kPxsync ? SwitchKind::kPxsync : SwitchKind::kTransparentBridge;
    const std::string what = kind == SwitchKind::kPxsync ? "PX-SYNC" : "transparent bridging";

    Session session(LoadRunSettings(o.adapter));
    int exit = kExitFailed;
    auto prepared = Prepare(session, o, exit);
    if (!prepared) return exit;

    const SwitchSelection split = SplitBySwitch(kind, prepared->targets.devices);
    std::vector<ActionResult> results;
    for (const ap_info_stu& r : split.notApplicable)
        results.push_back(ResultFor(r, Outcome::kSkipped, "skipped: " + what + " reads N/A"));
    if (split.configurable.empty()) {
        Message(TranslateText("Please select configurable devices!"));
        results.insert(results.end(), prepared->targets.failures.begin(),
                       prepared->targets.failures.end());
        FinishWith(results, o.format, false);
        return kExitFailed;
    }

    LinkCommandSink sink(session.Link());
    const uint64_t mark = session.Observer().Mark();
    std::vector<Tracked> tracked;
    Track(RunSwitchWorker(sink, SelectedFromRecords(split.configurable), kind, o.switchOn), mark,
          results, tracked);

    const uint8_t want = o.switchOn ? 1 : 0;
    const std::string word = o.switchOn ? "on" : "off";
    WaitPlan plan;
    plan.verifySearches = true;
    plan.waitMs = o.waitSeconds ? Ms(*o.waitSeconds) : DefaultWaitMs(session, true);
    plan.evaluate = [&](Tracked& t) -> std::optional<Verdict> {
        auto record = FreshRecord(session, t);
        if (record && (SwitchState(kind, *record) != 0 ? 1 : 0) == want)
            return Verdict{Outcome::kDone, "done: " + what + " " + word};
        return std::nullopt;
    };
    plan.final = [&](const Tracked& t) {
        ap_info_stu record;
        session.Store().GetDeviceByMac(t.device.mac, record);
        const bool heard = session.Observer().LastInfo(t.device.mac) > t.mark;
        return AnsweredOrNot(
            session, t,
            heard ? "it reports " + what + " " + (SwitchState(kind, record) ? "on" : "off") : "");
    };
    WaitForOutcomes(session, tracked, results, plan);
    results.insert(results.end(), prepared->targets.failures.begin(),
                   prepared->targets.failures.end());
    return FinishWith(results, o.format, false);
}

bool Confirm(const std::string& question, const std::vector<ap_info_stu>& devices) {
    for (const ap_info_stu& r : devices) {
        std::fprintf(stderr, "  %s  %s  %s\n", r.mac().c_str(),
                     IpBytesToText(r.info().address().ip()).c_str(),
                     TerminalSafe(r.info().ap_name()).c_str());
    }
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    const bool read = static_cast<bool>(std::getline(std::cin, answer));
    // A terminal echoes the operator's Enter; an answer from a pipe does not.
    if (!::isatty(STDIN_FILENO)) std::fputc('\n', stderr);
    if (!read) return false;
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes";
}

int RunRebootRestore(const CliOptions& o) {
    const bool reboot = o.command == Command::kReboot;
    const MsgType command = reboot ? MsgType::Reboot : MsgType::Restore;
    const uint32_t accepted = reboot ? kStatusRestarting : kStatusReseting;

    Session session(LoadRunSettings(o.adapter));
    int exit = kExitFailed;
    auto prepared = Prepare(session, o, exit);
    if (!prepared) return exit;
    const std::vector<ap_info_stu>& devices = prepared->targets.devices;

    if (!o.yes && !Confirm(TranslateText(reboot ? "Are you sure you want to restart?"
                                                : "Are you sure you want to reset?"),
                           devices)) {
        std::vector<ActionResult> results;
        for (const ap_info_stu& r : devices)
            results.push_back(ResultFor(r, Outcome::kCancelled, "cancelled: nothing was sent"));
        results.insert(results.end(), prepared->targets.failures.begin(),
                       prepared->targets.failures.end());
        return FinishWith(results, o.format, false);
    }

    LinkCommandSink sink(session.Link());
    const uint64_t mark = session.Observer().Mark();
    CSqlManagement& store = session.Store();
    const std::vector<SentCommand> sent =
        RunRebootWorker(sink, SelectedFromRecords(devices), command,
                        [&store](const std::string& mac) { return store.HasBridgedStation(mac); });
    std::vector<ActionResult> results;
    std::vector<Tracked> tracked;
    Track(sent, mark, results, tracked);

    WaitPlan plan;
    plan.waitMs = o.waitSeconds ? Ms(*o.waitSeconds) : DefaultWaitMs(session, false);
    plan.evaluate = [&](Tracked& t) -> std::optional<Verdict> {
        const auto status = session.Observer().LastStatus(t.device.mac);
        if (status && status->at > t.mark && status->status == accepted)
            return Verdict{Outcome::kDone, "done: " + StatusText(accepted)};
        if (t.left && NowMs() - t.leftAtMs >= kAnswerGraceMs) {
            if (t.answered)
                return Verdict{Outcome::kRefused, "answered, but did not accept the command"};
            return Verdict{Outcome::kNoAnswer, NoAnswerText(session)};
        }
        return std::nullopt;
    };
    plan.final = [&](const Tracked& t) {
        return t.answered ? Verdict{Outcome::kRefused, "answered, but did not accept the command"}
                          : Verdict{Outcome::kNoAnswer, NoAnswerText(session)};
    };
    WaitForOutcomes(session, tracked, results, plan);
    results.insert(results.end(), prepared->targets.failures.begin(),
                   prepared->targets.failures.end());
    return FinishWith(results, o.format, false);
}

int RunScan(const CliOptions& o) {
    Session session(LoadRunSettings(o.adapter));
    int exit = kExitFailed;
    auto prepared = Prepare(session, o, exit);
    if (!prepared) return exit;
    const std::vector<ap_info_stu>& devices = prepared->targets.devices;
    if (devices.size() != 1 || !prepared->targets.failures.empty()) {
        std::string list;
        for (const ap_info_stu& r : devices) list += " " + r.mac();
        for (const ActionResult& r : prepared->targets.failures)
            list += " " + (r.mac.empty() ? r.ip : r.mac) + " (" + OutcomeKey(r.outcome) + ")";
        return Invalid("scan-neighbours scans with one device; the selection holds " +
                       std::to_string(devices.size() + prepared->targets.failures.size()) + ":" +
                       list + ".");
    }

    CSqlManagement& store = session.Store();
    store.DeleteScanResults();
    LinkCommandSink sink(session.Link());
    const SelectedDevice device = SelectedFromRecord(devices.front());
    if (!SendNeighbourScan(sink, device).sent) {
        Message(device.mac + ": not sent: no network adapter reaches " + device.ip);
        return kExitFailed;
    }
    const int64_t waitMs = o.waitSeconds ? Ms(*o.waitSeconds) : kScanWaitMs;
    const int64_t start = NowMs();
    while (!session.Link().IsScanComplete() && NowMs() - start < waitMs) {
        if (!Session::Pause(kPollMs)) break;
    }
    const bool complete = session.Link().IsScanComplete();

    // With no --sort the list comes as the wizard fills it: strongest first.
    const int key = *NeighbourSortKey(o.sort);
    const bool ascending = o.sort.empty() ? false : !o.descending;
    std::vector<config_otherwl_basic> neighbours;
    store.QueryScanList(key, ascending, neighbours);
    Print(NeighbourListing(neighbours), o.format);
    if (!complete) {
        Message(device.mac + ": " +
                (StopRequested()
                     ? std::string("interrupted")
                     : "the scan did not complete within " + std::to_string(waitMs / 1000) + " s") +
                "; listed what arrived (" + std::to_string(neighbours.size()) + ").");
        return kExitFailed;
    }
    return kExitOk;
}

// Reads the tables only: no lock, no store, no socket.
int RunChannels(const CliOptions& o) {
    const ChannelsOutcome outcome = AnswerChannels(o.channels);
    if (!outcome.answer) return Invalid(outcome.error);
    for (const std::string& note : outcome.answer->notes) Message(note);
    const std::string text = o.format == Format::kJson
                                 ? ChannelsJson(outcome.answer->lists)
                                 : ChannelsText(*outcome.answer, o.channels.channel.has_value());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return kExitOk;
}

}  // namespace

int RunCommand(const CliOptions& o) {
    if (o.command == Command::kChannels) return RunChannels(o);
    std::string error;
    if (!CheckAdapterOption(o.adapter, error)) return Invalid(error);
    switch (o.command) {
        case Command::kNone:
            return kExitInvalid;
        case Command::kAdapters:
            return RunAdapters(o);
        case Command::kSearch:
            return RunSearch(o);
        case Command::kRename:
            return RunRename(o);
        case Command::kSetIp:
            return RunSetIp(o);
        case Command::kBridgeTransparent:
        case Command::kPxsync:
            return RunSwitch(o);
        case Command::kReboot:
        case Command::kRestore:
            return RunRebootRestore(o);
        case Command::kScanNeighbours:
            return RunScan(o);
        case Command::kChannels:
            return RunChannels(o);
        case Command::kUpgrade:
            return RunUpgrade(o);
        case Command::kBridge:
            return RunBridge(o);
        case Command::kConfigure:
            return RunConfigure(o);
    }
    return kExitInvalid;
}

// ---- For the commands in files of their own ------------------------------------

std::optional<std::vector<ap_info_stu>> PrepareTargets(Session& session, const CliOptions& o,
                                                       int& exit,
                                                       std::vector<ActionResult>& failures) {
    auto prepared = Prepare(session, o, exit);
    if (!prepared) return std::nullopt;
    failures = prepared->targets.failures;
    return prepared->targets.devices;
}

bool ConfirmOnTerminal(const std::string& question, const std::vector<ap_info_stu>& devices) {
    return Confirm(question, devices);
}

void CliMessage(const std::string& text) {
    Message(text);
}

void PrintListing(const Listing& listing, Format format) {
    Print(listing, format);
}

}  // namespace kestrix::cli
