#pragma once
// The rows of the system tool page: one per local adapter the link uses,
// with its position, description, MAC and IPv4 addresses.

#include <string>
#include <vector>

#include "link/adapters.h"

namespace kestrix {

struct AdapterRow {
    std::string id;  // position in the list, from 1
    std::string description;
    std::string mac;
    std::string ips;
};

// The addresses in order, "--" between two of them and nothing after the
// last; no address gives an empty text.
std::string JoinAdapterAddresses(const std::vector<AdapterAddress>& entries);

std::vector<AdapterRow> BuildAdapterRows(const std::vector<AdapterRecord>& adapters);

}  // namespace kestrix
