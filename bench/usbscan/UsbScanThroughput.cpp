// Measures how fast scan data comes through the daemon's USB layer: a simulated scanner on a
// private umockdev bus plays a scan, and the layer reads it record by record as the daemon's
// data process does. Prints MB/s per record size. Usage: vorn-bench-usbscan [megabytes]
#include "UsbScanner.h"
#include "UsbTestbed.h"
#include "commDef.h"
#include "usbcommanddef.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int c_iPages = 4;
constexpr size_t c_uDefaultMegabytes = 32;
// From small records up to the largest image block one record can announce.
const size_t c_aRecordBytes[] = {4096, 16384, 65000};

struct stRun {
    size_t uBytes = 0;
    double dSeconds = 0;
    bool bComplete = false;
};

stRun ReadOneScan(UsbTestbed& testbed, size_t uTotalBytes, size_t uRecordBytes)
{
    auto scanner = std::make_shared<UsbScanner>();
    std::vector<std::vector<uint8_t>> listPages(c_iPages);
    for (int i = 0; i < c_iPages; ++i)
        listPages[i].assign(uTotalBytes / c_iPages, uint8_t(0x11 * (i + 1)));
    scanner->SetScan(listPages, uRecordBytes);
    const std::string strNode = testbed.AddDevice(scanner);

    stRun run;
    VORN_USB_DEV devices[VORN_MAX_USB_DEV] = {};
    if (vorn_find_device(UsbScanner::c_wVendorId, UsbScanner::c_wProductId, devices, true) != 1) {
        testbed.RemoveDevice(strNode);
        return run;
    }
    const int iDev = devices[0].fd;
    const auto start = std::chrono::steady_clock::now();
    int iResult = ScanStart(iDev);
    std::vector<unsigned char> buffer;
    while (iResult == 0) {
        int iStatus = 0;
        uint16_t wReadSize = 0;
        iResult = ScanRecord(iDev, iStatus, buffer, wReadSize);
        if (iResult == 0)
            run.uBytes += wReadSize;
    }
    run.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.bComplete = iResult == SANE_STATUS_EOF && run.uBytes == uTotalBytes / c_iPages * c_iPages;
    vorn_close_device(iDev);
    testbed.RemoveDevice(strNode);
    return run;
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
    int iExit = 0;
    for (size_t uRecordBytes : c_aRecordBytes) {
        stRun run = ReadOneScan(testbed, uMegabytes << 20, uRecordBytes);
        if (!run.bComplete) {
            std::printf("record %6zu bytes: scan incomplete (%zu bytes)\n", uRecordBytes, run.uBytes);
            iExit = 1;
            continue;
        }
        std::printf("record %6zu bytes: %8.1f MB/s  (%.2f s)\n", uRecordBytes,
                    double(run.uBytes) / (1 << 20) / run.dSeconds, run.dSeconds);
    }
    return iExit;
}
