#pragma once
// The address settings of one device (the "IPSET" tab and
// `kestrix-cli configure`): the five addresses and the device name, and
// what Save makes of them: the 22-byte AddressBlock, the 33-byte NameBlock
// and a changed flag for each. The address rules run only when an address
// changed, so a device whose stored addresses would fail them can still
// be renamed.

#include <string>
#include <vector>

#include "fleet/config_field.h"
#include "link/wire/wire_format.h"

namespace kestrix {

struct AddressEntries {
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
    std::string name;
};

// Fill: the record's addresses as "%d.%d.%d.%d" and its name.
AddressEntries FillAddressEntries(const ap_info_stu& record);

struct AddressResult {
    std::optional<ConfigFailure> failure;  // set: not valid
    AddressBlock address;                  // filled whenever valid; apply byte 1
    NameBlock name;
    bool addressChanged = false;
    bool nameChanged = false;
};

// `storedIps`: the address of every stored device, online or not.
AddressResult CollectAddress(const ap_info_stu& record, const AddressEntries& entries,
                             const std::vector<std::string>& storedIps);

// The address field a rule's message is about (the address rules name no
// field of their own).
ConfigField AddressFieldOf(const RuleResult& rule);

}  // namespace kestrix
