#include "base/link_settings.h"

#include <algorithm>

#include "base/appearance.h"
#include "base/profile.h"
#include "base/text_utils.h"

namespace kestrix {

namespace {

std::vector<std::string> ParseAdapterList(std::string_view text) {
    std::vector<std::string> names;
    for (std::string item : SplitList(text)) {
        size_t first = item.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        size_t last = item.find_last_not_of(" \t");
        names.push_back(item.substr(first, last - first + 1));
    }
    return names;
}

}  // namespace

LinkSettings ClampLinkSettings(LinkSettings s) {
    s.retransmission_max =
        std::clamp(s.retransmission_max, LinkSettings::kMinRetries, LinkSettings::kMaxRetries);
    s.retransmission_interval = std::clamp(s.retransmission_interval, LinkSettings::kMinIntervalMs,
                                           LinkSettings::kMaxIntervalMs);
    return s;
}

LinkSettings LoadLinkSettings(const std::string& programDir) {
    const std::string file = programDir + "Setting.ini";
    LinkSettings s;
    s.retransmission_max = ReadDecimal(ReadSetting(file, "Setting", "retransmission_max", "3"));
    s.retransmission_interval =
        ReadDecimal(ReadSetting(file, "Setting", "retransmission_interval", "2000"));
    // A list of interface names can be longer than one 63-character value.
    s.adapters = ParseAdapterList(ReadProfileString(file, "Setting", "adapters", "", 1024));
    return ClampLinkSettings(std::move(s));
}

}  // namespace kestrix
