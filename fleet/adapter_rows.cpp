#include "fleet/adapter_rows.h"

#include "link/wire/addr_text.h"

namespace kestrix {

std::string JoinAdapterAddresses(const std::vector<AdapterAddress>& entries) {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) text += "--";
        text += entries[i].address;
    }
    return text;
}

std::vector<AdapterRow> BuildAdapterRows(const std::vector<AdapterRecord>& adapters) {
    std::vector<AdapterRow> rows;
    rows.reserve(adapters.size());
    for (size_t i = 0; i < adapters.size(); ++i) {
        const AdapterRecord& a = adapters[i];
        rows.push_back({std::to_string(i + 1), a.description, AdapterMacText(a),
                        JoinAdapterAddresses(a.entries)});
    }
    return rows;
}

}  // namespace kestrix
