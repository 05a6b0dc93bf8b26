#pragma once
// The device link's settings in Setting.ini ([Setting] retransmission_max,
// retransmission_interval, adapters), read and bounded the same way for
// the desktop application and kestrix-cli.

#include <string>
#include <vector>

namespace kestrix {

struct LinkSettings {
    // Retries of an unanswered command and the time between them. Bounded:
    // an interval of 0 would make the retransmitter spin, and an edited
    // file must not turn the tool into a busy loop or a flood.
    static constexpr int kMinRetries = 0;
    static constexpr int kMaxRetries = 100;
    static constexpr int kMinIntervalMs = 10;
    static constexpr int kMaxIntervalMs = 600000;

    int retransmission_max = 3;
    int retransmission_interval = 2000;
    // Interface names the link may use; empty means every adapter.
    std::vector<std::string> adapters;
};

// Reads the settings from `programDir`/Setting.ini (`programDir` ends with
// a separator); keys missing from the file keep their defaults, numbers out
// of bounds are held at the nearer bound.
LinkSettings LoadLinkSettings(const std::string& programDir);

// The one bounding rule, for values that come from elsewhere.
LinkSettings ClampLinkSettings(LinkSettings settings);

}  // namespace kestrix
