// Fuzz target: whatever a USB scanner may put on its bulk IN endpoint, fed to the data record
// parser and the command reply reader through the swappable bulk read. The input is a list of
// transfers, each a length byte and that many bytes (length 0: a read that timed out).
#include "commDef.h"
#include "usbcommanddef.h"
#include "usbfs.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Any positive number passes the layer's descriptor check; nothing is ever opened.
constexpr int kFakeDevice = 1;
// Bound on records per input, in case a stream keeps the parser going without an ending.
constexpr int kMaxRecords = 4096;

const uint8_t* g_pNext = nullptr;
const uint8_t* g_pEnd = nullptr;

// One transfer per read, cut to what the caller asked for; the device is gone at the end.
int ReadTransfer(int, void* data, int size, int)
{
    if (g_pNext >= g_pEnd)
        return -1;
    size_t length = *g_pNext++;
    length = std::min<size_t>(length, g_pEnd - g_pNext);
    const size_t taken = std::min<size_t>(length, static_cast<size_t>(size));
    memcpy(data, g_pNext, taken);
    g_pNext += length;
    return static_cast<int>(taken);
}

void ReadRecords()
{
    std::vector<unsigned char> buffer;
    int silentReads = 0;
    for (int i = 0; i < kMaxRecords; ++i) {
        int status = SCAN_STATUS_OPERATION_CONTINUOUS;
        uint16_t readSize = 0;
        const int result = ScanRecord(kFakeDevice, status, buffer, readSize, silentReads);
        // The data process hands exactly readSize bytes of the buffer on to the page file.
        if (readSize > buffer.size())
            __builtin_trap();
        if (result != SANE_STATUS_GOOD)
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    vorn_set_bulk_read(ReadTransfer);
    g_pNext = data + 1;
    g_pEnd = data + size;
    // The first byte picks the reader: the record stream, or the reply to one kind of command.
    const int choice = data[0] % (CMD_TYPE_SCAN_RECORD + 1);
    if (choice == CMD_TYPE_SCAN_RECORD) {
        ReadRecords();
    } else {
        ResponseScanner(kFakeDevice, static_cast<CommandType>(choice));
    }
    vorn_set_bulk_read(nullptr);
    return 0;
}
