// The real daemon's process structure and client protocol: connections, malformed and
// undefined commands, refused descriptors and deletes, SIGQUIT.
#include "ScanDaemonFixture.h"
#include "ChildProcess.h"
#include "VornScanDaemon.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kSilenceMs = 300;
// A vendor no device on a test machine has.
constexpr int kUnknownVendor = 0x7A11;

void ExpectNoDeviceFound(VornScanClient& client)
{
    int32_t count = -1;
    std::vector<USBFindDevRes> devices;
    ASSERT_TRUE(client.FindDevices(kUnknownVendor, 0x0001, true, count, devices));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

} // namespace

TEST_F(ScanDaemonTest, ClientThatConnectsAndLeavesIsLoggedAndListenerGoesOn)
{
    {
        auto client = Connect();
        ASSERT_NE(client, nullptr);
    }
    ASSERT_TRUE(WaitForLog(kInfoLog, "DISCONNECT FROM SERVER"));
    EXPECT_EQ(CountInLog(kInfoLog, "[VornScanSDK] new conn pid:"), 1);
    EXPECT_EQ(CountInLog(kInfoLog, "DISCONNECT FROM SERVER"), 1);
    auto next = Connect();
    ASSERT_NE(next, nullptr);
    ExpectNoDeviceFound(*next);
}

TEST_F(ScanDaemonTest, LogsAndDaemonListenOnlyWhereExpected)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    ExpectNoDeviceFound(*client);
    for (const char* log : {kInfoLog, kErrLog}) {
        struct stat info {};
        ASSERT_EQ(stat((ScanFolder() + "/" + log).c_str(), &info), 0) << log;
        EXPECT_EQ(info.st_mode & 0022, 0u) << log << " is writable by others";
    }
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] bind port:7001\n"), 1);
    VornScanClient outside;
    EXPECT_FALSE(outside.Connect("127.0.0.2")) << "the daemon must listen on 127.0.0.1 only";
}

TEST_F(ScanDaemonTest, UndefinedCommandIsLoggedUnansweredAndNextCodeIsRead)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    const int32_t undefined[] = {20, -1, 0x7FFFFFFF};
    for (int32_t code : undefined) {
        ASSERT_TRUE(client->SendRaw(&code, sizeof code));
        EXPECT_TRUE(client->StaysSilent(kSilenceMs));
    }
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] undefined scanCommandType 20\n"), 1);
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] undefined scanCommandType -1\n"), 1);
    ExpectNoDeviceFound(*client);
}

TEST_F(ScanDaemonTest, ShortRecordIsAnErrorWithoutReply)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    const char shortFind[4 + 6] = {0};  // code 0 (USB_FIND_DEV) and half its record
    ASSERT_TRUE(client->SendRaw(shortFind, sizeof shortFind));
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
    EXPECT_TRUE(WaitForLog(kErrLog, "[VornScanSDK] recv FindDevReq err"));

    TCPScanStartReq start {};
    ASSERT_TRUE(client->SendCommand(TCP_SCAN_START, &start, 30));
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
    EXPECT_TRUE(WaitForLog(kErrLog, "[VornScanSDK] recv ScanStartReq err len:30"));

    CmdDeleteFileReq del {};
    ASSERT_TRUE(client->SendCommand(CMD_DELETE_FILE, &del, 100));
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
    EXPECT_TRUE(WaitForLog(kErrLog, "[VornScanSDK] recv CmdDeleteFileReq err"));

    ExpectNoDeviceFound(*client);
}

TEST_F(ScanDaemonTest, ShortReopenRecordStillGetsItsFailureReply)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    USBReopenDevReq reopen {};
    ASSERT_TRUE(client->SendCommand(USB_REOPEN_DEV, &reopen, 12));
    USBReopenDevRes reply {};
    ASSERT_TRUE(client->Receive(&reply, sizeof reply));
    EXPECT_EQ(reply.ret, SANE_STATUS_IO_ERROR);
    EXPECT_TRUE(WaitForLog(kErrLog, "[VornScanSDK] recv USBReopenDevReq err"));
}

TEST_F(ScanDaemonTest, DescriptorsTheConnectionDidNotOpenAreRefusedAndLeftAlone)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    // Among these are the connection's own socket and its log files.
    for (int32_t fd = -1; fd <= 12; ++fd) {
        int32_t result = -1;
        const USBCommonReq common {fd};
        ASSERT_TRUE(client->ResultOf(USB_CLOSE_DEV, &common, sizeof common, result));
        EXPECT_EQ(result, SANE_STATUS_IO_ERROR) << "close " << fd;
        ASSERT_TRUE(client->ResultOf(USB_OPEN_DEV, &common, sizeof common, result));
        EXPECT_EQ(result, SANE_STATUS_IO_ERROR) << "open " << fd;
        ASSERT_TRUE(client->ResultOf(USB_SCAN_UNLOCK, &common, sizeof common, result));
        EXPECT_EQ(result, SANE_STATUS_IO_ERROR) << "unlock " << fd;
        const USBClearDevEpReq clear {fd, 0x82};
        ASSERT_TRUE(client->ResultOf(USB_CLEAR_DEV, &clear, sizeof clear, result));
        EXPECT_EQ(result, SANE_STATUS_IO_ERROR) << "clear " << fd;

        USBScanStartRes start {};
        ASSERT_TRUE(client->SendCommand(USB_SCAN_START, &common, sizeof common));
        ASSERT_TRUE(client->Receive(&start, sizeof start));
        EXPECT_EQ(start.result, SANE_STATUS_IO_ERROR) << "start " << fd;

        USBScanAdfStatusRes adf {};
        ASSERT_TRUE(client->SendCommand(USB_SCAN_ADFSTATUS, &common, sizeof common));
        ASSERT_TRUE(client->Receive(&adf, sizeof adf));
        EXPECT_EQ(adf.result, SANE_STATUS_IO_ERROR);

        USBReopenDevReq reopen {};
        reopen.devfd = fd;
        USBReopenDevRes reopened {};
        ASSERT_TRUE(client->SendCommand(USB_REOPEN_DEV, &reopen, sizeof reopen));
        ASSERT_TRUE(client->Receive(&reopened, sizeof reopened));
        EXPECT_EQ(reopened.ret, SANE_STATUS_IO_ERROR);
    }
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
    ExpectNoDeviceFound(*client);
    EXPECT_EQ(CountInLog(kInfoLog, "[VornScanSDK] USB_CLOSE_DEV result 9"), 14);
    // The logs are still open: the connection writes on.
    EXPECT_EQ(CountInLog(kInfoLog, "DISCONNECT FROM SERVER"), 0);
}

TEST_F(ScanDaemonTest, DeleteRemovesOnlyRegularFilesInTheScanFolder)
{
    const std::string page = ScanFolder() + "/vornscandata_1_0_0.tmp";
    std::ofstream(page) << "page";
    const std::string outside = VornTest::SuiteRoot::Path("cfg/keep.ini");
    std::ofstream(outside) << "keep";
    fs::create_directory(ScanFolder() + "/sub");
    std::ofstream(ScanFolder() + "/sub/nested.tmp") << "nested";
    fs::create_symlink(outside, ScanFolder() + "/link.tmp");

    auto client = Connect();
    ASSERT_NE(client, nullptr);
    for (const std::string& name : {outside, ScanFolder() + "/../cfg/keep.ini", ScanFolder() + "/sub/nested.tmp",
                                    ScanFolder() + "/sub", ScanFolder() + "/link.tmp", std::string("keep.ini"),
                                    ScanFolder() + "/missing.tmp", page})
        ASSERT_TRUE(client->DeleteFile(name));
    EXPECT_TRUE(client->StaysSilent(kSilenceMs));
    ExpectNoDeviceFound(*client);

    EXPECT_FALSE(fs::exists(page));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(ScanFolder() + "/sub/nested.tmp"));
    EXPECT_TRUE(fs::is_directory(ScanFolder() + "/sub"));
    EXPECT_TRUE(fs::is_symlink(ScanFolder() + "/link.tmp"));
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] refuse to delete file:"), 6);
}

TEST_F(ScanDaemonTest, SigquitEndsTheListenerButNotOpenConnections)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    ExpectNoDeviceFound(*client);
    ASSERT_TRUE(QuitListener());
    EXPECT_TRUE(WaitForLog(kInfoLog, "[VornScanSDK] parent pro exit"));
    EXPECT_EQ(CountInLog(kInfoLog, "I got a signal 3\nI'm quitting.\n"), 1);
    EXPECT_EQ(CountInLog(kErrLog, "[VornScanSDK] accept err"), 1);
    ExpectNoDeviceFound(*client);
    VornScanClient late;
    EXPECT_FALSE(late.Connect());
}

TEST_F(ScanDaemonTest, SigquitEndsAConnectionProcessWithItsDisconnectLine)
{
    auto client = Connect();
    ASSERT_NE(client, nullptr);
    ExpectNoDeviceFound(*client);  // the process now waits in its next receive
    const std::string log = ScanFile(kInfoLog);
    const pid_t connection = atoi(log.c_str() + log.find("new conn pid:") + strlen("new conn pid:"));
    ASSERT_GT(connection, 0);
    ASSERT_EQ(kill(connection, SIGQUIT), 0);
    EXPECT_TRUE(WaitForLog(kInfoLog, "[VornScanSDK] pid:" + std::to_string(connection) + " DISCONNECT FROM SERVER"));
    char byte = 0;
    EXPECT_FALSE(client->Receive(&byte, 1)) << "the connection must be closed";
    auto next = Connect();
    ASSERT_NE(next, nullptr);
    ExpectNoDeviceFound(*next);
}

TEST_F(ScanDaemonTest, BrokenClientDoesNotDisturbAnother)
{
    auto good = Connect();
    ASSERT_NE(good, nullptr);
    {
        auto broken = Connect();
        ASSERT_NE(broken, nullptr);
        std::string noise;
        for (int i = 0; i < 4000; ++i)
            noise += static_cast<char>((i * 7919) & 0xFF);
        broken->SendRaw(noise.data(), noise.size());
        // Leaves in the middle of whatever the daemon is reading or answering.
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ExpectNoDeviceFound(*good);
}

TEST_F(ScanDaemonTest, ConnectionsBeyondTheLimitAreClosedAndLoggedOnce)
{
    std::vector<std::unique_ptr<VornScanClient>> served;
    for (int i = 0; i < kVornMaxConnections; ++i) {
        served.push_back(Connect());
        ASSERT_NE(served.back(), nullptr);
    }
    ASSERT_TRUE(WaitForLog(kInfoLog, "[VornScanSDK] new conn pid:", kVornMaxConnections));
    for (int i = 0; i < 2; ++i) {
        auto refused = Connect();
        ASSERT_NE(refused, nullptr);  // the kernel accepts; the daemon then closes it
        char byte = 0;
        EXPECT_FALSE(refused->Receive(&byte, 1));
    }
    EXPECT_EQ(CountInLog(kErrLog, "too many connections"), 1);
    EXPECT_EQ(CountInLog(kInfoLog, "[VornScanSDK] new conn pid:"), kVornMaxConnections);

    served.front().reset();
    ASSERT_TRUE(WaitForLog(kInfoLog, "DISCONNECT FROM SERVER"));
    std::unique_ptr<VornScanClient> next;
    // The listener counts the connection as gone once it has reaped its process.
    for (int attempt = 0; attempt < 50 && CountInLog(kInfoLog, "[VornScanSDK] new conn pid:") == kVornMaxConnections;
         ++attempt) {
        next = Connect();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(next, nullptr);
    ExpectNoDeviceFound(*next);
    ExpectNoDeviceFound(*served.back());
}

TEST_F(ScanDaemonTest, OpenScanFolderIsRefusedAndPagesLeftBehindGoAtStart)
{
    ASSERT_TRUE(QuitListener());
    ASSERT_EQ(chmod(ScanFolder().c_str(), 0777), 0);
    const VornTest::stToolResult refused = VornTest::RunTool({VornTest::SuiteRoot::Path("bin/VornScanDaemon")});
    EXPECT_EQ(refused.iExitCode, 1);
    EXPECT_NE(refused.strStderr.find("writable by group or others"), std::string::npos) << refused.strStderr;

    ASSERT_EQ(chmod(ScanFolder().c_str(), 0755), 0);
    const std::string leftBehind = ScanFolder() + "/vornscandata_99999_0_0.tmp";
    const std::string notes = ScanFolder() + "/notes.txt";
    std::ofstream(leftBehind) << "page";
    std::ofstream(notes) << "notes";
    ASSERT_NO_FATAL_FAILURE(StartDaemon());
    EXPECT_FALSE(fs::exists(leftBehind));
    EXPECT_TRUE(fs::exists(notes));
}
