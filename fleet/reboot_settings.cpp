#include "fleet/reboot_settings.h"

#include "base/text_utils.h"

namespace kestrix {

void RebootEntries::SetEnabled(bool on) {
    enabled = on;
    timeEnabled = on;
    weekdaysEnabled = on;
}

void RebootEntries::SetEveryday(bool on) {
    everyday = on;
    days.fill(on);
    weekdaysEnabled = !on && enabled;
}

RebootEntries FillRebootEntries(const RebootScheduleBlock& s) {
    RebootEntries e;
    e.SetEnabled(s.restart_en() != 0);
    bool all = true;
    for (size_t d = 0; d < 7; ++d) {
        e.days[d] = (s.restart_type() & kWeekdayBits[d]) != 0;
        all = all && e.days[d];
    }
    e.everyday = all;
    e.hour = std::to_string(s.restart_time() / 60);
    e.minute = std::to_string(s.restart_time() % 60);
    return e;
}

uint32_t ScheduleValue(const RebootScheduleBlock& s) {
    return LoadU32(s.data());
}

RebootResult CollectReboot(const RebootScheduleBlock& received, const RebootEntries& e) {
    RebootResult out;
    RebootScheduleBlock s = received;
    if (e.enabled) {
        std::array<bool, 8> boxes{};
        for (size_t d = 0; d < 7; ++d) boxes[d] = e.days[d];
        boxes[7] = e.everyday;
        if (RuleResult r = CheckRebootTime(e.hour, e.minute, boxes); !r) {
            const ConfigField field =
                r.key == "Please selectting the day that you want to reboot!"
                    ? ConfigField::kRebootDays
                : e.hour.empty() || ReadDecimal(e.hour) < 0 || ReadDecimal(e.hour) > 23
                    ? ConfigField::kRebootHour
                    : ConfigField::kRebootMinute;
            out.failure = ConfigFailure{std::move(r), ConfigTab::kReboot, field};
            return out;
        }
        uint8_t bits = 0;
        for (size_t d = 0; d < 7; ++d) {
            if (e.days[d]) bits |= kWeekdayBits[d];
        }
        s.set_restart_en(1);
        s.set_restart_type(bits);
        const int32_t minutes = ReadDecimal(e.hour.empty() ? "0" : e.hour) * 60 +
                                ReadDecimal(e.minute.empty() ? "0" : e.minute);
        s.set_restart_time(static_cast<uint16_t>(minutes));
    } else {
        s.set_restart_en(0);
    }
    out.schedule = s;
    out.changed = ScheduleValue(s) != ScheduleValue(received);
    return out;
}

}  // namespace kestrix
