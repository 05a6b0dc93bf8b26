#include "tools/cli/listings.h"

#include "base/language.h"
#include "fleet/adapter_rows.h"
#include "fleet/list_descriptor.h"
#include "fleet/list_rows.h"
#include "fleet/neighbour_texts.h"
#include "fleet/selection.h"
#include "store/field_texts.h"

namespace kestrix::cli {

namespace {

// Columns are declared with the JSON key and, for the table, the English
// heading key of the page the listing mirrors (translated when shown).
struct ColumnSpec {
    const char* key;
    const char* heading;
};

Listing MakeListing(std::initializer_list<ColumnSpec> specs,
                    std::initializer_list<const char*> tableKeys) {
    Listing l;
    for (const ColumnSpec& s : specs) {
        l.columns.push_back(Column{s.key, s.heading[0] != '\0' ? TranslateText(s.heading) : ""});
    }
    for (const char* want : tableKeys) {
        size_t index = 0;
        for (const ColumnSpec& s : specs) {
            if (std::string_view(s.key) == want) l.tableOrder.push_back(index);
            ++index;
        }
    }
    return l;
}

std::string Ip(const Ipv4Bytes& b) {
    return IpBytesToText(b);
}

}  // namespace

std::string SwitchWord(bool applies, uint8_t state) {
    if (!applies) return "n/a";
    return state != 0 ? "on" : "off";
}

Listing DeviceListing(const std::vector<ap_info_stu>& records) {
    // What scripts read: every field as a value of its own.
    Listing l = MakeListing({{"mac", ""},         {"ip", ""},
                             {"mask", ""},        {"gateway", ""},
                             {"dns1", ""},        {"dns2", ""},
                             {"name", ""},        {"type", ""},
                             {"model", ""},       {"mode", ""},
                             {"work_mode", ""},   {"ssid", ""},
                             {"channel", ""},     {"channel_text", ""},
                             {"version", ""},     {"transparent_bridge", ""},
                             {"pxsync", ""},      {"uptime", ""},
                             {"uptime_text", ""}, {"status", ""},
                             {"status_text", ""}, {"announced_only", ""}},
                            {});
    const size_t keyed = l.columns.size();
    // What people read: the status page's columns with its own cell texts
    // (an announced-only device shows only what it announced), then the
    // status, which the page shows only by colour.
    const ListDescriptor& page = DescriptorFor(ListPage::kStatus);
    std::vector<size_t> pageColumns;
    for (size_t c = 0; c < page.columns.size(); ++c) {
        const CellField field = page.columns[c].field;
        if (field == CellField::kTick || field == CellField::kOperate) continue;
        pageColumns.push_back(c);
        l.tableOrder.push_back(l.columns.size());
        l.columns.push_back(Column{"", TranslateText(page.columns[c].heading)});
    }
    l.tableOrder.push_back(keyed - 2);  // status_text
    l.columns[keyed - 2].heading = TranslateText("Status");

    for (size_t i = 0; i < records.size(); ++i) {
        const ap_info_stu& r = records[i];
        const DeviceInfoBlock info = r.info();
        const AddressBlock address = info.address();
        const WirelessBlock radio = info.wireless();
        const uint16_t type = r.ap_type();
        const uint32_t status = r.ap_status();

        std::vector<Cell> row = {
            Cell::Text(r.mac()),
            Cell::Text(Ip(address.ip())),
            Cell::Text(Ip(address.ip_mask())),
            Cell::Text(Ip(address.ip_gateway())),
            Cell::Text(Ip(address.ip_dns1())),
            Cell::Text(Ip(address.ip_dns2())),
            Cell::Text(info.ap_name()),
            Cell::Number(type),
            Cell::Text(ModelName(type)),
            Cell::Text(WorkModeText(info.work_mode())),
            Cell::Number(info.work_mode()),
            Cell::Text(radio.ssid()),
            Cell::Number(radio.channel()),
            Cell::Text(ChannelText(radio.channel())),
            Cell::Text(info.version()),
            Cell::Text(SwitchWord(SwitchApplies(SwitchKind::kTransparentBridge, r),
                                  SwitchState(SwitchKind::kTransparentBridge, r))),
            Cell::Text(SwitchWord(SwitchApplies(SwitchKind::kPxsync, r),
                                  SwitchState(SwitchKind::kPxsync, r))),
            Cell::Number(info.up_time()),
            Cell::Text(UptimeText(info.up_time())),
            Cell::Number(status),
            Cell::Text(StatusText(status)),
            Cell::Bool(status == kStatusAnnouncedOnly),
        };
        const ListRow shown = BuildListRow(
            page, r, SerialNumber(static_cast<int>(i), static_cast<int>(records.size()), 1));
        for (size_t c : pageColumns) row.push_back(Cell::Text(shown.cells[c].text));
        l.rows.push_back(std::move(row));
    }
    return l;
}

Listing NeighbourListing(const std::vector<config_otherwl_basic>& neighbours) {
    Listing l = MakeListing({{"mac", "MAC"},
                             {"ssid", "SingleName"},
                             {"channel", "Channel"},
                             {"security", ""},
                             {"security_text", "Secure"},
                             {"signal", "SingleStrength"},
                             {"exchannel", ""},
                             {"bandwidth", ""}},
                            {"ssid", "channel", "mac", "security_text", "signal"});
    for (const config_otherwl_basic& n : neighbours) {
        l.rows.push_back({
            Cell::Text(MacBytesToText(n.mac())),
            Cell::Text(n.ssid()),
            Cell::Number(n.channel()),
            Cell::Number(n.secure_mode()),
            Cell::Text(NeighbourSecurityText(n.secure_mode())),
            Cell::Number(n.signal()),
            Cell::Number(n.exchannel()),
            Cell::Number(n.bandwidth()),
        });
    }
    return l;
}

Listing AdapterListing(const std::vector<AdapterRecord>& adapters) {
    Listing l = MakeListing({{"id", "ID"},
                             {"name", "Name"},
                             {"description", "Description"},
                             {"mac", "MAC"},
                             {"ip", "IP"},
                             {"mask", ""}},
                            {});
    int id = 0;
    for (const AdapterRecord& a : adapters) {
        std::vector<std::string> ips;
        std::vector<std::string> masks;
        for (const AdapterAddress& e : a.entries) {
            ips.push_back(e.address);
            masks.push_back(e.mask);
        }
        l.rows.push_back({
            Cell::Number(++id),
            Cell::Text(a.name),
            Cell::Text(a.description),
            Cell::Text(AdapterMacText(a)),
            Cell::TextList(std::move(ips)),
            Cell::TextList(std::move(masks)),
        });
        // The addresses as the system tool page joins them.
        l.rows.back()[4].tableText = JoinAdapterAddresses(a.entries);
    }
    return l;
}

const char* OutcomeKey(Outcome outcome) {
    switch (outcome) {
        case Outcome::kDone:
            return "done";
        case Outcome::kNoAnswer:
            return "no_answer";
        case Outcome::kRefused:
            return "refused";
        case Outcome::kNotSent:
            return "not_sent";
        case Outcome::kNotReached:
            return "announced_only";
        case Outcome::kNotFound:
            return "not_found";
        case Outcome::kNoAddress:
            return "no_address";
        case Outcome::kSkipped:
            return "skipped";
        case Outcome::kCancelled:
            return "cancelled";
        case Outcome::kInterrupted:
            return "interrupted";
        case Outcome::kUpgraded:
            return "upgraded";
        case Outcome::kUpgradeFailed:
            return "upgrade_failed";
        case Outcome::kBridgeFailed:
            return "bridge_failed";
    }
    return "";
}

bool OutcomeCounts(Outcome outcome) {
    return outcome != Outcome::kSkipped;
}

bool OutcomeOk(Outcome outcome) {
    return outcome == Outcome::kDone || outcome == Outcome::kSkipped ||
           outcome == Outcome::kUpgraded;
}

Listing ResultListing(const std::vector<ActionResult>& results, bool withNewIp) {
    Listing l;
    l.columns = {{"mac", "MAC"}, {"ip", "IP"}, {"new_ip", "new"},
                 {"result", ""}, {"ok", ""},   {"detail", "Result"}};
    if (!withNewIp) l.columns.erase(l.columns.begin() + 2);
    l.tableHeadings = false;
    for (const ActionResult& r : results) {
        std::vector<Cell> row = {Cell::Text(r.mac), Cell::Text(r.ip)};
        if (withNewIp) {
            Cell to = Cell::Text(r.newIp);
            to.tableText = r.newIp.empty() ? std::string() : "-> " + r.newIp;
            row.push_back(std::move(to));
        }
        row.push_back(Cell::Text(OutcomeKey(r.outcome)));
        row.push_back(Cell::Bool(OutcomeOk(r.outcome)));
        row.push_back(Cell::Text(r.detail));
        l.rows.push_back(std::move(row));
    }
    return l;
}

}  // namespace kestrix::cli
