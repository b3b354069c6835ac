// Network scans through the real daemon against the simulated scanner on 127.0.0.2.
#include "ScanDaemonFixture.h"
#include "ScannerSimulator.h"
#include "tcpcommanddef.h"

#include <chrono>
#include <csignal>
#include <thread>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kScanner = "127.0.0.2";
constexpr int kSilenceMs = 300;

SettingInfo ColourFlatbed()
{
    SettingInfo info {};
    info.bitDepth = 24;
    info.compType = COMPRESSION_NONE;
    info.width = 2550;
    info.height = 3300;
    info.xResolution = 300;
    info.yResolution = 300;
    return info;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string AsText(const std::vector<unsigned char>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class NetworkScanTest : public ScanDaemonTest {
protected:
    bool StartScanner(const stSimScript& script) { return m_scanner.Start(script); }

    ScannerSimulator m_scanner {kScanner};
};

} // namespace

TEST_F(NetworkScanTest, TwoPageScanWritesWhatTheScannerSent)
{
    stSimScript script;
    script.listPageSizes = {150000, 70001};
    script.blockSize = 65536;
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);

    VornScanClient::stScanOutcome scan;
    ASSERT_TRUE(client->RunTcpScan(kScanner, ColourFlatbed(), scan));
    ASSERT_EQ(scan.start.result, SANE_STATUS_GOOD);
    EXPECT_GE(scan.start.socketDataFd, 0);
    const std::string base = scan.start.fileName;
    EXPECT_TRUE(std::regex_match(base, std::regex(ScanFolder() + "/vornscandata_[0-9]+_0"))) << base;

    // Page-begin records carry the page number, data records the number of the next page.
    struct stExpected {
        int st, fileIndex, bufferLen, result;
    };
    const stExpected expected[] = {
        {9, 0, 0, 0}, {0, 1, 65536, 0}, {0, 1, 65536, 0}, {0, 1, 18928, 0},
        {9, 1, 0, 0}, {0, 2, 65536, 0}, {0, 2, 4465, 0},  {1, 2, 0, 5},
    };
    ASSERT_EQ(scan.records.size(), std::size(expected));
    for (size_t i = 0; i < scan.records.size(); ++i) {
        EXPECT_EQ(scan.records[i].st, expected[i].st) << "record " << i;
        EXPECT_EQ(scan.records[i].fileIndex, expected[i].fileIndex) << "record " << i;
        EXPECT_EQ(scan.records[i].bufferLen, expected[i].bufferLen) << "record " << i;
        EXPECT_EQ(scan.records[i].result, expected[i].result) << "record " << i;
    }
    EXPECT_TRUE(ReadAll(base + "_0.tmp") == AsText(ScannerSimulator::PageBytes(0, 150000)));
    EXPECT_TRUE(ReadAll(base + "_1.tmp") == AsText(ScannerSimulator::PageBytes(1, 70001)));
    EXPECT_FALSE(fs::exists(base + "_2.tmp"));
    struct stat info {};
    ASSERT_EQ(stat((base + "_0.tmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0022, 0u);

    const std::vector<std::string> requests = m_scanner.HttpRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("POST /netscan/post HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(requests[0].find("\r\nHost: " + std::string(kJobPlaceholderAddress) + "\r\n\r\nSCANTYPE=2&"),
              std::string::npos);
    EXPECT_EQ(requests[0].substr(requests[0].size() - 10), "OFFSETY=0&");
    EXPECT_TRUE(WaitForLog(kInfoLog, "[VornScanSDK] tcp scan record process exit:5 pid:"));
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
}

TEST_F(NetworkScanTest, ScansCountPerConnection)
{
    stSimScript script;
    script.listPageSizes = {10};
    ASSERT_TRUE(StartScanner(script));
    auto first = Connect();
    auto second = Connect();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    VornScanClient::stScanOutcome a, b, c;
    ASSERT_TRUE(first->RunTcpScan(kScanner, ColourFlatbed(), a));
    ASSERT_TRUE(first->RunTcpScan(kScanner, ColourFlatbed(), b));
    ASSERT_TRUE(second->RunTcpScan(kScanner, ColourFlatbed(), c));
    const std::string nameA = a.start.fileName, nameB = b.start.fileName, nameC = c.start.fileName;
    EXPECT_EQ(nameA.substr(nameA.size() - 2), "_0");
    EXPECT_EQ(nameB, nameA.substr(0, nameA.size() - 1) + "1");
    EXPECT_EQ(nameC.substr(nameC.size() - 2), "_0");
    EXPECT_NE(nameC, nameA);
    EXPECT_EQ(b.lastResult, SANE_STATUS_EOF);
    EXPECT_EQ(ReadAll(nameB + "_0.tmp"), AsText(ScannerSimulator::PageBytes(0, 10)));
}

TEST_F(NetworkScanTest, BusyAndBadFieldRepliesEndTheStart)
{
    for (const auto& [code, status] : {std::pair {91, SANE_STATUS_DEVICE_BUSY}, std::pair {1, SANE_STATUS_INVAL}}) {
        stSimScript script;
        script.iJobResult = code;
        ASSERT_TRUE(StartScanner(script));
        auto client = Connect();
        ASSERT_NE(client, nullptr);
        TCPScanStartRes start {};
        ASSERT_TRUE(client->TcpScanStart(kScanner, ColourFlatbed(), start));
        EXPECT_EQ(start.result, status) << "RESULT=" << code;
        EXPECT_TRUE(client->StaysSilent(kSilenceMs)) << "no records after a refused start";
        EXPECT_EQ(m_scanner.DataConnections(), 0);
        m_scanner.Stop();
    }
}

TEST_F(NetworkScanTest, JobReplyWithoutResultCountsAsBusy)
{
    stSimScript script;
    script.iJobResult = -1;
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    TCPScanStartRes start {};
    ASSERT_TRUE(client->TcpScanStart(kScanner, ColourFlatbed(), start));
    EXPECT_EQ(start.result, SANE_STATUS_DEVICE_BUSY);
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] recv vorn_http_ScanStart error"), 1);
    EXPECT_EQ(m_scanner.DataConnections(), 0);
}

TEST_F(NetworkScanTest, GarbledStreamEndsThatScanOnlyWithIoError)
{
    stSimScript script;
    script.listPageSizes = {5000};
    script.ending = stSimScript::enEnding::Garbage;
    ASSERT_TRUE(StartScanner(script));
    auto other = Connect();
    auto client = Connect();
    ASSERT_NE(other, nullptr);
    ASSERT_NE(client, nullptr);
    VornScanClient::stScanOutcome scan;
    ASSERT_TRUE(client->RunTcpScan(kScanner, ColourFlatbed(), scan));
    EXPECT_EQ(scan.lastResult, SANE_STATUS_IO_ERROR);
    EXPECT_EQ(ReadAll(std::string(scan.start.fileName) + "_0.tmp"), AsText(ScannerSimulator::PageBytes(0, 5000)));
    // Both connections carry on.
    m_scanner.Stop();
    script.ending = stSimScript::enEnding::JobDone;
    ASSERT_TRUE(StartScanner(script));
    VornScanClient::stScanOutcome next;
    ASSERT_TRUE(other->RunTcpScan(kScanner, ColourFlatbed(), next));
    EXPECT_EQ(next.lastResult, SANE_STATUS_EOF);
    ASSERT_TRUE(client->RunTcpScan(kScanner, ColourFlatbed(), next));
    EXPECT_EQ(next.lastResult, SANE_STATUS_EOF);
}

TEST_F(NetworkScanTest, ScannerThatNeverOpensItsDataPortCostsElevenAttempts)
{
    stSimScript script;
    script.bOpenDataPort = false;
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    const auto started = std::chrono::steady_clock::now();
    TCPScanStartRes start {};
    ASSERT_TRUE(client->TcpScanStart(kScanner, ColourFlatbed(), start));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(start.result, SANE_STATUS_IO_ERROR);
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] connect error: Connection refused(errno: 111)"), 11);
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] vorn_init_tcp 2080 error"), 1);
    // Eleven pauses of half a second between and after the attempts.
    EXPECT_GE(elapsed, std::chrono::milliseconds(5500));
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
}

TEST_F(NetworkScanTest, DeviceCancelEndsTheScanCancelled)
{
    stSimScript script;
    script.listPageSizes = {5000};
    script.ending = stSimScript::enEnding::JobCancel;
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    VornScanClient::stScanOutcome scan;
    ASSERT_TRUE(client->RunTcpScan(kScanner, ColourFlatbed(), scan));
    ASSERT_FALSE(scan.records.empty());
    EXPECT_EQ(scan.records.back().st, SCAN_STATUS_ABORTED_BY_DEVICE);
    EXPECT_EQ(scan.records.back().result, SANE_STATUS_CANCELLED);
    EXPECT_EQ(scan.pages.size(), 1u);
}

TEST_F(NetworkScanTest, ScannerThatDropsTheStreamEndsWithIoError)
{
    stSimScript script;
    script.listPageSizes = {5000};
    script.ending = stSimScript::enEnding::Drop;
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    VornScanClient::stScanOutcome scan;
    ASSERT_TRUE(client->RunTcpScan(kScanner, ColourFlatbed(), scan));
    EXPECT_EQ(scan.lastResult, SANE_STATUS_IO_ERROR);
    EXPECT_EQ(ReadAll(std::string(scan.start.fileName) + "_0.tmp"), AsText(ScannerSimulator::PageBytes(0, 5000)));
}

TEST_F(NetworkScanTest, AbortStopsTheScanAndDeletesOnlyItsFiles)
{
    stSimScript script;
    script.listPageSizes = {3000, 4000};
    script.ending = stSimScript::enEnding::HoldUntilAbort;
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    TCPScanStartRes start {};
    ASSERT_TRUE(client->TcpScanStart(kScanner, ColourFlatbed(), start));
    ASSERT_EQ(start.result, SANE_STATUS_GOOD);
    const std::string base = start.fileName;
    // Two page-begin records and one data record each.
    for (int i = 0; i < 4; ++i) {
        TCPRecordRes record {};
        ASSERT_TRUE(client->ReadTcpRecord(record));
        EXPECT_EQ(record.result, SANE_STATUS_GOOD);
    }
    ASSERT_TRUE(m_scanner.WaitForStreamSent(5000));
    ASSERT_TRUE(fs::exists(base + "_1.tmp"));
    const std::string otherScan = base + "0_0.tmp";  // a base name ending in _10
    std::ofstream(otherScan) << "other";
    std::ofstream(base + "_notes.txt") << "notes";

    int32_t result = -1;
    ASSERT_TRUE(client->TcpScanAbort(kScanner, base, result));
    EXPECT_EQ(result, SANE_STATUS_GOOD);
    EXPECT_FALSE(fs::exists(base + "_0.tmp"));
    EXPECT_FALSE(fs::exists(base + "_1.tmp"));
    EXPECT_TRUE(fs::exists(otherScan));
    EXPECT_TRUE(fs::exists(base + "_notes.txt"));
    EXPECT_TRUE(fs::exists(ScanFolder() + "/" + kInfoLog));
    EXPECT_EQ(CountInLog(kInfoLog, "[VornScanSDK] delete file:"), 2);
    EXPECT_TRUE(client->StaysSilent(kSilenceMs)) << "the data process must be gone";

    const std::vector<std::string> requests = m_scanner.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].substr(requests[1].size() - 14), "\r\n\r\nSCANTYPE=4");
}

TEST_F(NetworkScanTest, ClientDescriptorNumbersNeverCloseDaemonDescriptors)
{
    stSimScript script;
    script.iJobResult = 91;  // every start ends at the job reply
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    for (int32_t fd = 0; fd <= 12; ++fd) {
        TCPScanStartReq start {};
        start.socket = VornScanClient::SocketFor(kScanner);
        start.socket.tcpFromScanner = fd;
        start.info = ColourFlatbed();
        TCPScanStartRes reply {};
        ASSERT_TRUE(client->SendCommand(TCP_SCAN_START, &start, sizeof start));
        ASSERT_TRUE(client->Receive(&reply, sizeof reply)) << "connection lost after descriptor " << fd;
        EXPECT_EQ(reply.result, SANE_STATUS_DEVICE_BUSY);

        TCPScanAbortReq abort {};
        abort.socket = start.socket;
        int32_t result = -1;
        ASSERT_TRUE(client->ResultOf(TCP_SCAN_ABORT, &abort, sizeof abort, result)) << "after abort " << fd;
        EXPECT_EQ(result, SANE_STATUS_GOOD);
    }
    EXPECT_EQ(CountInLog(kInfoLog, "DISCONNECT FROM SERVER"), 0);
    EXPECT_GT(CountInLog(kInfoLog, "[VornScanSDK] subStr isEmpty"), 0);
}

TEST_F(NetworkScanTest, CapabilitiesAdfStatusAndAttributesReachTheClient)
{
    stSimScript script;
    script.chAdfStatus = '3';
    script.strCapabilities = "DUPLEX=true\r\nCOLOR=COLOR\r\nMAXRES=1200\r\nPROFILE=DISABLED\r\nBASIC_RESOLUTION=300";
    ASSERT_TRUE(StartScanner(script));
    auto client = Connect();
    ASSERT_NE(client, nullptr);

    TCPDevPropertiesRes caps {};
    ASSERT_TRUE(client->TcpDeviceProperties(kScanner, caps));
    EXPECT_EQ(caps.result, SANE_STATUS_GOOD);
    EXPECT_TRUE(caps.devPro.duplex);
    EXPECT_TRUE(caps.devPro.color);
    EXPECT_FALSE(caps.devPro.profile);
    EXPECT_EQ(caps.devPro.maxres, 1200u);
    EXPECT_EQ(caps.devPro.basicres, 300u);

    TCPADFStatusRes adf {};
    ASSERT_TRUE(client->TcpAdfStatus(kScanner, adf));
    EXPECT_EQ(adf.result, SANE_STATUS_GOOD);
    EXPECT_EQ(adf.st, ADF_STATUS_PAPER_JAM);

    TCPOSLRes osl {};
    std::string body;
    ASSERT_TRUE(client->TcpSendOsl(kScanner, OSL_CMD_SUMMARY, osl, body));
    EXPECT_EQ(osl.result, SANE_STATUS_GOOD);
    EXPECT_EQ(body, script.strAttributeReply);
    ASSERT_EQ(m_scanner.AttributeQueries().size(), 1u);
    EXPECT_EQ(m_scanner.AttributeQueries()[0], vorn_BuildOslQuery(OSL_CMD_SUMMARY));

    const std::vector<std::string> requests = m_scanner.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], vorn_BuildCapabilitiesGet(""));  // no host address in a private network
    EXPECT_EQ(requests[1], vorn_BuildAdfStatusPost("GETADFSTATUS", ""));
}

TEST_F(NetworkScanTest, UnreachableScannerFailsEveryQuery)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    TCPDevPropertiesRes caps {};
    ASSERT_TRUE(client->TcpDeviceProperties(kScanner, caps));
    EXPECT_EQ(caps.result, SANE_STATUS_IO_ERROR);
    TCPADFStatusRes adf {};
    ASSERT_TRUE(client->TcpAdfStatus(kScanner, adf));
    EXPECT_EQ(adf.result, SANE_STATUS_IO_ERROR);
    TCPOSLRes osl {};
    std::string body;
    ASSERT_TRUE(client->TcpSendOsl(kScanner, OSL_CMD_FAMILYTYPE, osl, body));
    EXPECT_EQ(osl.result, SANE_STATUS_IO_ERROR);
    EXPECT_EQ(osl.bufferLen, 0);
    ASSERT_TRUE(client->TcpSendOsl(kScanner, 7, osl, body));
    EXPECT_EQ(osl.result, SANE_STATUS_INVAL);
    TCPScanStartRes start {};
    ASSERT_TRUE(client->TcpScanStart(kScanner, ColourFlatbed(), start));
    EXPECT_EQ(start.result, SANE_STATUS_IO_ERROR);
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] vorn_init_tcp 80 ERR"), 1);
}

namespace {

// Starts a scan that the scanner holds open after its pages and waits until they are on disk.
std::string StartHeldScan(VornScanClient& client, ScannerSimulator& scanner)
{
    TCPScanStartRes start {};
    EXPECT_TRUE(client.TcpScanStart(kScanner, ColourFlatbed(), start));
    EXPECT_EQ(start.result, SANE_STATUS_GOOD);
    for (int i = 0; i < 2; ++i) {  // page begin and the page's one data record
        TCPRecordRes record {};
        EXPECT_TRUE(client.ReadTcpRecord(record));
    }
    EXPECT_TRUE(scanner.WaitForStreamSent(5000));
    return start.fileName;
}

bool ScannerGotAbort(const ScannerSimulator& scanner, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        const std::vector<std::string> requests = scanner.HttpRequests();
        if (!requests.empty() && requests.back().find("\r\n\r\nSCANTYPE=4") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// The connection removes its pages after it has aborted the scan, so they may still be there
// when the abort arrives.
bool WaitUntilGone(const std::string& path, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fs::exists(path)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class ForegroundNetworkScanTest : public NetworkScanTest {
protected:
    ForegroundNetworkScanTest() { m_bForeground = true; }
};

} // namespace

TEST_F(NetworkScanTest, ClientLeavingMidScanAbortsItAndRemovesItsPages)
{
    stSimScript script;
    script.listPageSizes = {3000};
    script.ending = stSimScript::enEnding::HoldUntilAbort;
    ASSERT_TRUE(StartScanner(script));
    auto other = Connect();
    ASSERT_NE(other, nullptr);
    std::string base;
    {
        auto leaving = Connect();
        ASSERT_NE(leaving, nullptr);
        base = StartHeldScan(*leaving, m_scanner);
        ASSERT_TRUE(fs::exists(base + "_0.tmp"));
    }
    EXPECT_TRUE(ScannerGotAbort(m_scanner));
    EXPECT_TRUE(WaitUntilGone(base + "_0.tmp"));
    int32_t count = -1;
    std::vector<USBFindDevRes> devices;
    ASSERT_TRUE(other->FindDevices(0x7A11, 1, true, count, devices));
    EXPECT_EQ(count, 0);
}

TEST_F(ForegroundNetworkScanTest, SigtermStopsListenerConnectionsAndScansAndRemovesPages)
{
    stSimScript script;
    script.listPageSizes = {3000};
    script.ending = stSimScript::enEnding::HoldUntilAbort;
    ASSERT_TRUE(StartScanner(script));
    auto idle = Connect();
    ASSERT_NE(idle, nullptr);
    int32_t count = -1;
    std::vector<USBFindDevRes> devices;
    ASSERT_TRUE(idle->FindDevices(0x7A11, 1, true, count, devices));
    auto scanning = Connect();
    ASSERT_NE(scanning, nullptr);
    const std::string base = StartHeldScan(*scanning, m_scanner);
    ASSERT_TRUE(fs::exists(base + "_0.tmp"));

    int status = -1;
    ASSERT_TRUE(StopForegroundListener(SIGTERM, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(OrphanedDaemonProcesses(), 0) << "a connection or data process outlived the listener";
    EXPECT_TRUE(ScannerGotAbort(m_scanner, 0));
    EXPECT_FALSE(fs::exists(base + "_0.tmp"));
    char byte = 0;
    EXPECT_FALSE(idle->Receive(&byte, 1));
    EXPECT_FALSE(scanning->Receive(&byte, 1));
    EXPECT_EQ(CountInLog(kInfoLog, "[VornScanSDK] parent pro exit"), 1);
    EXPECT_EQ(CountInLog(kInfoLog, "DISCONNECT FROM SERVER"), 2);
}
