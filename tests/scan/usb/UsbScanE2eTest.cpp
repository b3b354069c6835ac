// USB scans through the real daemon: the daemon runs as a child of this test, which holds the
// simulated scanner on its private umockdev bus, in a private namespace with a fresh scan folder.
#include "ChildProcess.h"
#include "SuiteRoot.h"
#include "UsbScanner.h"
#include "UsbTestbed.h"
#include "VornScanClient.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace VornTest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* c_strDaemonName = "VornScanDaemon";

Bytes Pattern(size_t uSize, uint8_t bySeed)
{
    Bytes vec(uSize);
    for (size_t i = 0; i < uSize; ++i)
        vec[i] = uint8_t(bySeed * 31 + i * 13 + (i >> 8));
    return vec;
}

Bytes ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& strPath)
{
    return access(strPath.c_str(), F_OK) == 0;
}

std::string LinkTarget(const std::string& strLink)
{
    char target[256] = {};
    ssize_t length = readlink(strLink.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, size_t(length)) : std::string();
}

// Daemon processes of this test: the daemon detaches itself, so they are found by name within
// this test's own network namespace (other tests run their daemons beside this one).
std::vector<pid_t> DaemonProcesses()
{
    std::vector<pid_t> list;
    const std::string strOwnNet = LinkTarget("/proc/self/ns/net");
    DIR* proc = opendir("/proc");
    while (const dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = pid_t(atoi(entry->d_name));
        if (pid <= 0)
            continue;
        const std::string strDir = "/proc/" + std::to_string(pid);
        std::string strName;
        std::getline(std::ifstream(strDir + "/comm"), strName);
        if (strName == c_strDaemonName && LinkTarget(strDir + "/ns/net") == strOwnNet)
            list.push_back(pid);
    }
    if (proc)
        closedir(proc);
    return list;
}

// The real daemon, started as a user starts it; all its processes are gone after Stop.
class ScanDaemon {
public:
    bool Start()
    {
        return RunTool({SCAN_DAEMON_PATH}).Succeeded();
    }
    ~ScanDaemon()
    {
        for (int i = 0; i < 200; ++i) {
            std::vector<pid_t> list = DaemonProcesses();
            if (list.empty())
                return;
            for (pid_t pid : list)
                kill(pid, i == 0 ? SIGQUIT : SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
};

class UsbScanE2e : public testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        ASSERT_TRUE(m_root.IsReady());
        ASSERT_FALSE(m_testbed.AddDevice(m_scanner).empty());
        ASSERT_TRUE(m_daemon.Start());
        for (int i = 0; i < 100 && !m_client.Connect(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_GE(m_client.Descriptor(), 0) << "the daemon does not accept connections";

        int32_t iCount = 0;
        std::vector<USBFindDevRes> listDevices;
        ASSERT_TRUE(m_client.FindDevices(UsbScanner::c_wVendorId, UsbScanner::c_wProductId, true, iCount, listDevices));
        ASSERT_EQ(iCount, 1);
        EXPECT_STREQ(listDevices[0].SerialNumber, "VS0001");
        m_iDevFd = listDevices[0].fd;
    }

    // Locks the scanner, starts a scan and reads its records until one ends it.
    void Scan(USBScanStartRes& start, std::vector<USBScanRecordRes>& listRecords)
    {
        USBScanLockReq lock{};
        lock.devfd = m_iDevFd;
        lock.info.bitDepth = 24;
        lock.info.compType = COMPRESSION_NONE;
        lock.info.xResolution = lock.info.yResolution = 300;
        int32_t iResult = -1;
        ASSERT_TRUE(m_client.ResultOf(USB_SCAN_LOCK, &lock, sizeof lock, iResult));
        ASSERT_EQ(iResult, 0);

        const USBCommonReq request{m_iDevFd};
        ASSERT_TRUE(m_client.SendCommand(USB_SCAN_START, &request, sizeof request));
        ASSERT_TRUE(m_client.Receive(&start, sizeof start));
        ASSERT_EQ(start.result, 0);
        USBScanRecordRes record{};
        do {
            ASSERT_TRUE(m_client.Receive(&record, sizeof record)) << "record stream broke off";
            listRecords.push_back(record);
        } while (record.result == 0 && listRecords.size() < 10000);
    }

    static std::string PagePath(const USBScanStartRes& start, int iPage)
    {
        return VornScanClient::PageFileName(start.fileName, iPage);
    }

    UsbTestbed m_testbed;
    SuiteRoot m_root;
    std::shared_ptr<UsbScanner> m_scanner = std::make_shared<UsbScanner>();
    ScanDaemon m_daemon;
    VornScanClient m_client;
    int m_iDevFd = -1;
};

TEST_F(UsbScanE2e, TwoPagesLandInPageFilesAsTheScannerSentThem)
{
    const std::vector<Bytes> listPages = {Pattern(100000, 1), Pattern(37000, 2)};
    m_scanner->SetScan(listPages, 16384);

    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));

    EXPECT_EQ(ReadFile(PagePath(start, 0)), listPages[0]);
    EXPECT_EQ(ReadFile(PagePath(start, 1)), listPages[1]);
    EXPECT_FALSE(FileExists(PagePath(start, 2)));

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

    int32_t iResult = -1;
    const USBCommonReq request{m_iDevFd};
    ASSERT_TRUE(m_client.ResultOf(USB_SCAN_UNLOCK, &request, sizeof request, iResult));
    EXPECT_EQ(iResult, 0);
}

TEST_F(UsbScanE2e, AnAbortFromTheScannerEndsTheScanAfterItsLastPage)
{
    const std::vector<Bytes> listPages = {Pattern(5000, 3), Pattern(5000, 4)};
    m_scanner->SetScan(listPages, 4096, 1);

    USBScanStartRes start{};
    std::vector<USBScanRecordRes> listRecords;
    ASSERT_NO_FATAL_FAILURE(Scan(start, listRecords));

    EXPECT_EQ(listRecords.back().result, 2);
    EXPECT_EQ(ReadFile(PagePath(start, 0)), listPages[0]);
    EXPECT_FALSE(FileExists(PagePath(start, 1)));

    // The connection goes on: the scanner still answers the next command.
    int32_t iResult = -1;
    const USBCommonReq request{m_iDevFd};
    ASSERT_TRUE(m_client.ResultOf(USB_SCAN_UNLOCK, &request, sizeof request, iResult));
    EXPECT_EQ(iResult, 0);
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

    EXPECT_EQ(ReadFile(PagePath(start, 0)), early);
    EXPECT_EQ(ReadFile(PagePath(start, 1)), later);
    EXPECT_EQ(listRecords.back().result, 9);
    EXPECT_EQ(listRecords.back().dataSize, 0);
}

}  // namespace
