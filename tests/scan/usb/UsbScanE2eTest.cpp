// USB scans through the real daemon: the daemon runs as a child of this test, which holds the
// simulated scanner on its private umockdev bus, in a private namespace with a fresh scan folder.
#include "ScanDaemonFixture.h"
#include "UsbDeviceDescription.h"
#include "usbcommanddef.h"
#include "UsbScanner.h"
#include "UsbTestbed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t uSize, uint8_t bySeed)
{
    Bytes vec(uSize);
    for (size_t i = 0; i < uSize; ++i)
        vec[i] = uint8_t(bySeed * 31 + i * 13 + (i >> 8));
    return vec;
}

// A device that is not a scanner (a keyboard) and counts the resets that reach it.
class ResetCountingDevice : public UsbSimDevice {
public:
    ResetCountingDevice() : UsbSimDevice(UnrelatedUsbDevice()) {}
    void HandleReset(enUsbReset) override { ++m_iResets; }
    std::atomic<int> m_iResets {0};
};

// Polls until done() holds, for what the daemon does after a client has gone.
template <typename Condition>
bool WaitFor(Condition done, int iTimeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The bus, its scanner and a keyboard exist before the daemon starts, so the daemon inherits the bus.
class UsbScanE2e : public ScanDaemonTest {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        ASSERT_FALSE(m_testbed.AddDevice(m_scanner).empty());
        ASSERT_FALSE(m_testbed.AddDevice(m_keyboard).empty());
        ASSERT_NO_FATAL_FAILURE(ScanDaemonTest::SetUp());
        m_client = Connect();
        ASSERT_NE(m_client, nullptr) << "the daemon does not accept connections";

        int32_t iCount = 0;
        std::vector<USBFindDevRes> listDevices;
        ASSERT_TRUE(m_client->FindDevices(UsbScanner::c_wVendorId, UsbScanner::c_wProductId, true, iCount,
                                          listDevices));
        ASSERT_EQ(iCount, 1);
        EXPECT_STREQ(listDevices[0].SerialNumber, "VS0001");
        m_iDevFd = listDevices[0].fd;
    }
    void TearDown() override
    {
        m_client.reset();
        ScanDaemonTest::TearDown();
    }

    int32_t PlainResult(int32_t iCode)
    {
        const USBCommonReq request{m_iDevFd};
        int32_t iResult = -1;
        EXPECT_TRUE(m_client->ResultOf(iCode, &request, sizeof request, iResult));
        return iResult;
    }

    // The results of the three requests that reset or clear something on device iFd.
    std::vector<int32_t> ResetResults(int32_t iFd)
    {
        std::vector<int32_t> listResults(3, -1);
        const USBClearDevEpReq endpoint{iFd, 0x82};
        EXPECT_TRUE(m_client->ResultOf(USB_CLEAR_DEV, &endpoint, sizeof endpoint, listResults[0]));
        EXPECT_TRUE(m_client->ResultOf(USB_RESET_DEVEP, &endpoint, sizeof endpoint, listResults[1]));
        USBScanAbortReq abort{};
        abort.devfd = iFd;
        EXPECT_TRUE(m_client->ResultOf(USB_SCAN_ABORT, &abort, sizeof abort, listResults[2]));
        return listResults;
    }

    void Lock()
    {
        USBScanLockReq lock{};
        lock.devfd = m_iDevFd;
        lock.info.bitDepth = 24;
        lock.info.compType = COMPRESSION_NONE;
        lock.info.xResolution = lock.info.yResolution = 300;
        int32_t iResult = -1;
        ASSERT_TRUE(m_client->ResultOf(USB_SCAN_LOCK, &lock, sizeof lock, iResult));
        ASSERT_EQ(iResult, 0);
    }

    void Start(USBScanStartRes& start)
    {
        const USBCommonReq request{m_iDevFd};
        ASSERT_TRUE(m_client->SendCommand(USB_SCAN_START, &request, sizeof request));
        ASSERT_TRUE(m_client->Receive(&start, sizeof start));
        ASSERT_EQ(start.result, 0);
    }

    // Locks the scanner, starts a scan and reads its records until one ends it.
    void Scan(USBScanStartRes& start, std::vector<USBScanRecordRes>& listRecords)
    {
        ASSERT_NO_FATAL_FAILURE(Lock());
        ASSERT_NO_FATAL_FAILURE(Start(start));
        USBScanRecordRes record{};
        do {
            ASSERT_TRUE(m_client->Receive(&record, sizeof record)) << "record stream broke off";
            listRecords.push_back(record);
        } while (record.result == 0 && listRecords.size() < 10000);
    }

    // A page file's bytes; the base name from the start reply is a full path.
    static Bytes Page(const USBScanStartRes& start, int iPage)
    {
        const std::string strPath = VornScanClient::PageFileName(start.fileName, iPage);
        const std::string strBytes = ScanFile(strPath.substr(strPath.rfind('/') + 1));
        return Bytes(strBytes.begin(), strBytes.end());
    }

    UsbTestbed m_testbed;
    std::shared_ptr<UsbScanner> m_scanner = std::make_shared<UsbScanner>();
    std::shared_ptr<ResetCountingDevice> m_keyboard = std::make_shared<ResetCountingDevice>();
    std::unique_ptr<VornScanClient> m_client;
    int m_iDevFd = -1;
};

TEST_F(UsbScanE2e, TwoPagesLandInPageFilesAsTheScannerSentThem)
{
    const std::vector<Bytes> listPages = {Pattern(100000, 1), Pattern(37000, 2)};
    m_scanner->SetScan(listPages, 16384);

    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));

    EXPECT_EQ(Page(start, 0), listPages[0]);
    EXPECT_EQ(Page(start, 1), listPages[1]);
    EXPECT_TRUE(Page(start, 2).empty());

    const USBScanRecordRes& last = listRecords.back();
    EXPECT_EQ(last.st, SCAN_STATUS_END_OF_DATA);
    EXPECT_EQ(last.result, 5);
    // The page-begin record still carries the page it opens; the records after it the next index.
    int iPagesBegun = 0;
    long long llBytes = 0;
    for (const USBScanRecordRes& record : listRecords) {
        if (record.st == SCAN_STATUS_BEGIN_OF_PAGE)
            EXPECT_EQ(record.fileIndex, iPagesBegun++);
        else
            EXPECT_EQ(record.fileIndex, iPagesBegun);
        llBytes += record.dataSize;
    }
    EXPECT_EQ(iPagesBegun, 2);
    EXPECT_EQ(llBytes, 137000);

    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0);
}

TEST_F(UsbScanE2e, AnAbortFromTheScannerEndsTheScanAfterItsLastPage)
{
    const std::vector<Bytes> listPages = {Pattern(5000, 3), Pattern(5000, 4)};
    m_scanner->SetScan(listPages, 4096, 1);

    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));

    EXPECT_EQ(listRecords.back().result, 2);
    EXPECT_EQ(Page(start, 0), listPages[0]);
    EXPECT_TRUE(Page(start, 1).empty());

    // The connection goes on: the scanner still answers the next command.
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0);
}

TEST_F(UsbScanE2e, MalformedRecordsLoseNoDataAndEndTheScanWithAnError)
{
    const Bytes early = Pattern(300, 5);
    const Bytes later = Pattern(200, 6);
    m_scanner->SetScanTransfers({
        UsbScanner::DataRecord(UsbScanner::StatusData, 23 + 300),  // image bytes before any page began
        early,
        UsbScanner::DataRecord(UsbScanner::StatusBeginOfPage, 23),
        UsbScanner::DataRecord(UsbScanner::StatusData, 23 + 200),
        later,
        UsbScanner::DataRecord(UsbScanner::StatusData, 10),  // too short to hold its own fields
        UsbScanner::DataRecord(UsbScanner::StatusEndOfData, 23),
    });

    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));

    EXPECT_EQ(Page(start, 0), early);
    EXPECT_EQ(Page(start, 1), later);
    EXPECT_EQ(listRecords.back().result, 9);
    EXPECT_EQ(listRecords.back().dataSize, 0);
}

TEST_F(UsbScanE2e, ReopenFindsTheScannerBySerialNumberEvenAfterItWasClosed)
{
    USBReopenDevReq request{};
    request.vid = UsbScanner::c_wVendorId;
    request.pid = UsbScanner::c_wProductId;
    snprintf(request.SerialNumber, sizeof request.SerialNumber, "%s", "OTHER");
    request.devfd = m_iDevFd;
    USBReopenDevRes reply{};
    ASSERT_TRUE(m_client->SendCommand(USB_REOPEN_DEV, &request, sizeof request));
    ASSERT_TRUE(m_client->Receive(&reply, sizeof reply));
    EXPECT_EQ(reply.ret, 9) << "no scanner has that serial number";
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0) << "a failed reopen keeps the old descriptor";

    snprintf(request.SerialNumber, sizeof request.SerialNumber, "%s", "VS0001");
    ASSERT_TRUE(m_client->SendCommand(USB_REOPEN_DEV, &request, sizeof request));
    ASSERT_TRUE(m_client->Receive(&reply, sizeof reply));
    ASSERT_EQ(reply.ret, 0);
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 9) << "the old descriptor is closed";
    m_iDevFd = reply.fd;
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0);

    // A front-end that closed its scanner finds it again with its stale descriptor.
    EXPECT_EQ(PlainResult(USB_CLOSE_DEV), 0);
    request.devfd = m_iDevFd;
    ASSERT_TRUE(m_client->SendCommand(USB_REOPEN_DEV, &request, sizeof request));
    ASSERT_TRUE(m_client->Receive(&reply, sizeof reply));
    ASSERT_EQ(reply.ret, 0);
    m_iDevFd = reply.fd;
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0);
}

TEST_F(UsbScanE2e, AnAbortRemovesTheScansPagesAndTheScannerAnswersOn)
{
    m_scanner->SetScan({Pattern(3000, 7), Pattern(2000, 8)}, 1024);
    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));
    ASSERT_FALSE(Page(start, 1).empty());

    USBScanAbortReq abort{};
    abort.devfd = m_iDevFd;
    snprintf(abort.fileName, sizeof abort.fileName, "%s", start.fileName);
    int32_t iResult = -1;
    ASSERT_TRUE(m_client->ResultOf(USB_SCAN_ABORT, &abort, sizeof abort, iResult));
    EXPECT_EQ(iResult, 0);
    EXPECT_TRUE(Page(start, 0).empty());
    EXPECT_TRUE(Page(start, 1).empty());
    EXPECT_EQ(m_scanner->ReceivedCommands().back()[2], UsbScanner::CodeAbort);

    // The abort's confirmation, which nobody reads, does not pass for the next command's reply.
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0);
    EXPECT_TRUE(m_client->StaysSilent(300));
}

TEST_F(UsbScanE2e, OnlyAScannerThisConnectionLockedIsEverReset)
{
    // Any client may search for any vendor; the search opens the keyboard as well.
    int32_t iCount = 0;
    std::vector<USBFindDevRes> listDevices;
    const stUsbDeviceDescription keyboard = UnrelatedUsbDevice();
    ASSERT_TRUE(m_client->FindDevices(keyboard.wVendorId, keyboard.wProductId, true, iCount, listDevices));
    ASSERT_EQ(iCount, 1);
    const std::vector<int32_t> listRefused(3, SANE_STATUS_IO_ERROR);
    EXPECT_EQ(ResetResults(listDevices[0].fd), listRefused) << "the keyboard";
    EXPECT_EQ(ResetResults(m_iDevFd), listRefused) << "the scanner before its lock";
    EXPECT_EQ(m_keyboard->m_iResets, 0);
    EXPECT_EQ(m_scanner->Resets(), 0);
    EXPECT_EQ(m_scanner->ReceivedCommands().size(), 0u) << "not even the abort command went out";

    ASSERT_NO_FATAL_FAILURE(Lock());
    EXPECT_EQ(ResetResults(m_iDevFd), std::vector<int32_t>(3, SANE_STATUS_GOOD));
    EXPECT_EQ(m_scanner->Resets(), 3);
    EXPECT_EQ(PlainResult(USB_SCAN_UNLOCK), 0);
    EXPECT_EQ(ResetResults(m_iDevFd), listRefused) << "after the unlock";
    EXPECT_EQ(m_scanner->Resets(), 3);
    EXPECT_EQ(m_keyboard->m_iResets, 0);
}

TEST_F(UsbScanE2e, ScannerThatFallsSilentMidPageEndsTheScanWithAnIoError)
{
    const Bytes image = Pattern(700, 9);
    m_scanner->SetScanTransfers({
        UsbScanner::DataRecord(UsbScanner::StatusBeginOfPage, 23),
        UsbScanner::DataRecord(UsbScanner::StatusData, 23 + 700),
        image,
        // ... and nothing more: no end of page, no end of data.
    });
    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));
    EXPECT_EQ(listRecords.back().result, SANE_STATUS_IO_ERROR);
    EXPECT_LE(listRecords.size(), 2u + c_maxSilentRecordReads);
    EXPECT_EQ(Page(start, 0), image);
}

// The scan has ended before the client leaves: killing a data process in the middle of a
// transfer would break the simulated bus, which serves all processes over one socket.
TEST_F(UsbScanE2e, ClientLeavingWithoutUnlockUnlocksTheScannerAndRemovesItsPages)
{
    m_scanner->SetScan({Pattern(3000, 10)}, 1000);
    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));
    ASSERT_FALSE(Page(start, 0).empty());

    m_client.reset();
    EXPECT_TRUE(WaitFor([&] {
        const auto listCommands = m_scanner->ReceivedCommands();
        return !listCommands.empty() && listCommands.back()[2] == UsbScanner::CodeUnlock;
    })) << "the scanner stays locked";
    EXPECT_TRUE(WaitFor([&] { return Page(start, 0).empty(); })) << "the page file is left behind";
}

}  // namespace
