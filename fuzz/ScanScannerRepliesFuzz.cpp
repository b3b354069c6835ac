// Fuzz target: what a network scanner may answer. The first byte picks the parser: the job
// reply, the capability page, the ADF page, or the data stream read record by record.
#include "tcpcommanddef.h"

#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

void ReadStream(const uint8_t* data, size_t size)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    const int bufferSize = 1 << 20;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    if (size > 0 && write(pair[1], data, size) != static_cast<ssize_t>(size)) {
        close(pair[0]);
        close(pair[1]);
        return;
    }
    close(pair[1]);
    VornSocket sock {};
    sock.tcpFromScanner = pair[0];
    std::vector<unsigned char> buffer;
    int status = 0;
    int readSize = 0;
    while (vorn_tcp_ScanRecord(&sock, status, buffer, readSize) == SANE_STATUS_GOOD) {
        if (readSize < 0 || static_cast<size_t>(readSize) > buffer.size())
            __builtin_trap();
    }
    if (sock.tcpFromScanner != -1)
        __builtin_trap();  // every ending closes the data connection
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 256 * 1024)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        vorn_http_ScanStartResult(text.c_str());
        break;
    case 1: {
        ScannerCapabilities caps {};
        vorn_ParseScanCapabilities(&caps, text.c_str());
        break;
    }
    case 2: {
        int status = 0;
        vorn_ParseAdfStatus(text.data(), text.size(), &status);
        break;
    }
    default:
        ReadStream(data + 1, size - 1);
        break;
    }
    return 0;
}
