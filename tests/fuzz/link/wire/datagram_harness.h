#pragma once
// The receive path as the fuzzers drive it: one arbitrary datagram offered
// to each receiving port, and everything the program reads out of it.

#include <cstddef>
#include <cstdint>

#include "link/wire/wire_format.h"

namespace kestrix::fuzz {

// Offers the bytes as a datagram to the three receiving ports and, for every
// port that accepts it, hands the packet to HandleAcceptedPacket. The raw
// bytes also go through the text and address parsers, which take texts
// straight from devices and operators.
void FuzzDatagram(const uint8_t* data, size_t size);

// Reads an accepted packet the way the receivers' consumers do: every
// payload structure, every accessor, the text rule. The link's own packet
// handlers belong here too, behind the wire-level reading.
void HandleAcceptedPacket(const ReceivedPacket& packet, uint16_t localPort);

// Stops the run (libFuzzer records the input) when a property that must hold
// for every input does not.
void Require(bool condition, const char* what);

}  // namespace kestrix::fuzz
