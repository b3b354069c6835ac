// vorn-scan-client: drives a whole scan through a running VornScanDaemon and reports the pages
// and their sizes, so the daemon can be tried by hand.
#include "VornScanClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

struct stOptions {
    std::string scanner;
    int usbVendor = -1;
    int usbProduct = -1;
    SettingInfo info {};
    bool keepPages = false;
    bool queryOnly = false;
};

void Usage(const char* program)
{
    fprintf(stderr,
            "usage: %s --scanner IPv4 [--dpi N] [--depth 1|8|24] [--jpeg] [--feeder] [--keep] [--query]\n"
            "       %s --find-usb VID[:PID]   (hexadecimal ids)\n"
            "Scans through the daemon on 127.0.0.1:7001, prints every page file with its size and\n"
            "removes the pages afterwards; --keep copies them into the working folder first, since the\n"
            "daemon removes a connection's pages when it ends. --query prints the scanner's\n"
            "capabilities and feeder state instead of scanning.\n",
            program, program);
}

bool Parse(int argc, char** argv, stOptions& options)
{
    options.info.bitDepth = 24;
    options.info.xResolution = options.info.yResolution = 300;
    options.info.width = 2550;
    options.info.height = 3300;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--scanner" && hasValue) {
            options.scanner = argv[++i];
        } else if (option == "--dpi" && hasValue) {
            options.info.xResolution = options.info.yResolution = static_cast<uint16_t>(atoi(argv[++i]));
        } else if (option == "--depth" && hasValue) {
            options.info.bitDepth = static_cast<uint8_t>(atoi(argv[++i]));
        } else if (option == "--jpeg") {
            options.info.compType = COMPRESSION_JPEG;
        } else if (option == "--feeder") {
            options.info.feederEnabled = true;
        } else if (option == "--keep") {
            options.keepPages = true;
        } else if (option == "--query") {
            options.queryOnly = true;
        } else if (option == "--find-usb" && hasValue) {
            char* end = nullptr;
            options.usbVendor = static_cast<int>(strtol(argv[++i], &end, 16));
            if (end != nullptr && *end == ':')
                options.usbProduct = static_cast<int>(strtol(end + 1, nullptr, 16));
        } else {
            return false;
        }
    }
    return !options.scanner.empty() || options.usbVendor >= 0;
}

int FindUsb(VornScanClient& client, const stOptions& options)
{
    int32_t count = 0;
    std::vector<USBFindDevRes> devices;
    if (!client.FindDevices(options.usbVendor, options.usbProduct, options.usbProduct >= 0, count, devices)) {
        fprintf(stderr, "the daemon did not answer the device search\n");
        return 1;
    }
    printf("%d device(s)\n", count);
    for (const USBFindDevRes& device : devices)
        printf("  fd %d  %04x:%04x  %s / %s / %s\n", device.fd, device.vid & 0xFFFF, device.pid & 0xFFFF,
               device.Manufacturer, device.Product, device.SerialNumber);
    return 0;
}

int Query(VornScanClient& client, const stOptions& options)
{
    TCPDevPropertiesRes caps {};
    TCPADFStatusRes adf {};
    if (!client.TcpDeviceProperties(options.scanner.c_str(), caps) || !client.TcpAdfStatus(options.scanner.c_str(), adf)) {
        fprintf(stderr, "the daemon did not answer\n");
        return 1;
    }
    printf("capabilities: result %d, duplex %d, colour %d, %u-%u dpi, basic %u dpi, max %ux%u\n", caps.result,
           caps.devPro.duplex, caps.devPro.color, caps.devPro.minres, caps.devPro.maxres, caps.devPro.basicres,
           caps.devPro.maxWidth, caps.devPro.maxHeight);
    printf("feeder: result %d, state %d (1 empty, 2 loaded, 3 jammed)\n", adf.result, adf.st);
    return caps.result == 0 && adf.result == 0 ? 0 : 1;
}

// The daemon removes a connection's pages once it ends, so a page is kept by copying it out.
bool KeepPage(const std::string& pagePath)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::path(pagePath).filename();
    std::filesystem::copy_file(pagePath, target, std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        fprintf(stderr, "cannot keep %s: %s\n", pagePath.c_str(), error.message().c_str());
    return !error;
}

int Scan(VornScanClient& client, const stOptions& options)
{
    VornScanClient::stScanOutcome scan;
    if (!client.RunTcpScan(options.scanner.c_str(), options.info, scan)) {
        fprintf(stderr, "the daemon stopped answering during the scan\n");
        return 1;
    }
    if (scan.start.result != SANE_STATUS_GOOD) {
        printf("scan start refused: result %d\n", scan.start.result);
        return 1;
    }
    long long total = 0;
    for (const VornScanClient::stPage& page : scan.pages) {
        printf("page %d: %s, %lld bytes\n", page.index, page.fileName.c_str(), page.bytes);
        total += page.bytes > 0 ? page.bytes : 0;
        if (options.keepPages)
            KeepPage(page.fileName);
        client.DeleteFile(page.fileName);
    }
    printf("%zu page(s), %lld bytes, %zu records, last result %d%s\n", scan.pages.size(), total,
           scan.records.size(), scan.lastResult, scan.lastResult == SANE_STATUS_EOF ? " (complete)" : "");
    return scan.lastResult == SANE_STATUS_EOF ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    stOptions options;
    if (!Parse(argc, argv, options)) {
        Usage(argv[0]);
        return 2;
    }
    VornScanClient client;
    if (!client.Connect("127.0.0.1", kVornScanDaemonPort, 60)) {
        fprintf(stderr, "cannot reach the scan daemon on 127.0.0.1:%d\n", kVornScanDaemonPort);
        return 1;
    }
    if (options.usbVendor >= 0)
        return FindUsb(client, options);
    return options.queryOnly ? Query(client, options) : Scan(client, options);
}
