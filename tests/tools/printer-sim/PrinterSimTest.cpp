// The printer simulator as the suite's tests meet it: real UDP on loopback, its control socket,
// its event log, and a USB printer seen through libusb by a child process it starts.
#include "ChildProcess.h"
#include "PrivateNamespace.h"
#include "UtilPrinterStatus.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace VornTest;

constexpr const char* c_szPrinterAddress = "127.0.0.2";
constexpr uint16_t c_wPrinterPort = 9300;
constexpr int c_iReplyWaitMs = 2000;
constexpr int c_iSilenceWaitMs = 500;
constexpr int c_iHeaderBytes = 7;
const std::vector<uint8_t> c_vecStatusRequest = {0xA5, 0x00, 0x0C, 0x50, 0xE0, 0x74, 0x08, 0x03, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> c_vecCancel = {0xA1, 0x34, 0x00, 0x00, 0x00, 0x00, 0xF9, 0x03};

// A model of the suite's table with a network interface, and one for USB.
constexpr const char* c_szNetworkModel = "VC5100DNW";
constexpr const char* c_szUsbModel = "VC5100DN";
constexpr const char* c_szUsbVendor = "0x3C7A";
constexpr const char* c_szUsbProduct = "0x1001";

// One UDP exchange with the simulated printer; an empty reply when none came in time.
class UdpClient {
public:
    UdpClient() : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~UdpClient() { close(m_fd); }

    void Send(const std::vector<uint8_t>& vecData) const
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(c_wPrinterPort);
        inet_pton(AF_INET, c_szPrinterAddress, &address.sin_addr);
        sendto(m_fd, vecData.data(), vecData.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    }

    QByteArray Receive(int iTimeoutMs) const
    {
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, iTimeoutMs) != 1)
            return {};
        char buf[2048];
        const ssize_t iLen = recv(m_fd, buf, sizeof(buf), 0);
        return iLen > 0 ? QByteArray(buf, int(iLen)) : QByteArray();
    }

    QByteArray AskStatus(int iTimeoutMs = c_iReplyWaitMs) const
    {
        Send(c_vecStatusRequest);
        return Receive(iTimeoutMs);
    }

private:
    const int m_fd;
};

class PrinterSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strDir = MakeScratchFolder("printer-sim");
        ASSERT_FALSE(m_strDir.empty());
        m_strEventLog = m_strDir + "/events.log";
    }

    void TearDown() override
    {
        if (m_pid > 0)
            StopChild(m_pid, SIGTERM);
        RemoveTree(m_strDir);
    }

    std::string WriteConfig(const std::string& strText)
    {
        const std::string strPath = m_strDir + "/sim.conf";
        std::ofstream(strPath) << strText;
        return strPath;
    }

    // Starts the simulator in the background and waits until its control socket answers.
    void StartSimulator(const std::string& strConfig)
    {
        m_pid = StartChild({VORN_PRINTER_SIM, "--config", WriteConfig(strConfig), "--control-dir", m_strDir,
                            "--event-log", m_strEventLog},
                           m_strDir + "/stderr.log");
        ASSERT_GT(m_pid, 0);
        for (int i = 0; i < 100; ++i) {
            if (Command("printers"))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        FAIL() << "the simulator did not come up";
    }

    bool Command(const std::string& strCommand)
    {
        return RunTool({VORN_PRINTER_SIM, "--send", m_strDir, strCommand}).Succeeded();
    }

    int CountEvents(const std::string& strLine) const
    {
        std::ifstream file(m_strEventLog);
        int iCount = 0;
        for (std::string strRead; std::getline(file, strRead);)
            iCount += strRead == strLine;
        return iCount;
    }

    static stPrinterState Decode(const QByteArray& baRecord)
    {
        stPrinterState state;
        EXPECT_EQ(DecodeStatusRecord(baRecord, state), 0);
        return state;
    }

    std::string m_strDir;
    std::string m_strEventLog;
    pid_t m_pid = -1;
};

TEST_F(PrinterSimTest, UdpStatusReplyDecodesToTheStateSet)
{
    StartSimulator(std::string("add P1 udp ") + c_szPrinterAddress + " " + c_szNetworkModel + " NS0001\n"
                   "set P1 status printing\n"
                   "error add P1 0x1106\n"
                   "warning add P1 0x110D\n"
                   "set P1 toner 7532\n"
                   "counters P1 pages=5 prints=9 printer-pages=1234\n");
    const QByteArray baReply = UdpClient().AskStatus();
    ASSERT_GE(baReply.size(), c_iHeaderBytes + 1);
    // The head frames the reply like a request: start byte, count of what follows, fixed bytes.
    EXPECT_EQ(uint8_t(baReply[0]), 0xA5);
    EXPECT_EQ((uint8_t(baReply[1]) << 8) | uint8_t(baReply[2]), baReply.size() - 3);
    const stPrinterState state = Decode(baReply);
    EXPECT_EQ(state.strVenderName, QStringLiteral("Vorn"));
    EXPECT_EQ(state.strProductName, QString::fromLatin1(c_szNetworkModel));
    EXPECT_EQ(state.strPrinterSerialNumber, QStringLiteral("NS0001"));
    EXPECT_EQ(state.enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(state.listError, QList<enErrorStatus>{ERR_FRONT_COVER_OPEN});
    EXPECT_EQ(state.listWarning, QList<enErrorStatus>{ERR_TONER_LOW});
    EXPECT_EQ(state.dwRemainingToner, 7532UL);
    EXPECT_EQ(state.dwNumberOfPages, 5UL);
    EXPECT_EQ(state.dwNumberOfPrint, 9UL);
    EXPECT_EQ(state.dwPrinterNumOfPages, 1234UL);
    EXPECT_EQ(CountEvents("status P1 udp"), 1);
}

TEST_F(PrinterSimTest, FreshPrinterIsReadyWithFullTonerAndStateChangesShowInTheNextReply)
{
    StartSimulator(std::string("add P1 udp ") + c_szPrinterAddress + " " + c_szNetworkModel + "\n");
    UdpClient client;
    stPrinterState state = Decode(client.AskStatus());
    EXPECT_EQ(state.enCurrentStatus, PS_READY);
    EXPECT_TRUE(state.listError.isEmpty());
    EXPECT_EQ(state.dwRemainingToner, 10000UL);

    ASSERT_TRUE(Command("set P1 toner 100"));
    ASSERT_TRUE(Command("error add P1 0x1110"));
    ASSERT_TRUE(Command("set P1 status 0x05"));
    state = Decode(client.AskStatus());
    EXPECT_EQ(state.dwRemainingToner, 100UL);
    EXPECT_EQ(state.listError, QList<enErrorStatus>{ERR_NO_CARTRIDGE});
    EXPECT_EQ(state.enCurrentStatus, PS_UNKNOWN);

    ASSERT_TRUE(Command("clear P1"));
    EXPECT_TRUE(Decode(client.AskStatus()).listError.isEmpty());
}

TEST_F(PrinterSimTest, BadCommandsAreRefusedAndChangeNothing)
{
    StartSimulator(std::string("add P1 udp ") + c_szPrinterAddress + " " + c_szNetworkModel + "\n");
    EXPECT_FALSE(Command("set P2 toner 5"));
    EXPECT_FALSE(Command("set P1 toner lots"));
    EXPECT_FALSE(Command("error add P1 0x10000"));
    EXPECT_FALSE(Command("add P3 udp 192.0.2.1 VC5100DNW"));  // off loopback
    EXPECT_FALSE(Command("add P4 usb NOSUCHMODEL SN1"));
    EXPECT_FALSE(Command("frobnicate"));
    const stPrinterState state = Decode(UdpClient().AskStatus());
    EXPECT_EQ(state.dwRemainingToner, 10000UL);
    EXPECT_TRUE(state.listError.isEmpty());
}

TEST_F(PrinterSimTest, UsbSettingsAndImageCommandsShowInTheListingAndBadOnesChangeNothing)
{
    StartSimulator(std::string("add U1 usb ") + c_szUsbModel + " UB1\n"
                   "net U1 source static\nnet U1 ip 10.1.2.3\nnet U1 wins2 10.1.2.9\nnet U1 set second\n"
                   "net U1 reply past-end\nimage U1 delay-per-kib 2\nimage U1 fail-after 4096\n");
    for (const char* szBad : {"net U1 ip 10.1.2", "net U1 ip 10.1.2.256", "net U1 mask 1.2.3.4.5", "net U1 set third",
                              "net U1 reply maybe", "net U1 source bootp", "net U9 ip 1.2.3.4", "image U1 fail-after -1",
                              "image U1 delay-per-kib", "image U1 speed 3"})
        EXPECT_FALSE(Command(szBad)) << szBad;
    const stToolResult result = RunTool({VORN_PRINTER_SIM, "--send", m_strDir, "printers"});
    ASSERT_TRUE(result.Succeeded());
    for (const char* szField : {" net=static,10.1.2.3,255.255.255.0,192.168.0.1,192.168.0.1,0.0.0.0,0.0.0.0,10.1.2.9 ",
                                " net-set=second ", " net-reply=past-end ", " image=0 ", " delay-per-kib=2 ",
                                " fail-after=4096"})
        EXPECT_NE(result.strStdout.find(szField), std::string::npos) << szField << " in " << result.strStdout;
    ASSERT_TRUE(Command("image U1 fail-after off"));
    EXPECT_NE(RunTool({VORN_PRINTER_SIM, "--send", m_strDir, "printers"}).strStdout.find(" fail-after=off"), std::string::npos);
}

TEST_F(PrinterSimTest, SilentPrinterHearsButDoesNotAnswer)
{
    StartSimulator(std::string("add P1 udp ") + c_szPrinterAddress + " " + c_szNetworkModel + "\n"
                   "silent P1 on\n");
    UdpClient client;
    EXPECT_TRUE(client.AskStatus(c_iSilenceWaitMs).isEmpty());
    EXPECT_EQ(CountEvents("status P1 udp"), 1);
    ASSERT_TRUE(Command("silent P1 off"));
    EXPECT_FALSE(client.AskStatus().isEmpty());
}

TEST_F(PrinterSimTest, CancelDatagramIsLoggedOnceAndNotAnswered)
{
    StartSimulator(std::string("add P1 udp ") + c_szPrinterAddress + " " + c_szNetworkModel + "\n");
    UdpClient client;
    client.Send(c_vecCancel);
    EXPECT_TRUE(client.Receive(c_iSilenceWaitMs).isEmpty());
    // A status exchange afterwards proves the cancel has been handled and logged.
    EXPECT_FALSE(client.AskStatus().isEmpty());
    EXPECT_EQ(CountEvents("cancel P1 udp"), 1);
    // Anything else is reported as what it was, never as a cancel.
    client.Send({0xA1, 0x34, 0x00});
    EXPECT_FALSE(client.AskStatus().isEmpty());
    EXPECT_EQ(CountEvents("cancel P1 udp"), 1);
    EXPECT_EQ(CountEvents("datagram P1 udp a13400"), 1);
}

TEST_F(PrinterSimTest, UnpluggedNetworkPrinterIsGoneUntilPluggedAgain)
{
    StartSimulator(std::string("add P1 udp ") + c_szPrinterAddress + " " + c_szNetworkModel + "\n");
    UdpClient client;
    ASSERT_TRUE(Command("unplug P1"));
    EXPECT_TRUE(client.AskStatus(c_iSilenceWaitMs).isEmpty());
    ASSERT_TRUE(Command("plug P1"));
    EXPECT_FALSE(client.AskStatus().isEmpty());
}

// The simulator runs the program under test as its child; the child sees the USB printer.
TEST_F(PrinterSimTest, UsbPrinterAnswersAChildThroughLibusb)
{
    const std::string strConfig = WriteConfig(std::string("add U1 usb ") + c_szUsbModel + " UB00012345\n"
                                              "set U1 status printing\n"
                                              "set U1 toner 4321\n");
    const stToolResult result = RunTool({VORN_PRINTER_SIM, "--config", strConfig, "--event-log", m_strEventLog, "--",
                                         VORN_USB_PROBE, c_szUsbVendor, c_szUsbProduct});
    ASSERT_TRUE(result.Succeeded()) << result.strStdout << result.strStderr;
    EXPECT_NE(result.strStdout.find("serial=UB00012345\n"), std::string::npos);
    const size_t uRecord = result.strStdout.find("record=");
    ASSERT_NE(uRecord, std::string::npos);
    const std::string strHex = result.strStdout.substr(uRecord + 7, result.strStdout.find('\n', uRecord) - uRecord - 7);
    // The USB reply is the record without its header; the reader puts seven zero bytes first.
    const stPrinterState state = Decode(QByteArray(c_iHeaderBytes, '\0') + QByteArray::fromHex(QByteArray::fromStdString(strHex)));
    EXPECT_EQ(state.enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(state.dwRemainingToner, 4321UL);
    EXPECT_EQ(state.strPrinterSerialNumber, QStringLiteral("UB00012345"));
    EXPECT_NE(result.strStdout.find("cancel=0\n"), std::string::npos);
    EXPECT_EQ(CountEvents("status U1 usb"), 1);
    EXPECT_EQ(CountEvents("cancel U1 usb"), 1);
    EXPECT_EQ(CountEvents("exit 0"), 1);
}

TEST_F(PrinterSimTest, UnpluggedUsbPrinterIsAbsentForTheChildAndExitCodePassesThrough)
{
    const std::string strConfig = WriteConfig(std::string("add U1 usb ") + c_szUsbModel + " UB1\nunplug U1\n");
    const stToolResult result = RunTool({VORN_PRINTER_SIM, "--config", strConfig, "--", VORN_USB_PROBE,
                                         c_szUsbVendor, c_szUsbProduct});
    EXPECT_EQ(result.iExitCode, 4) << result.strStdout << result.strStderr;
    EXPECT_NE(result.strStdout.find("absent\n"), std::string::npos);

    const std::string strReplug = WriteConfig(std::string("add U1 usb ") + c_szUsbModel + " UB1\nunplug U1\nplug U1\n");
    EXPECT_TRUE(RunTool({VORN_PRINTER_SIM, "--config", strReplug, "--", VORN_USB_PROBE, c_szUsbVendor, c_szUsbProduct})
                    .Succeeded());
}

TEST_F(PrinterSimTest, HeldUsbPrinterRefusesTheClaimAndIsNotAsked)
{
    const std::string strConfig = WriteConfig(std::string("add U1 usb ") + c_szUsbModel + " UB1\nheld U1 on\n");
    const stToolResult result = RunTool({VORN_PRINTER_SIM, "--config", strConfig, "--event-log", m_strEventLog, "--",
                                         VORN_USB_PROBE, c_szUsbVendor, c_szUsbProduct});
    EXPECT_EQ(result.iExitCode, 6) << result.strStdout << result.strStderr;
    EXPECT_NE(result.strStdout.find("serial=UB1\n"), std::string::npos);
    EXPECT_EQ(CountEvents("status U1 usb"), 0);
}

} // namespace
