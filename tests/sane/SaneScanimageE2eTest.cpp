// The real scanimage, pointed at libsane-vorn through a private SANE configuration, scanning
// through the real daemon from the simulated network scanner (127.0.0.2) and the simulated USB
// scanner on this process's private USB bus.
#include "ChildProcess.h"
#include "PrivateNamespace.h"
#include "ScanDaemonFixture.h"
#include "ScannerSimulator.h"
#include "SuiteRoot.h"
#include "TestJpeg.h"
#include "UsbScanner.h"
#include "UsbTestbed.h"
#include "VornSaneDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using VornTest::RunTool;
using VornTest::stToolResult;

namespace {

constexpr const char* kScanner = "127.0.0.2";
constexpr const char* kNetworkDevice = "vorn:net:127.0.0.2";
constexpr const char* kUsbDevice = "vorn:usb:3c7a:2001:VS0001";
// One inch by half an inch at 300 dpi: 300 x 150 pixels.
constexpr int kWidthPx = 300;
constexpr int kLines = 150;
const std::vector<std::string> kSmallArea = {"-l", "0", "-t", "0", "-x", "25.4", "-y", "12.7",
                                             "--resolution", "300", "--format=pnm"};

using Bytes = std::vector<unsigned char>;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The header fields (magic, width, height and, except for P4, the maximum value) and the
// samples of a binary PNM file; scanimage puts a comment line into the header.
struct stPnm {
    std::string strHeader;
    Bytes listSamples;
};

stPnm ReadPnm(const std::string& path)
{
    const std::string text = ReadAll(path);
    const size_t fields = text.rfind("P4", 0) == 0 ? 3 : 4;
    std::vector<std::string> header;
    size_t at = 0;
    while (header.size() < fields && at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return {};
        if (text[at] != '#') {
            std::istringstream line(text.substr(at, end - at));
            for (std::string field; line >> field;)
                header.push_back(field);
        }
        at = end + 1;
    }
    std::string joined;
    for (const std::string& field : header)
        joined += (joined.empty() ? "" : " ") + field;
    return {joined, Bytes(text.begin() + static_cast<long>(at), text.end())};
}

std::vector<std::string> PageFilesLeft()
{
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(VornTest::SuiteRoot::Path("scan"))) {
        if (entry.path().filename().string().rfind("vornscandata_", 0) == 0)
            left.push_back(entry.path().filename().string());
    }
    return left;
}

// CMD_DELETE_FILE has no reply, so the daemon may still be removing files as scanimage ends.
std::string PageFilesLeftAfterAWhile()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!PageFilesLeft().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string names;
    for (const std::string& name : PageFilesLeft())
        names += name + " ";
    return names;
}

// An instrumented backend needs the sanitizer runtimes loaded first into the uninstrumented
// scanimage: the ones this test process runs with.
void PreloadSanitizerRuntimes()
{
#if defined(__SANITIZE_ADDRESS__)
    std::ifstream maps("/proc/self/maps");
    std::string preload;
    for (std::string line; std::getline(maps, line);) {
        const size_t path = line.find('/');
        if (path == std::string::npos)
            continue;
        const std::string library = line.substr(path);
        const bool runtime = library.find("/libasan.so") != std::string::npos || library.find("/libubsan.so") != std::string::npos;
        if (runtime && preload.find(library) == std::string::npos)
            preload += library + ":";
    }
    const char* current = getenv("LD_PRELOAD");
    preload += current != nullptr ? current : "";
    setenv("LD_PRELOAD", preload.c_str(), 1);
#endif
}

class SaneScanimageTest : public ScanDaemonTest {
protected:
    void SetUp() override
    {
        // The bus and its scanner exist before the daemon starts, so the daemon inherits the bus.
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        ASSERT_FALSE(m_testbed.AddDevice(m_usbScanner).empty());
        ASSERT_NO_FATAL_FAILURE(ScanDaemonTest::SetUp());
        m_strConfig = VornTest::MakeScratchFolder("sane-config");
        m_strOut = VornTest::MakeScratchFolder("sane-out");
        std::ofstream(m_strConfig + "/dll.conf") << "vorn\n";
        std::ofstream(m_strConfig + "/vorn.conf") << "# the simulated scanner\n  " << kScanner << "  # loopback\n";
        // scanimage and every child started here find only this backend.
        setenv("SANE_CONFIG_DIR", m_strConfig.c_str(), 1);
        setenv("LD_LIBRARY_PATH", SANE_BACKEND_DIR, 1);
        static const bool s_bPreloaded = (PreloadSanitizerRuntimes(), true);
        (void)s_bPreloaded;
    }
    void TearDown() override
    {
        m_network.Stop();
        ScanDaemonTest::TearDown();
        VornTest::RemoveTree(m_strConfig);
        VornTest::RemoveTree(m_strOut);
    }

    stToolResult Scanimage(std::vector<std::string> args)
    {
        args.insert(args.begin(), "scanimage");
        return RunTool(args);
    }

    // Network pages of exactly the given sizes, then the given ending.
    void StartNetwork(const std::vector<size_t>& pages, stSimScript::enEnding ending = stSimScript::enEnding::JobDone,
                      char adfAfterCancel = 0)
    {
        stSimScript script;
        script.listPageSizes = pages;
        script.blockSize = 16384;
        script.ending = ending;
        script.chAdfStatusAfterCancel = adfAfterCancel;
        ASSERT_TRUE(m_network.Start(script));
    }

    UsbTestbed m_testbed;
    std::shared_ptr<UsbScanner> m_usbScanner = std::make_shared<UsbScanner>();
    ScannerSimulator m_network {kScanner};
    std::string m_strConfig;
    std::string m_strOut;
};

} // namespace

TEST_F(SaneScanimageTest, ListsUsbAndNetworkScannersAndSaysOnceWhenTheDaemonIsDown)
{
    StartNetwork({1000});
    const stToolResult listed = Scanimage({"-L"});
    ASSERT_TRUE(listed.Succeeded()) << listed.strStderr;
    EXPECT_NE(listed.strStdout.find(std::string("device `") + kUsbDevice + "' is a Vorn VC5100DN flatbed scanner"),
              std::string::npos)
        << listed.strStdout;
    EXPECT_NE(listed.strStdout.find(std::string("device `") + kNetworkDevice + "' is a Vorn Network flatbed scanner"),
              std::string::npos)
        << listed.strStdout;

    ASSERT_TRUE(QuitListener());
    const auto started = std::chrono::steady_clock::now();
    const stToolResult down = Scanimage({"-L"});
    const stToolResult scan = Scanimage({"-d", kNetworkDevice, "-o", m_strOut + "/none.pnm"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "a hang, not a message";
    const std::string message = "vorn: the scan daemon does not answer on 127.0.0.1:7001";
    for (const stToolResult* run : {&down, &scan}) {
        const std::string& err = run->strStderr;
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_EQ(err.find(message), err.rfind(message)) << "said more than once:\n" << err;
    }
    EXPECT_NE(scan.iExitCode, 0);
}

TEST_F(SaneScanimageTest, FlatbedScansGiveTheScannersPixels)
{
    struct stCase {
        const char* device;
        const char* mode;
        const char* header;
        size_t bytesPerLine;
    } cases[] = {
        {kNetworkDevice, "Gray", "P5 300 150 255", kWidthPx},
        {kNetworkDevice, "Color", "P6 300 150 255", kWidthPx * 3},
        // Lineart lines end on a whole byte: 300 pixels take 38 bytes.
        {kNetworkDevice, "Lineart", "P4 300 150", (kWidthPx + 7) / 8},
        {kUsbDevice, "Gray", "P5 300 150 255", kWidthPx},
        {kUsbDevice, "Color", "P6 300 150 255", kWidthPx * 3},
    };
    for (const stCase& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " " + c.mode);
        const size_t size = c.bytesPerLine * kLines;
        Bytes sent;
        if (std::string(c.device) == kNetworkDevice) {
            ASSERT_NO_FATAL_FAILURE(StartNetwork({size}));
            sent = ScannerSimulator::PageBytes(0, size);
        } else {
            sent.resize(size);
            for (size_t i = 0; i < size; ++i)
                sent[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
            m_usbScanner->SetScan({std::vector<uint8_t>(sent.begin(), sent.end())}, 5000);
        }
        const std::string out = m_strOut + "/flatbed.pnm";
        std::vector<std::string> args = {"-d", c.device, "--mode", c.mode, "-o", out};
        args.insert(args.end(), kSmallArea.begin(), kSmallArea.end());
        const stToolResult scanned = Scanimage(args);
        ASSERT_TRUE(scanned.Succeeded()) << scanned.strStderr;
        const stPnm image = ReadPnm(out);
        EXPECT_EQ(image.strHeader, c.header);
        EXPECT_TRUE(image.listSamples == sent) << "pixels differ from what the scanner sent";
        EXPECT_EQ(PageFilesLeftAfterAWhile(), "");
    }
}

TEST_F(SaneScanimageTest, AdfBatchGivesOneFilePerPageAndEndsWhenTheFeederIsDone)
{
    const size_t size = static_cast<size_t>(kWidthPx) * kLines;
    ASSERT_NO_FATAL_FAILURE(StartNetwork({size, size, size}));
    std::vector<std::string> args = {"-d", kNetworkDevice, "--mode", "Gray", "--source", "ADF",
                                     "--batch=" + m_strOut + "/page%d.pnm"};
    args.insert(args.end(), kSmallArea.begin(), kSmallArea.end());
    const stToolResult scanned = Scanimage(args);
    EXPECT_TRUE(scanned.Succeeded()) << scanned.strStderr;
    for (int page = 1; page <= 3; ++page) {
        const stPnm image = ReadPnm(m_strOut + "/page" + std::to_string(page) + ".pnm");
        EXPECT_TRUE(image.listSamples == ScannerSimulator::PageBytes(page - 1, size)) << "page " << page;
    }
    EXPECT_FALSE(fs::exists(m_strOut + "/page4.pnm"));
    EXPECT_EQ(m_network.DataConnections(), 1) << "one feeder job for the whole batch";
    EXPECT_EQ(PageFilesLeftAfterAWhile(), "");
}

TEST_F(SaneScanimageTest, JamMidBatchIsReportedAsAJam)
{
    const size_t size = static_cast<size_t>(kWidthPx) * kLines;
    // The USB scanner says "jam" in its record; the network scanner cancels the job and its
    // feeder then reports the jam.
    const Bytes usbPage(size, 0x5A);
    const std::vector<std::vector<uint8_t>> usbJam = {
        UsbScanner::DataRecord(UsbScanner::StatusBeginOfScan, 23),
        UsbScanner::DataRecord(UsbScanner::StatusBeginOfPage, 23),
        UsbScanner::DataRecord(UsbScanner::StatusData, static_cast<uint16_t>(23 + size)),
        std::vector<uint8_t>(usbPage.begin(), usbPage.end()),
        UsbScanner::DataRecord(UsbScanner::StatusEndOfPage, 23),
        UsbScanner::DataRecord(UsbScanner::StatusBeginOfPage, 23),
        UsbScanner::DataRecord(UsbScanner::StatusData, static_cast<uint16_t>(23 + size / 2)),
        std::vector<uint8_t>(size / 2, 0x11),
        UsbScanner::DataRecord(SCAN_STATUS_ABORTED_PAPER_JAM, 23),
    };
    m_usbScanner->SetProperties(3, 0x03);  // flatbed and feeder
    m_usbScanner->SetScanTransfers(usbJam);
    ASSERT_NO_FATAL_FAILURE(StartNetwork({size, size / 2}, stSimScript::enEnding::JobCancel, '3'));

    for (const char* device : {kNetworkDevice, kUsbDevice}) {
        SCOPED_TRACE(device);
        const std::string batch = m_strOut + "/" + (device == kUsbDevice ? "usb" : "net");
        std::vector<std::string> args = {"-d", device, "--mode", "Gray", "--source", "ADF", "--batch=" + batch + "%d.pnm"};
        args.insert(args.end(), kSmallArea.begin(), kSmallArea.end());
        const stToolResult scanned = Scanimage(args);
        EXPECT_NE(scanned.strStderr.find("Document feeder jammed"), std::string::npos) << scanned.strStderr;
        const Bytes first = device == kUsbDevice ? usbPage : ScannerSimulator::PageBytes(0, size);
        EXPECT_TRUE(ReadPnm(batch + "1.pnm").listSamples == first);
        EXPECT_EQ(PageFilesLeftAfterAWhile(), "");
    }
}

TEST_F(SaneScanimageTest, JpegPagesOfAUsbScannerThatOffersJpegArriveDecodedInTheirOwnSize)
{
    m_usbScanner->SetProperties(0x04 | 0x01, 0x01);  // JPEG offered, flatbed only
    const std::vector<unsigned char> jpeg = MakeTestJpeg(200, 100, true, 90);
    m_usbScanner->SetScan({std::vector<uint8_t>(jpeg.begin(), jpeg.end())}, 4096);
    std::vector<std::string> args = {"-d", kUsbDevice, "--mode", "Color", "-o", m_strOut + "/jpeg.pnm"};
    args.insert(args.end(), kSmallArea.begin(), kSmallArea.end());
    const stToolResult scanned = Scanimage(args);
    ASSERT_TRUE(scanned.Succeeded()) << scanned.strStderr;

    const stPnm image = ReadPnm(m_strOut + "/jpeg.pnm");
    EXPECT_EQ(image.strHeader, "P6 200 100 255");
    ASSERT_EQ(image.listSamples.size(), 200u * 100u * 3u);
    for (unsigned char sample : image.listSamples)
        ASSERT_NEAR(sample, 90, 2);
    // The lock asked the scanner for JPEG: compression mode 2 at byte 9.
    bool askedForJpeg = false;
    for (const std::vector<uint8_t>& command : m_usbScanner->ReceivedCommands())
        askedForJpeg = askedForJpeg || (command.size() == 55 && command[2] == UsbScanner::CodeLock && command[9] == 2);
    EXPECT_TRUE(askedForJpeg);
    EXPECT_EQ(PageFilesLeftAfterAWhile(), "");
}

TEST_F(SaneScanimageTest, CancelMidPageAbortsTheScanAndLeavesNoPageFile)
{
    const size_t size = static_cast<size_t>(kWidthPx) * kLines * 3;
    // Half a page, then the scanner waits until it is aborted.
    ASSERT_NO_FATAL_FAILURE(StartNetwork({size / 2}, stSimScript::enEnding::HoldUntilAbort));
    std::vector<std::string> args = {"scanimage", "-d", kNetworkDevice, "--mode", "Color", "-o", m_strOut + "/cut.pnm"};
    args.insert(args.end(), kSmallArea.begin(), kSmallArea.end());
    const pid_t scanimage = VornTest::StartChild(args, m_strOut + "/stderr.txt");
    ASSERT_GT(scanimage, 0);
    ASSERT_TRUE(m_network.WaitForStreamSent(10000));
    // The daemon has written the half page when the backend waits for more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PageFilesLeft().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(PageFilesLeft().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    EXPECT_TRUE(VornTest::StopChild(scanimage, SIGINT, 10000)) << "scanimage did not stop on a cancel";
    EXPECT_EQ(PageFilesLeftAfterAWhile(), "");
    bool aborted = false;
    for (const std::string& request : m_network.HttpRequests())
        aborted = aborted || request.find("SCANTYPE=4") != std::string::npos;
    EXPECT_TRUE(aborted) << "the scanner was not told to abort";
    EXPECT_NE(ReadAll(m_strOut + "/stderr.txt").find("Operation was canceled"), std::string::npos) << ReadAll(m_strOut + "/stderr.txt");
}

// Front-ends open a scanner again and again in one session; only the first open, and the first
// after a start that failed, should cost the round trips to the scanner.
TEST_F(SaneScanimageTest, ReopeningAsksTheScannerWhatItCanDoOnlyAfterAFailedStart)
{
    stSimScript script;
    script.iJobResult = 91;  // busy: every start fails
    ASSERT_TRUE(m_network.Start(script));
    const auto capabilityQueries = [this] {
        int count = 0;
        for (const std::string& request : m_network.HttpRequests())
            count += request.rfind("GET /netscan/capabilites ", 0) == 0 ? 1 : 0;
        return count;
    };
    VornForgetCapabilities();
    const std::string name = std::string(kNetworkDevice).substr(strlen("vorn:"));
    std::unique_ptr<VornSaneDevice> first;
    std::unique_ptr<VornSaneDevice> second;
    ASSERT_EQ(VornSaneDevice::Open(name, first), SANE_STATUS_GOOD);
    ASSERT_EQ(VornSaneDevice::Open(name, second), SANE_STATUS_GOOD);
    EXPECT_EQ(capabilityQueries(), 1);
    EXPECT_EQ(second->Start(), SANE_STATUS_DEVICE_BUSY);
    second.reset();
    ASSERT_EQ(VornSaneDevice::Open(name, second), SANE_STATUS_GOOD);
    EXPECT_EQ(capabilityQueries(), 2);
    VornForgetCapabilities();
}
