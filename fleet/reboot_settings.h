#pragma once
// The weekly reboot of one device (the "TimeReboot" tab and `kestrix-cli
// configure`): on or off, a time of day, the weekdays; Save makes the
// 4-byte RebootScheduleBlock and a changed flag of it.

#include <array>
#include <optional>
#include <string>

#include "fleet/config_field.h"
#include "link/wire/wire_format.h"

namespace kestrix {

// Monday..Sunday in the order of the boxes; bit 0x01 is not used.
inline constexpr std::array<uint8_t, 7> kWeekdayBits = {0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
inline constexpr uint8_t kEveryDayBits = 0xFE;

struct RebootEntries {
    bool enabled = false;
    std::string hour;
    std::string minute;
    std::array<bool, 7> days{};
    bool everyday = false;
    // What can be touched: the time edits and "Everyday" follow the enable
    // box; the weekdays too, but are locked while "Everyday" is clicked on.
    bool timeEnabled = false;
    bool weekdaysEnabled = false;

    // The enable box clicked.
    void SetEnabled(bool on);
    // "Everyday" clicked: ticks and locks the seven weekdays, or unticks
    // and frees them.
    void SetEveryday(bool on);
};

// Fill, the enable state first: a schedule of all seven days opens with
// "Everyday" ticked and the weekdays still free.
RebootEntries FillRebootEntries(const RebootScheduleBlock& schedule);

struct RebootResult {
    std::optional<ConfigFailure> failure;  // set: not valid
    RebootScheduleBlock schedule;
    bool changed = false;
};
RebootResult CollectReboot(const RebootScheduleBlock& received, const RebootEntries& entries);

// The schedule value as one 32-bit number (restart_en, restart_type,
// restart_time little-endian).
uint32_t ScheduleValue(const RebootScheduleBlock& schedule);

}  // namespace kestrix
