// The USB scanner layer against a simulated scanner on a private umockdev bus: the bytes each
// command puts on the wire, how replies and data records are read, chunking and device loss.
#include "UsbLogCapture.h"
#include "UsbScanner.h"
#include "UsbTestbed.h"
#include "commDef.h"
#include "usbcommanddef.h"

#include <gtest/gtest.h>
#include <sane/sane.h>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t uSize, uint8_t bySeed)
{
    Bytes vec(uSize);
    for (size_t i = 0; i < uSize; ++i)
        vec[i] = uint8_t(bySeed + i * 7 + (i >> 9));
    return vec;
}

class UsbScannerProtocol : public testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        m_strNode = m_testbed.AddDevice(m_scanner);
        ASSERT_FALSE(m_strNode.empty());
        VORN_USB_DEV devices[VORN_MAX_USB_DEV] = {};
        ASSERT_EQ(vorn_find_device(UsbScanner::c_wVendorId, UsbScanner::c_wProductId, devices, true), 1);
        m_iDev = devices[0].fd;
        m_descriptor = devices[0].dev_des;
    }
    void TearDown() override
    {
        if (m_iDev > 0)
            vorn_close_device(m_iDev);
    }

    Bytes LastCommand() const
    {
        auto list = m_scanner->ReceivedCommands();
        return list.empty() ? Bytes() : list.back();
    }

    UsbTestbed m_testbed;
    std::shared_ptr<UsbScanner> m_scanner = std::make_shared<UsbScanner>();
    std::string m_strNode;
    int m_iDev = -1;
    usb_device_descriptor m_descriptor{};
    UsbLogCapture m_logs;
};

TEST_F(UsbScannerProtocol, FoundScannerDescribesItselfWithItsStrings)
{
    USBFindDevRes res = converToDevRes(m_iDev, m_descriptor);
    EXPECT_EQ(res.fd, m_iDev);
    EXPECT_EQ(res.vid, UsbScanner::c_wVendorId);
    EXPECT_EQ(res.pid, UsbScanner::c_wProductId);
    EXPECT_STREQ(res.Manufacturer, "Vorn");
    EXPECT_STREQ(res.Product, "Vorn VC5100DN Scanner");
    EXPECT_STREQ(res.SerialNumber, "VS0001");
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "[VornScanSDK] - Serial Number: VS0001\n"));

    char shortBuffer[4];
    EXPECT_EQ(vorn_get_string_simple(m_iDev, m_descriptor.iSerialNumber, shortBuffer, sizeof shortBuffer), 3);
    EXPECT_STREQ(shortBuffer, "VS0");
}

TEST_F(UsbScannerProtocol, EachCommandSendsItsHeader)
{
    struct Case {
        const char* name;
        std::function<int()> command;
        Bytes header;
    };
    ResScanDeviceProperties properties{};
    int adf = 0;
    const Case cases[] = {
        {"start", [&] { return ScanStart(m_iDev); }, {0x1B, 0x53, 0x01, 0, 0, 0, 0x80, 0}},
        {"properties", [&] { return ScanDeviceProperties(m_iDev, &properties); }, {0x1B, 0x53, 0x03, 0, 0, 0, 0x80, 0}},
        {"adf", [&] { return ScanADFStatus(m_iDev, &adf); }, {0x1B, 0x53, 0x04, 0, 0, 0, 0x80, 0}},
        {"unlock", [&] { return ScanUnlock(m_iDev); }, {0x1B, 0x53, 0x06, 0, 0, 0, 0x80, 0}},
        {"sizes", [&] { return ScanGetScanSizes(m_iDev); }, {0x1B, 0x53, 0x0A, 0, 0, 0, 0x80, 0}},
        {"power-on", [&] { return ScanPowerOn(m_iDev); }, {0x1B, 0x44, 0x04, 0, 0, 0, 0x80, 0}},
        {"abort", [&] { return ScanAbort(m_iDev); }, {0x1B, 0x53, 0x0F, 0, 0, 0, 0x80, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.command(), 0);
        EXPECT_EQ(LastCommand(), c.header);
    }

    SettingInfo info;
    memset(&info, 0, sizeof info);
    info.bitDepth = 24;
    info.xResolution = info.yResolution = 300;
    m_scanner->SetReplyFlag(UsbScanner::CodeLock, 0x80);
    EXPECT_EQ(ScanLock(m_iDev, &info), 0);
    Bytes lock = LastCommand();
    ASSERT_EQ(lock.size(), 55u);
    EXPECT_EQ(Bytes(lock.begin(), lock.begin() + 8), (Bytes{0x1B, 0x53, 0x05, 0, 47, 0, 0x80, 0}));
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "x:0 y:0 width:0 height:0 dpi:300 depth:24"));
}

TEST_F(UsbScannerProtocol, RepliesCarryAdfStatusPropertiesAndWarmUp)
{
    m_scanner->SetAdfStatus(3);
    int adf = 0;
    EXPECT_EQ(ScanADFStatus(m_iDev, &adf), 0);
    EXPECT_EQ(adf, 3);

    ResScanDeviceProperties properties{};
    EXPECT_EQ(ScanDeviceProperties(m_iDev, &properties), 0);
    EXPECT_EQ(properties.header.cmdCode, 0x03);
    EXPECT_EQ(properties.majorVersion, 1);
    EXPECT_EQ(properties.minorVersion, 2);
    EXPECT_EQ(properties.supportProcessing, 0x107u);
    EXPECT_EQ(properties.deviceCaps, 3);
    EXPECT_EQ(properties.sources, 5);

    m_scanner->SetWarmUpSeconds(7);
    EXPECT_EQ(ScanPowerOn(m_iDev), 0);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "ScanPowerOn Sleep: 7 seconds for the scanner to warm"));
}

TEST_F(UsbScannerProtocol, ReplyFlagsDecideTheResult)
{
    SettingInfo info;
    memset(&info, 0, sizeof info);
    m_scanner->SetReplyFlag(UsbScanner::CodeLock, 0x88);
    EXPECT_EQ(ScanLock(m_iDev, &info), 3);
    m_scanner->SetReplyFlag(UsbScanner::CodeUnlock, 0x88);
    EXPECT_EQ(ScanUnlock(m_iDev), 9);
    m_scanner->SetReplyFlag(UsbScanner::CodeStart, 0x40);
    EXPECT_EQ(ScanStart(m_iDev), 0);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Error, "Response flag is unknown [0x40]"));
}

TEST_F(UsbScannerProtocol, StaleRecordsBeforeAReplyAreSkipped)
{
    m_scanner->QueueTransfer(UsbScanner::DataRecord(UsbScanner::StatusData, 23));
    m_scanner->QueueTransfer(UsbScanner::DataRecord(UsbScanner::StatusEndOfPage, 23));
    m_scanner->QueueTransfer(UsbScanner::ReplyHeader(UsbScanner::CodeAbort, 0x80));
    m_scanner->SetReplyFlag(UsbScanner::CodeUnlock, 0x82);
    EXPECT_EQ(ScanUnlock(m_iDev), 9);  // the unlock's own reply decided, not a stale one
    EXPECT_EQ(m_scanner->PendingTransfers(), 0u);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "ScanRecord Response recieve. Retry read."));
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "ScanAbort Response recieve. Retry read."));
}

TEST_F(UsbScannerProtocol, TheAbortConfirmationDoesNotSpoilTheNextCommand)
{
    EXPECT_EQ(ScanAbort(m_iDev), 0);
    m_scanner->SetReplyFlag(UsbScanner::CodeUnlock, 0x83);
    EXPECT_EQ(ScanUnlock(m_iDev), 9);
}

TEST_F(UsbScannerProtocol, RepliesLargerThanTheReplyBufferAreRefused)
{
    m_scanner->SetReplyPadding(192);  // header and data fill the 200-byte buffer exactly
    EXPECT_EQ(ScanUnlock(m_iDev), 0);
    m_scanner->SetReplyPadding(193);
    EXPECT_EQ(ScanUnlock(m_iDev), 10);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Error, "m_ResComBuf is too small. needed = 201"));
}

TEST_F(UsbScannerProtocol, MissingOrTruncatedRepliesFail)
{
    m_scanner->SetReplyFlag(UsbScanner::CodeStart, 0x88);
    EXPECT_EQ(ScanStart(m_iDev), 9);
    // Nothing comes back: the device is there but busy.
    EXPECT_EQ(ResponseScanner(m_iDev, CMD_TYPE_SCAN_UNLOCK), 3);
    // Three bytes hold no flag; the zeroed rest of the buffer must not read as success.
    m_scanner->QueueTransfer({0x1B, 0x53, 0x06});
    EXPECT_EQ(ResponseScanner(m_iDev, CMD_TYPE_SCAN_UNLOCK), 9);
}

TEST_F(UsbScannerProtocol, TransfersAreSplitInto512BytePieces)
{
    Bytes out = Pattern(1300, 1);
    EXPECT_EQ(vorn_bulk_write(m_iDev, out.data(), int(out.size()), 1000), 1300);
    auto received = m_scanner->ReceivedCommands();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].size(), 512u);
    EXPECT_EQ(received[2].size(), 276u);
    Bytes joined;
    for (const Bytes& piece : received)
        joined.insert(joined.end(), piece.begin(), piece.end());
    EXPECT_EQ(joined, out);

    Bytes image = Pattern(1500, 9);
    m_scanner->QueueTransfer(image);
    m_scanner->QueueTransfer({0xEE});
    Bytes in(4096);
    EXPECT_EQ(vorn_bulk_read(m_iDev, in.data(), int(in.size()), 1000), 1500);  // short piece ends it
    in.resize(1500);
    EXPECT_EQ(in, image);

    EXPECT_EQ(vorn_bulk_write(0, out.data(), 8, 1000), -1);
    EXPECT_EQ(vorn_bulk_read(m_iDev, nullptr, 8, 1000), -1);
}

TEST_F(UsbScannerProtocol, PiecesReadBeforeATimeOutAreKept)
{
    Bytes image = Pattern(512, 3);
    m_scanner->QueueTransfer(image);
    Bytes in(1024);
    EXPECT_EQ(usb_bulk(m_iDev, 0x82, in.data(), int(in.size()), 1000), 512);
    in.resize(512);
    EXPECT_EQ(in, image);
}

TEST_F(UsbScannerProtocol, EndpointAndInterfaceControlReportTheirResults)
{
    EXPECT_EQ(vorn_clear_halt(m_iDev, 0x82), 0);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "[VornScanSDK] vorn_clear_halt ret:0"));
    EXPECT_EQ(vorn_resetep(m_iDev, 0x02), 0);
    EXPECT_EQ(vorn_claim_interface(m_iDev), 0);
    EXPECT_EQ(vorn_release_interface(m_iDev), 0);

    const int iClosed = dup(m_iDev);
    close(iClosed);
    EXPECT_EQ(vorn_clear_halt(iClosed, 0x82), 9);
    EXPECT_EQ(vorn_resetep(iClosed, 0x02), 9);
    EXPECT_LT(vorn_claim_interface(iClosed), 0);
}

TEST_F(UsbScannerProtocol, ADeviceThatNoLongerAnswersFailsTransfers)
{
    // A descriptor whose device is gone answers neither the transfer nor the descriptor probe.
    vorn_close_device(m_iDev);
    char buffer[64];
    EXPECT_LT(vorn_bulk_read(m_iDev, buffer, sizeof buffer, 1000), 0);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Error, "** vorn_get_string ret:-1"));
    EXPECT_EQ(ScanStart(m_iDev), 9);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Error, "RequestScanner failed."));
    m_iDev = -1;
}

// Reads records until one ends the scan; collects each page's bytes and the statuses seen.
struct ScanResult {
    std::vector<Bytes> listPages;
    std::vector<int> listStatus;
    int iLastResult = 0;
};

ScanResult ReadScan(int iDev)
{
    ScanResult result;
    std::vector<unsigned char> buffer;
    for (int i = 0; i < 10000; ++i) {
        int status = -1;
        uint16_t readSize = 0;
        result.iLastResult = ScanRecord(iDev, status, buffer, readSize);
        result.listStatus.push_back(status);
        if (status == SCAN_STATUS_BEGIN_OF_PAGE)
            result.listPages.emplace_back();
        if (result.iLastResult == 0 && readSize > 0 && !result.listPages.empty())
            result.listPages.back().insert(result.listPages.back().end(), buffer.begin(), buffer.begin() + readSize);
        if (result.iLastResult != 0)
            break;
    }
    return result;
}

TEST_F(UsbScannerProtocol, AScanArrivesAsPagesOfRecords)
{
    const std::vector<Bytes> pages = {Pattern(10000, 1), Pattern(700, 2)};
    m_scanner->SetScan(pages, 4096);
    ASSERT_EQ(ScanStart(m_iDev), 0);
    ScanResult scan = ReadScan(m_iDev);
    EXPECT_EQ(scan.iLastResult, SANE_STATUS_EOF);
    EXPECT_EQ(scan.listPages, pages);
    const std::vector<int> statuses = {8, 9, 0, 0, 0, 7, 9, 0, 7, 1};
    EXPECT_EQ(scan.listStatus, statuses);
}

TEST_F(UsbScannerProtocol, AnAbortFromTheScannerEndsTheScan)
{
    m_scanner->SetScan({Pattern(100, 1), Pattern(100, 2)}, 4096, 1);
    ASSERT_EQ(ScanStart(m_iDev), 0);
    ScanResult scan = ReadScan(m_iDev);
    EXPECT_EQ(scan.iLastResult, SANE_STATUS_CANCELLED);
    EXPECT_EQ(scan.listPages.size(), 1u);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Info, "ScanAbort Command from Device."));
}

TEST_F(UsbScannerProtocol, RecordStatusesBecomeResults)
{
    struct Case {
        uint8_t status;
        int result;
    };
    const Case cases[] = {{1, 5}, {2, 10}, {3, 2}, {4, 2}, {5, 6}, {6, 4}, {7, 0}, {8, 0}, {9, 0}, {10, 4}, {0xFF, 4}};
    std::vector<unsigned char> buffer;
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.status));
        m_scanner->QueueTransfer(UsbScanner::DataRecord(c.status, 23));
        int status = -1;
        uint16_t readSize = 99;
        EXPECT_EQ(ScanRecord(m_iDev, status, buffer, readSize), c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(readSize, 0);
    }
}

TEST_F(UsbScannerProtocol, DataRecordsWithoutImageBytesAreHarmless)
{
    std::vector<unsigned char> buffer;
    int status = SCAN_STATUS_BEGIN_OF_PAGE;
    uint16_t readSize = 99;

    // Nothing arrives: neither the previous status nor the previous data may be seen again.
    EXPECT_EQ(ScanRecord(m_iDev, status, buffer, readSize), 0);
    EXPECT_EQ(status, SCAN_STATUS_OPERATION_CONTINUOUS);
    EXPECT_EQ(readSize, 0);

    // dataSize 23 announces no image bytes: an empty read that succeeds at once.
    m_scanner->QueueTransfer(UsbScanner::DataRecord(UsbScanner::StatusData, 23));
    m_scanner->QueueTransfer({0xAA});
    EXPECT_EQ(ScanRecord(m_iDev, status, buffer, readSize), 0);
    EXPECT_EQ(readSize, 0);
    EXPECT_EQ(m_scanner->PendingTransfers(), 1u) << "bytes after the record were read as image data";
    unsigned char left = 0;
    EXPECT_EQ(vorn_bulk_read(m_iDev, &left, 1, 1000), 1);

    // Too short to hold the record fields: no image size can be derived, so the record fails.
    m_scanner->QueueTransfer(UsbScanner::DataRecord(UsbScanner::StatusData, 10));
    EXPECT_EQ(ScanRecord(m_iDev, status, buffer, readSize), 9);
    EXPECT_EQ(readSize, 0);
}

TEST_F(UsbScannerProtocol, ImageBytesMayArriveInSeveralTransfersButMustAllArrive)
{
    Bytes image = Pattern(1000, 5);
    m_scanner->QueueTransfer(UsbScanner::DataRecord(UsbScanner::StatusData, 23 + 1000));
    m_scanner->QueueTransfer(Bytes(image.begin(), image.begin() + 600));
    m_scanner->QueueTransfer(Bytes(image.begin() + 600, image.end()));
    std::vector<unsigned char> buffer;
    int status = -1;
    uint16_t readSize = 0;
    EXPECT_EQ(ScanRecord(m_iDev, status, buffer, readSize), 0);
    ASSERT_EQ(readSize, 1000);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 1000), image);

    m_scanner->QueueTransfer(UsbScanner::DataRecord(UsbScanner::StatusData, 23 + 1000));
    m_scanner->QueueTransfer(Bytes(image.begin(), image.begin() + 600));
    EXPECT_EQ(ScanRecord(m_iDev, status, buffer, readSize), 9);
    EXPECT_TRUE(m_logs.Contains(VornUsbLog::Error, "ReadWithRetry failed."));
}

}  // namespace
