// libFuzzer entry point: every input is one datagram as a device might send it.

#include <cstddef>
#include <cstdint>

#include "tests/fuzz/link/wire/datagram_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::fuzz::FuzzDatagram(data, size);
    return 0;
}
