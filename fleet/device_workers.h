#pragma once
// What the action workers of the status, reboot and restore pages send, in
// which order, shared by the desktop pages and the command-line front end.
// A worker copies its inputs, sends through a CommandSink (the device link
// in the program, a recorder in tests) and returns what it sent; it never
// waits for a device. Each one stops between two devices once its stop
// token is set.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/address_batch.h"
#include "fleet/selection.h"
#include "fleet/validation.h"
#include "link/wire/wire_format.h"

namespace kestrix {

class DeviceLink;

// The two link operations the workers use.
class CommandSink {
public:
    virtual ~CommandSink() = default;
    virtual bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                              size_t length, const std::string& mac, bool registerRetry) = 0;
    virtual void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                                const std::string& newIp) = 0;
};

class LinkCommandSink : public CommandSink {
public:
    explicit LinkCommandSink(DeviceLink& link) : link_(link) {}
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override;
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp) override;

private:
    DeviceLink& link_;
};

// One command a worker handed to the link, and what SendToDevice answered
// (false: no adapter reaches the device's address, nothing went out).
struct SentCommand {
    SelectedDevice device;
    MsgType type = MsgType::Announce;
    bool sent = false;
    std::string newIp;  // SetAddress only
};

// ---- Rename (the status page's Location cell) -------------------------------

struct RenameDecision {
    enum class Kind {
        kUnchanged,  // same text as before: nothing is sent
        kEmpty,      // empty text: the old name comes back, nothing is sent
        kRejected,   // the name rule failed: show `rule`, nothing is sent
        kSend,       // send `name`
    };
    Kind kind = Kind::kUnchanged;
    RuleResult rule;
    std::string name;  // the name to send, cut to at most 32 bytes
};
RenameDecision DecideRename(std::string_view newName, std::string_view oldName, uint32_t typeCode);
// SetName with the name in the form devices take, retransmitted until answered.
SentCommand SendRename(CommandSink& sink, const SelectedDevice& device, std::string_view name);

// ---- Transparent bridging and PX-SYNC switches ------------------------------

MsgType SwitchCommand(SwitchKind kind);
// One command per device, in order; the block carries only this switch's byte.
std::vector<SentCommand> RunSwitchWorker(CommandSink& sink,
                                         const std::vector<SelectedDevice>& selection,
                                         SwitchKind kind, bool on, std::stop_token stop = {});

// ---- Batch addresses ---------------------------------------------------------

// Gives the devices the addresses of BatchAddresses in selection order, each
// announced to the link (NoteNewAddress) before its SetAddress goes out.
// Devices left without an address appear with an empty newIp and sent false.
std::vector<SentCommand> RunBatchAddressWorker(CommandSink& sink,
                                               const std::vector<SelectedDevice>& selection,
                                               const AddressRange& range,
                                               std::stop_token stop = {});

// ---- Reading a change back ---------------------------------------------------

// A device answers SetName and the two switches without saying what it now
// holds, and the store learns a device's settings only from its DeviceInfo:
// asking for it right after such a command lets the next refresh show the
// new value instead of the old one until the next search. Retransmitted
// until answered.
SentCommand RequestDeviceInfo(CommandSink& sink, const SelectedDevice& device);

// ---- Neighbour scan (the bridge wizard's scan worker) ----------------------

// One ScanNeighbours; the device answers with reports, not a reply, so the
// link does not retransmit it.
SentCommand SendNeighbourScan(CommandSink& sink, const SelectedDevice& device);

// ---- Reboot and restore ------------------------------------------------------

// Devices that stations are bridged to go first, so that no access point
// drops a station's link before the station has its own command.
struct RebootOrder {
    std::vector<SelectedDevice> first;   // have a bridged station, list order
    std::vector<SelectedDevice> second;  // the others, list order
};
RebootOrder OrderForReboot(const std::vector<SelectedDevice>& selection,
                           const std::function<bool(const std::string& mac)>& hasBridgedStation);

inline constexpr std::chrono::milliseconds kRebootPassPause{200};

// Sends `command` (Reboot or Restore) to the first group, pauses, then to
// the second group. `pause` defaults to a sleep that a stop request cuts short.
using PauseFunction = std::function<void(std::chrono::milliseconds, std::stop_token)>;
std::vector<SentCommand> RunRebootWorker(
    CommandSink& sink, const std::vector<SelectedDevice>& selection, MsgType command,
    const std::function<bool(const std::string& mac)>& hasBridgedStation, std::stop_token stop = {},
    const PauseFunction& pause = {});

// Sleeps for `duration` or until `stop` is requested, whichever comes first.
void InterruptibleSleep(std::chrono::milliseconds duration, std::stop_token stop);

}  // namespace kestrix
