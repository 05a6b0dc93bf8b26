#include "store/device_row.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/text_utils.h"
#include "link/wire/addr_text.h"
#include "link/wire/byte_io.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

enum class Kind : uint8_t {
    MacKey,  // the record's MAC text at 0
    Status,  // written as 1 ("Online"), read back as the value
    U8,
    U16,
    U32,
    Ip,       // four bytes <-> "%d.%d.%d.%d"
    IpNum,    // numeric value of the ip text, for sorting; never read back
    Mac,      // six bytes <-> "%02x:..:%02x"
    Text,     // `cap`-byte area, length byte right after it
    Derived,  // a display text computed from codes; never read back
};

enum class Derived : uint8_t {
    None,
    ModelName,
    StatusText,
    WorkModeText,
    UptimeText,
    SecureModeText,
    BridgeTransparentText,
    TdmaEnText,
};

struct Column {
    const char* name;
    Kind kind;
    uint16_t offset = 0;
    uint8_t cap = 0;
    bool readBack = true;
    Derived derived = Derived::None;
};

constexpr Column Num(const char* name, Kind kind, uint16_t offset, bool readBack = true) {
    return {name, kind, offset, 0, readBack, Derived::None};
}
constexpr Column Txt(const char* name, uint16_t offset, uint8_t cap, bool readBack = true) {
    return {name, Kind::Text, offset, cap, readBack, Derived::None};
}
constexpr Column Disp(const char* name, Derived derived) {
    return {name, Kind::Derived, 0, 0, false, derived};
}

// Offsets are those of ap_info_stu (the 756-byte device information starts
// at 24). The WEP key areas are 26 bytes; reading 64 bytes there would run
// into the following key's type byte and text.
constexpr std::array<Column, kDeviceDataColumns> kColumns = {{
    Num("mac", Kind::MacKey, 0),
    Num("ap_type", Kind::U16, 18),
    Disp("ap_type_str", Derived::ModelName),
    Num("ap_status", Kind::Status, 20),
    Disp("ap_status_str", Derived::StatusText),
    Num("work_mode", Kind::U8, 24),
    Disp("work_mode_str", Derived::WorkModeText),
    Num("mode_btn_status", Kind::U8, 25),
    Num("up_time", Kind::U32, 28),
    Disp("up_time_str", Derived::UptimeText),
    Num("ip_mode", Kind::U8, 32),
    Num("ip_num", Kind::IpNum, 33, false),
    Num("ip", Kind::Ip, 33),
    Num("ip_mask", Kind::Ip, 37),
    Num("ip_gateway", Kind::Ip, 41),
    Num("ip_dns1", Kind::Ip, 45),
    Num("ip_dns2", Kind::Ip, 49),
    Txt("ap_name", 54, 32),
    Txt("version", 87, 32),
    Num("restart_en", Kind::U8, 120),
    Num("restart_type", Kind::U8, 121),
    Num("restart_time", Kind::U16, 122),
    Num("rf_count", Kind::U8, 124),
    Num("rf_en", Kind::U8, 125),
    Num("rf_type", Kind::U8, 126),
    Num("country_code", Kind::U8, 127),
    Num("network_mode", Kind::U8, 128),
    Num("bandwidth", Kind::U8, 129),
    Num("channel", Kind::U8, 130),
    Num("expand_channel", Kind::U8, 131),
    Num("tx_power", Kind::U8, 132),
    Num("tx_power_min", Kind::U8, 133),
    Num("tx_power_max", Kind::U8, 134),
    Num("ssid_count", Kind::U8, 450),
    Num("ssid_rf_type", Kind::U8, 146),
    Num("ssid_id", Kind::U8, 147),
    Num("ssid_hide", Kind::U8, 148),
    Num("ssid_mac", Kind::Mac, 149),
    Txt("ssid", 155, 32),
    Num("secure_mode", Kind::U8, 188),
    Disp("secure_mode_str", Derived::SecureModeText),
    Num("wpapsk_auth_type", Kind::U8, 189),
    Txt("wpapsk_key_value", 190, 64),
    Num("wpapsk_key_time", Kind::U32, 255),
    Num("wep_auth_type", Kind::U8, 259),
    Num("wep_key_index", Kind::U8, 260),
    Txt("wep_key_value0", 262, 26),
    Num("wep_key_type0", Kind::U8, 261),
    Txt("wep_key_value1", 290, 26),
    Num("wep_key_type1", Kind::U8, 289),
    Txt("wep_key_value2", 318, 26),
    Num("wep_key_type2", Kind::U8, 317),
    Txt("wep_key_value3", 346, 26),
    Num("wep_key_type3", Kind::U8, 345),
    Num("wpa_auth_type", Kind::U8, 380),
    Num("wpa_radius_ip", Kind::Ip, 374),
    Num("wpa_radius_port", Kind::U16, 378),
    Txt("wpa_key", 381, 64),
    Num("wpa_key_time", Kind::U32, 446),
    // Bridge partner fields are stored for the bridge questions but a
    // record read from the store leaves them zero.
    Num("bridge_mac", Kind::Mac, 453, false),
    Num("bridge_work_mode", Kind::U8, 452, false),
    Num("bridge_channel", Kind::U8, 459, false),
    Txt("bridge_ssid", 460, 32, false),
    Num("vlan_en", Kind::U8, 756),
    Num("vlan_id", Kind::U16, 758),
    Num("vlan_id_wlan", Kind::U16, 760),
    Num("vlan_id_lan", Kind::U16, 762),
    Num("bridge_transparent", Kind::U8, 766),
    Disp("bridge_transparent_str", Derived::BridgeTransparentText),
    Num("tdmaEn", Kind::U8, 767),
    Disp("tdmaEn_str", Derived::TdmaEnText),
    Num("vlan_pvid", Kind::U16, 768),
    Num("vlan_id_lan3", Kind::U16, 770),
    Num("vlan_id_lan4", Kind::U16, 772),
    Num("wl_dfs", Kind::U8, 778),
}};

std::string DerivedText(Derived d, const ap_info_stu& r) {
    const uint8_t* b = r.data();
    const uint32_t type = LoadU16(b + 18);
    const uint32_t workMode = b[24];
    switch (d) {
        case Derived::ModelName:
            return ModelName(type);
        case Derived::StatusText:
            return StatusText(kStatusOnline);
        case Derived::WorkModeText:
            return WorkModeText(workMode);
        case Derived::UptimeText:
            return UptimeText(LoadU32(b + 28));
        case Derived::SecureModeText:
            return SecureModeText(b[188]);
        case Derived::BridgeTransparentText:
            return BridgeTransparentText(type, workMode, b[766]);
        case Derived::TdmaEnText:
            return TdmaEnText(type, b[767]);
        case Derived::None:
            break;
    }
    return {};
}

// Columns of type long hold signed 32-bit values; a u32 field keeps its
// bits and comes back unchanged.
int64_t AsLong(uint32_t v) {
    return static_cast<int32_t>(v);
}

}  // namespace

std::string TrimText(std::string_view text) {
    return std::string(TrimWhiteSpace(text));
}

const char* DeviceColumnName(size_t index) {
    return index < kColumns.size() ? kColumns[index].name : "";
}

DeviceRowValues BuildDeviceRow(const ap_info_stu& record) {
    DeviceRowValues row;
    const uint8_t* b = record.data();
    for (size_t i = 0; i < kColumns.size(); ++i) {
        const Column& c = kColumns[i];
        SqlValue& v = row.values[i];
        switch (c.kind) {
            case Kind::MacKey:
                v = record.mac();
                break;
            case Kind::Status:
                v = int64_t{kStatusOnline};
                break;
            case Kind::U8:
                v = int64_t{b[c.offset]};
                break;
            case Kind::U16:
                v = int64_t{LoadU16(b + c.offset)};
                break;
            case Kind::U32:
                v = AsLong(LoadU32(b + c.offset));
                break;
            case Kind::Ip:
                v = IpBytesToText(b + c.offset);
                break;
            case Kind::IpNum:
                v = static_cast<int64_t>(IpTextToNumber(IpBytesToText(b + c.offset)));
                break;
            case Kind::Mac:
                v = MacBytesToText(b + c.offset);
                break;
            case Kind::Text:
                v = ReadFixedText(b + c.offset, c.cap, b[c.offset + c.cap]);
                break;
            case Kind::Derived:
                v = DerivedText(c.derived, record);
                break;
        }
    }
    return row;
}

bool WriteDeviceRow(CADORecordset& rows, const DeviceRowValues& row) {
    bool ok = true;
    for (size_t i = 0; i < kColumns.size(); ++i) {
        const Column& c = kColumns[i];
        const SqlValue& v = row.values[i];
        if (c.kind == Kind::IpNum) {
            ok = rows.WriteIpNum(static_cast<uint32_t>(std::get<int64_t>(v))) && ok;
        } else if (const auto* text = std::get_if<std::string>(&v)) {
            ok = rows.WriteText(c.name, *text) && ok;
        } else {
            ok = rows.WriteInt32(c.name, static_cast<int32_t>(std::get<int64_t>(v))) && ok;
        }
    }
    return ok;
}

void ReadDeviceRow(CADORecordset& rows, ap_info_stu& record) {
    record = ap_info_stu();
    uint8_t* b = record.data();
    std::string text;
    int32_t n = 0;
    for (const Column& c : kColumns) {
        if (!c.readBack) continue;
        switch (c.kind) {
            case Kind::MacKey:
                if (rows.ReadText(c.name, text)) record.set_mac(TrimText(text));
                break;
            case Kind::Status:
            case Kind::U32:
                if (rows.ReadInt32(c.name, n)) StoreU32(b + c.offset, static_cast<uint32_t>(n));
                break;
            case Kind::U8:
                if (rows.ReadInt32(c.name, n)) b[c.offset] = static_cast<uint8_t>(n);
                break;
            case Kind::U16:
                if (rows.ReadInt32(c.name, n)) StoreU16(b + c.offset, static_cast<uint16_t>(n));
                break;
            case Kind::Ip:
                if (rows.ReadText(c.name, text)) {
                    const Ipv4Bytes ip = IpTextToBytes(TrimText(text));
                    std::memcpy(b + c.offset, ip.data(), ip.size());
                }
                break;
            case Kind::Mac:
                if (rows.ReadText(c.name, text)) {
                    const MacBytes mac = MacTextToBytes(TrimText(text));
                    std::memcpy(b + c.offset, mac.data(), mac.size());
                }
                break;
            case Kind::Text:
                if (rows.ReadText(c.name, text)) {
                    WriteFixedText(b + c.offset, c.cap, b + c.offset + c.cap, TrimText(text));
                }
                break;
            case Kind::IpNum:
            case Kind::Derived:
                break;
        }
    }
}

}  // namespace kestrix
