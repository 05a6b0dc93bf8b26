#include "tools/cli/bridge_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/language.h"
#include "fleet/bridge_wizard.h"
#include "fleet/device_workers.h"
#include "store/field_texts.h"
#include "tools/cli/commands.h"
#include "tools/cli/listings.h"
#include "tools/cli/session.h"

namespace kestrix::cli {

namespace {

constexpr double kSearchSeconds = 3;
constexpr int64_t kPollMs = 50;
// A reply is dispatched as soon as it removes the command from the pending
// list; a status not written this long after that will not be.
constexpr int64_t kAnswerGraceMs = 500;

void Message(const std::string& text) {
    std::fprintf(stderr, "kestrix-cli: %s\n", text.c_str());
}

int64_t Ms(double seconds) {
    return static_cast<int64_t>(seconds * 1000 + 0.5);
}

int Finish(const ActionResult& result, Format format) {
    const std::string text = Render(ResultListing({result}, false), format);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return result.outcome == Outcome::kDone ? kExitOk : kExitFailed;
}

const char* ModeWord(int mode) {
    switch (mode) {
        case kSecurityWep:
            return "WEP";
        case kSecurityWpaPsk:
            return "WPA-PSK";
        case kSecurityWpa2Psk:
            return "WPA2-PSK";
        case kSecurityMixed:
            return "Mixed WPA/WPA2-PSK";
        default:
            return "None";
    }
}

const char* CipherWord(PskCipher c) {
    switch (c) {
        case PskCipher::kTkip:
            return "TKIP";
        case PskCipher::kTkipAes:
            return "TKIP&AES";
        default:
            return "AES";
    }
}

bool Confirm(const ap_info_stu& record, const std::string& apMac, const BridgePlan& plan) {
    const BridgeSecurity& s = plan.security;
    std::string security = ModeWord(s.mode);
    if (FieldsOfMode(s.mode).ciphers) security += std::string("/") + CipherWord(s.cipher);
    std::fprintf(stderr, "  %s  %s  %s\n", record.mac().c_str(),
                 IpBytesToText(record.info().address().ip()).c_str(),
                 TerminalSafe(record.info().ap_name()).c_str());
    std::fprintf(stderr, "  -> station of %s \"%s\", channel %d, %s\n", apMac.c_str(),
                 TerminalSafe(s.ssid).c_str(), s.Channel().value_or(0), security.c_str());
    std::fprintf(stderr, "  address %s mask %s gateway %s DNS %s, %s\n", plan.address.ip.c_str(),
                 plan.address.mask.c_str(), plan.address.gateway.c_str(), plan.address.dns1.c_str(),
                 plan.address.dns2.c_str());
    std::fprintf(stderr, "Bridge the device to this access point? [y/N] ");
    std::fflush(stderr);
    std::string answer;
    const bool read = static_cast<bool>(std::getline(std::cin, answer));
    if (!::isatty(STDIN_FILENO)) std::fputc('\n', stderr);
    if (!read) return false;
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes";
}

// The device's scan: the neighbour table emptied, one ScanNeighbours, and
// the wizard's 30 seconds or the last report, whichever comes first.
bool Scan(Session& session, const SelectedDevice& device) {
    session.Store().DeleteScanResults();
    LinkCommandSink sink(session.Link());
    if (!SendNeighbourScan(sink, device).sent) return false;
    const int64_t start = NowMs();
    while (!session.Link().IsScanComplete() && NowMs() - start < kScanSeconds * 1000) {
        if (!Session::Pause(kPollMs)) break;
    }
    return true;
}

// Waits for the status the reply writes: "Bridge success" or "Bridge fail".
void WaitForOutcome(Session& session, const SelectedDevice& device, uint64_t mark, int64_t waitMs,
                    ActionResult& result) {
    const int64_t start = NowMs();
    bool seenPending = false;
    int lastRetries = -1;
    int64_t leftAt = -1;
    bool answered = false;
    while (!StopRequested()) {
        const auto status = session.Observer().LastStatus(device.mac);
        if (status && status->at > mark &&
            (status->status == kStatusBridgeSuccess || status->status == kStatusBridgeFail)) {
            const bool ok = status->status == kStatusBridgeSuccess;
            result.outcome = ok ? Outcome::kDone : Outcome::kBridgeFailed;
            result.detail = (ok ? "done: " : "failed: ") + StatusText(status->status);
            return;
        }
        const int64_t now = NowMs();
        if (leftAt < 0) {
            bool pending = false;
            for (const PendingCommand& c : session.Link().PendingSnapshot()) {
                if (c.type == ToCode(MsgType::SetBridge) && c.mac == device.mac &&
                    c.target == device.ip) {
                    pending = true;
                    seenPending = true;
                    lastRetries = c.retriesLeft;
                }
            }
            if (!pending) {
                leftAt = now;
                answered = !seenPending || lastRetries > 0;
            }
        } else if (now - leftAt >= kAnswerGraceMs) {
            break;
        }
        if (now - start >= waitMs) break;
        Session::Pause(kPollMs);
    }
    if (StopRequested()) {
        result.outcome = Outcome::kInterrupted;
        result.detail = "interrupted while waiting";
    } else if (answered && leftAt >= 0) {
        result.outcome = Outcome::kRefused;
        result.detail = "answered, but no bridge status came back";
    } else {
        const int retries = session.Settings().retryCount;
        result.outcome = Outcome::kNoAnswer;
        result.detail =
            "no answer after " + std::to_string(retries) + (retries == 1 ? " retry" : " retries");
    }
}

}  // namespace

int RunBridge(const CliOptions& o) {
    const std::string mac = o.macs.front();
    const std::string apMac = o.bridge.ap;
    Session session(LoadRunSettings(o.adapter));
    std::string error;
    if (!session.Open(error)) {
        Message(error);
        return kExitFailed;
    }
    session.Search(Ms(o.seconds.value_or(kSearchSeconds)));
    if (StopRequested()) {
        Message("interrupted: nothing was sent");
        return kExitFailed;
    }

    CSqlManagement& store = session.Store();
    ap_info_stu record;
    ActionResult result{mac, "", "", Outcome::kNotFound, "not found by the search"};
    if (!store.GetDeviceByMac(mac, record) || record.mac() != mac) return Finish(result, o.format);
    result.ip = IpBytesToText(record.info().address().ip());
    if (record.ap_status() == kStatusAnnouncedOnly) {
        result.outcome = Outcome::kNotReached;
        result.detail = "not configured: it only announced itself and never gave its information";
        return Finish(result, o.format);
    }
    if (ModeSwitchBlocksBridge(record)) {
        Message(TranslateText(kModeSwitchMessage));
        result.outcome = Outcome::kRefused;
        result.detail = "not sent: the mode switch is at the AP position";
        return Finish(result, o.format);
    }

    const SelectedDevice device = SelectedFromRecord(record);
    if (!Scan(session, device)) {
        result.outcome = Outcome::kNotSent;
        result.detail = "not sent: no network adapter reaches " + device.ip;
        return Finish(result, o.format);
    }
    if (StopRequested()) {
        store.DeleteScanResults();
        Message("interrupted: nothing was sent");
        return kExitFailed;
    }
    config_otherwl_basic entry;
    store.GetScanEntry(apMac, entry);
    if (MacBytesToText(entry.mac()) != apMac) {
        std::vector<config_otherwl_basic> heard;
        store.QueryScanList(4, false, heard);
        store.DeleteScanResults();
        result.outcome = Outcome::kNotFound;
        result.detail = "not sent: the access point " + apMac + " was not heard by its scan (" +
                        std::to_string(heard.size()) + " access points were)";
        return Finish(result, o.format);
    }

    // The rest is decided from what is now known; nothing is sent on a
    // refusal, and the scan's table goes as when the wizard closes.
    BridgePlan plan;
    auto refuse = [&](const std::string& text) {
        store.DeleteScanResults();
        Message(text);
        return kExitInvalid;
    };
    if (auto e = ApplyBridgeOptions(o.bridge, record, entry, plan)) return refuse(*e);
    if (RuleResult r = CheckBridgeSecurity(plan.security, record.ap_type()); !r)
        return refuse(r.message);
    std::vector<std::string> storedIps;
    store.GetAllDeviceIps(storedIps);
    if (RuleResult r = CheckBridgeAddress(plan.address, record.info().address().ip(), storedIps);
        !r)
        return refuse(r.message);

    if (!o.yes && !Confirm(record, apMac, plan)) {
        store.DeleteScanResults();
        result.outcome = Outcome::kCancelled;
        result.detail = "cancelled: nothing was sent";
        return Finish(result, o.format);
    }

    const BridgeBlock bridge = BuildBridgeBlock(plan.security, entry.mac());
    const AddressBlock address = BuildBridgeAddressBlock(plan.address);
    store.DeleteScanResults();
    LinkCommandSink sink(session.Link());
    const uint64_t mark = session.Observer().Mark();
    if (!SendBridge(sink, device, bridge, address).sent) {
        result.outcome = Outcome::kNotSent;
        result.detail = "not sent: no network adapter reaches " + device.ip;
        return Finish(result, o.format);
    }
    const RunSettings& s = session.Settings();
    const int64_t waitMs = o.waitSeconds
                               ? Ms(*o.waitSeconds)
                               : static_cast<int64_t>(s.retryCount + 1) * s.retryIntervalMs + 1000;
    WaitForOutcome(session, device, mark, waitMs, result);
    return Finish(result, o.format);
}

}  // namespace kestrix::cli
