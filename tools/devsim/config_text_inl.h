#pragma once
// Template part of config_text.h.

#include <algorithm>
#include <string>

namespace kestrix::devsim {

template <class MacLookup>
bool ParseSelector(std::string_view text, int count, const MacLookup& macIndex,
                   std::vector<int>& out, std::string& err) {
    out.clear();
    if (text == "none") return true;
    if (text == "all") {
        for (int i = 0; i < count; ++i) out.push_back(i);
        return true;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view part = text.substr(start, comma - start);
        start = comma + 1;
        if (part.empty()) {
            err = "empty item in device selector '" + std::string(text) + "'";
            return false;
        }
        if (part.find(':') != std::string_view::npos) {
            auto mac = ParseMacStrict(part);
            int index = mac ? macIndex(*mac) : -1;
            if (index < 0) {
                err = "no device has the MAC '" + std::string(part) + "'";
                return false;
            }
            out.push_back(index);
            continue;
        }
        size_t dash = part.find('-');
        auto first = ParseInteger(part.substr(0, dash), 0, count - 1);
        auto last = dash == std::string_view::npos
                        ? first
                        : ParseInteger(part.substr(dash + 1), 0, count - 1);
        if (!first || !last || *last < *first) {
            err = "device selector '" + std::string(part) +
                  "' is not an index or range within 0.." + std::to_string(count - 1);
            return false;
        }
        for (long long i = *first; i <= *last; ++i) out.push_back(static_cast<int>(i));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

}  // namespace kestrix::devsim
