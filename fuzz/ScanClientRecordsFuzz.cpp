// Fuzz target: any byte stream a client may send to a connection process. The process runs in
// a private network namespace (nothing can leave the machine) and device searches are turned
// into undefined commands, so no real USB device is ever opened.
#include "VornScanDaemon.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t kUndefinedCommand = 1000;

bool g_bNetworkIsPrivate = false;
char g_szFolder[] = "/tmp/vorn-fuzz-scan-XXXXXX";

const std::string& ScanFolder()
{
    static const std::string folder = [] {
        g_bNetworkIsPrivate = unshare(CLONE_NEWNET) == 0;
        if (mkdtemp(g_szFolder) == nullptr)
            abort();
        // No scan ever starts here, so the folder stays empty and can go at exit.
        atexit([] { rmdir(g_szFolder); });
        return std::string(g_szFolder);
    }();
    return folder;
}

bool IsRefused(int32_t code)
{
    if (code == USB_FIND_DEV || code == USB_REOPEN_DEV)
        return true;
    return !g_bNetworkIsPrivate && code >= TCP_SEND_OSL && code <= TCP_SCAN_DEVPROPERTIES;
}

// Rewrites every 4-byte word that the daemon could read as a refused command code. Words at
// every offset are checked, since short records shift where the next code is read.
std::vector<uint8_t> Defused(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    for (size_t at = 0; at + sizeof(int32_t) <= bytes.size(); ++at) {
        int32_t word = 0;
        memcpy(&word, &bytes[at], sizeof word);
        if (IsRefused(word))
            memcpy(&bytes[at], &kUndefinedCommand, sizeof kUndefinedCommand);
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = ScanFolder();
    if (size > 64 * 1024)
        return 0;
    const std::vector<uint8_t> bytes = Defused(data, size);
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    const int bufferSize = 1 << 20;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    if (!bytes.empty() && write(pair[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        close(pair[0]);
        close(pair[1]);
        return 0;
    }
    shutdown(pair[1], SHUT_WR);
    vorn_ServeClient(pair[0], folder);
    close(pair[0]);
    close(pair[1]);
    return 0;
}
