// Fuzzes the conversion of string descriptors, whose bytes come straight from a device.
#include "usbfs.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the caller's buffer size; the rest is the descriptor as read.
    std::vector<char> buf(data[0]);
    std::vector<unsigned char> raw(data + 1, data + size);
    vorn_decode_string_descriptor(raw.data(), int(raw.size()), buf.data(), buf.size());
    return 0;
}
