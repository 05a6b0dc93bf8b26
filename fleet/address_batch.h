#pragma once
// Consecutive addresses for several devices at once, as the batch address
// dialog hands them out: from the begin address up to the end address,
// never an address ending in .0 or .255, one per device in selection order.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "link/wire/wire_format.h"

namespace kestrix {

// What the operator entered (dotted texts; an empty gateway or DNS text
// means none).
struct AddressRange {
    std::string begin;
    std::string end;
    std::string mask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
};

// The new addresses in selection order. One device gets the begin address
// (the end address is not looked at). Several devices get the numbers from
// begin to end inclusive whose last octet is neither 0 nor 255; when the
// range runs out first, the list is shorter than `deviceCount` and the last
// devices get nothing.
std::vector<std::string> BatchAddresses(std::string_view begin, std::string_view end,
                                        size_t deviceCount);

// The block sent to a device: address mode 1 (fixed), the new address, the
// range's mask, gateway and DNS servers, applied at once.
AddressBlock MakeBatchAddressBlock(const AddressRange& range, std::string_view newIp);

}  // namespace kestrix
