#include "fleet/selection.h"

#include "store/field_texts.h"

namespace kestrix {

SelectedDevice SelectedFromRecord(const ap_info_stu& record) {
    const DeviceInfoBlock info = record.info();
    return SelectedDevice{IpBytesToText(info.address().ip()), record.mac(), record.ap_type()};
}

std::vector<SelectedDevice> SelectedFromRecords(const std::vector<ap_info_stu>& records) {
    std::vector<SelectedDevice> out;
    out.reserve(records.size());
    for (const ap_info_stu& r : records) out.push_back(SelectedFromRecord(r));
    return out;
}

bool SwitchApplies(SwitchKind kind, const ap_info_stu& record) {
    if (kind == SwitchKind::kPxsync) return PxsyncApplies(record.ap_type());
    return BridgeTransparentApplies(record.ap_type(), record.info().work_mode());
}

uint8_t SwitchState(SwitchKind kind, const ap_info_stu& record) {
    const ExtensionBlock extension = record.info().extension();
    return kind == SwitchKind::kPxsync ? extension.tdmaEn() : extension.bridge_transparent();
}

SwitchSelection SplitBySwitch(SwitchKind kind, const std::vector<ap_info_stu>& records) {
    SwitchSelection out;
    for (const ap_info_stu& r : records) {
        (SwitchApplies(kind, r) ? out.configurable : out.notApplicable).push_back(r);
    }
    return out;
}

}  // namespace kestrix
