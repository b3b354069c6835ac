// Measures how fast scan data comes through the daemon's USB layer: a simulated scanner on a
// private umockdev bus plays a scan, and the layer reads it record by record as the daemon's
// data process does. Beside it, in the same run, the same scan drained with bare usbfs bulk
// ioctls of the same piece size, so the figure separates the layer from the simulated bus.
// Usage: vorn-bench-usbscan [megabytes]
#include "UsbScanner.h"
#include "UsbTestbed.h"
#include "commDef.h"
#include "usbcommanddef.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int c_iPages = 4;
constexpr size_t c_uDefaultMegabytes = 8;
constexpr unsigned int c_uPieceSize = 512;  // the layer's bulk piece size
constexpr unsigned int c_uTimeoutMs = 1000;
// From small records up to the largest image block one record can announce.
const size_t c_aRecordBytes[] = {4096, 65000};

struct stRun {
    size_t uBytes = 0;
    double dSeconds = 0;
    bool bComplete = true;
};

// Reads the scan through the layer; counts image bytes.
stRun ReadThroughLayer(int iDev)
{
    stRun run;
    int iResult = ScanStart(iDev);
    std::vector<unsigned char> buffer;
    while (iResult == 0) {
        int iStatus = 0;
        uint16_t wReadSize = 0;
        iResult = ScanRecord(iDev, iStatus, buffer, wReadSize);
        if (iResult == 0)
            run.uBytes += wReadSize;
    }
    run.bComplete = iResult == SANE_STATUS_EOF;
    return run;
}

// Drains the same transfers with bare bulk ioctls until the scanner has nothing left.
stRun ReadWithBareIoctls(int iDev)
{
    stRun run;
    run.bComplete = ScanStart(iDev) == 0;
    std::vector<unsigned char> piece(c_uPieceSize);
    for (;;) {
        usbdevfs_bulktransfer transfer{c_usbEndpointBulkIn, c_uPieceSize, c_uTimeoutMs, piece.data()};
        int iGot = ioctl(iDev, USBDEVFS_BULK, &transfer);
        if (iGot <= 0)
            break;
        run.uBytes += size_t(iGot);
    }
    return run;
}

stRun Measure(UsbTestbed& testbed, size_t uTotalBytes, size_t uRecordBytes, const std::function<stRun(int)>& read)
{
    auto scanner = std::make_shared<UsbScanner>();
    std::vector<std::vector<uint8_t>> listPages(c_iPages);
    for (int i = 0; i < c_iPages; ++i)
        listPages[i].assign(uTotalBytes / c_iPages, uint8_t(0x11 * (i + 1)));
    scanner->SetScan(listPages, uRecordBytes);
    const std::string strNode = testbed.AddDevice(scanner);

    stRun run;
    run.bComplete = false;
    VORN_USB_DEV devices[VORN_MAX_USB_DEV] = {};
    if (vorn_find_device(UsbScanner::c_wVendorId, UsbScanner::c_wProductId, devices, true) == 1) {
        const auto start = std::chrono::steady_clock::now();
        run = read(devices[0].fd);
        run.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        vorn_close_device(devices[0].fd);
    }
    testbed.RemoveDevice(strNode);
    return run;
}

void Print(const char* szWhat, size_t uRecordBytes, const stRun& run)
{
    if (!run.bComplete) {
        std::printf("%-12s record %5zu bytes: scan incomplete after %zu bytes\n", szWhat, uRecordBytes, run.uBytes);
        return;
    }
    std::printf("%-12s record %5zu bytes: %7.2f MB/s  %6.1f us per 512-byte piece  (%.2f s)\n", szWhat, uRecordBytes,
                double(run.uBytes) / (1 << 20) / run.dSeconds, run.dSeconds * 1e6 / double(run.uBytes / c_uPieceSize),
                run.dSeconds);
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t uMegabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : c_uDefaultMegabytes;
    UsbTestbed testbed;
    if (!testbed.IsReady()) {
        std::fprintf(stderr, "%s\n", testbed.NotReadyReason().c_str());
        return 1;
    }
    std::printf("USB scan path under umockdev, %zu MB in %d pages\n", uMegabytes, c_iPages);
    bool bComplete = true;
    for (size_t uRecordBytes : c_aRecordBytes) {
        const stRun layer = Measure(testbed, uMegabytes << 20, uRecordBytes, ReadThroughLayer);
        const stRun bare = Measure(testbed, uMegabytes << 20, uRecordBytes, ReadWithBareIoctls);
        Print("USB layer", uRecordBytes, layer);
        Print("bare ioctls", uRecordBytes, bare);
        if (layer.bComplete && bare.bComplete)
            std::printf("layer / bare ioctls: %.2f\n", bare.dSeconds / layer.dSeconds * double(layer.uBytes) /
                                                         double(bare.uBytes));
        bComplete = bComplete && layer.bComplete && bare.bComplete;
    }
    return bComplete ? 0 : 1;
}
