// Proves the end-to-end fixtures against the real tools: what other tests rely on when they
// create queues, print, cancel and log in through them.
#include "CupsScheduler.h"
#include "DesktopLogin.h"
#include "PrivateUser.h"
#include "SuiteRoot.h"
#include "TestPpd.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace VornTest;

namespace {

const std::string c_strCode = "VL2120DN";
const std::string c_strSuiteModel = SuiteModelName(c_strCode);

std::string ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::string DeviceListing(const CupsScheduler& cups, const std::string& strLang = "C")
{
    stToolOptions options;
    options.listEnv = {"LANG=" + strLang, "LC_ALL=" + strLang};
    return cups.Run({"lpstat", "-v"}, options).strStdout;
}

class CupsFixtureTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_cups.IsReady()) << m_cups.LastError();
        ASSERT_TRUE(m_cups.Start()) << m_cups.LastError();
    }

    void AddQueue(const std::string& strName, const std::string& strUri, const std::string& strModel = c_strSuiteModel)
    {
        ASSERT_TRUE(m_cups.AddQueue(strName, strUri, strModel)) << m_cups.LastError();
    }

    CupsScheduler m_cups;
};

TEST_F(CupsFixtureTest, QueuesOfEveryUriKindAreListedAndWrittenToTheConfiguration)
{
    AddQueue("UsbQ", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    AddQueue("SocketQ", CupsScheduler::SocketUri("127.0.0.2"));
    AddQueue("VornSocketQ", CupsScheduler::VornSocketUri("127.0.0.3"));
    AddQueue("IppQ", "ipp://127.0.0.1:8631/ipp/print", c_strForeignModelName);
    AddQueue("FileQ", "file:/dev/null", c_strForeignModelName);
    // lpstat shows file URIs as bare paths.

    const std::string strListing = DeviceListing(m_cups);
    EXPECT_NE(strListing.find("device for UsbQ: usb://Vorn/VL2120DN?serial=SN0001\n"), std::string::npos) << strListing;
    EXPECT_NE(strListing.find("device for SocketQ: socket://127.0.0.2:9100\n"), std::string::npos);
    EXPECT_NE(strListing.find("device for VornSocketQ: vornsocket://127.0.0.3\n"), std::string::npos);
    EXPECT_NE(strListing.find("device for IppQ: ipp://127.0.0.1:8631/ipp/print\n"), std::string::npos);
    EXPECT_NE(strListing.find("device for FileQ: /dev/null\n"), std::string::npos) << strListing;

    // The service reads these at once, not half a minute later.
    const std::string strConf = ReadFile("/etc/cups/printers.conf");
    EXPECT_NE(strConf.find("<Printer UsbQ>\n"), std::string::npos) << strConf;
    EXPECT_NE(strConf.find("DeviceURI vornsocket://127.0.0.3\n"), std::string::npos);
    EXPECT_NE(ReadFile("/etc/cups/ppd/UsbQ.ppd").find("*ModelName: \"Vorn VL2120DN\""), std::string::npos);
    EXPECT_NE(ReadFile("/etc/cups/ppd/IppQ.ppd").find("*ModelName: \"" + c_strForeignModelName + "\""), std::string::npos);
}

TEST_F(CupsFixtureTest, EachTestStartsWithoutQueuesOrHostState)
{
    EXPECT_EQ(DeviceListing(m_cups), "");
    EXPECT_FALSE(std::filesystem::exists("/etc/cups/printers.conf"));
    const std::string strConf = ReadFile("/etc/cups/cupsd.conf");
    EXPECT_NE(strConf.find("Browsing No\n"), std::string::npos);
    EXPECT_NE(strConf.find("DirtyCleanInterval 0\n"), std::string::npos);
}

TEST_F(CupsFixtureTest, TranslatedListingUsesFullWidthColon)
{
    AddQueue("UsbQ", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    EXPECT_EQ(DeviceListing(m_cups, "zh_CN.UTF-8"), "用于 UsbQ 的设备：usb://Vorn/VL2120DN?serial=SN0001\n");
}

TEST_F(CupsFixtureTest, QueueCanBeRemovedAndRepointed)
{
    AddQueue("A", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    AddQueue("B", CupsScheduler::SocketUri("127.0.0.2"));
    ASSERT_TRUE(m_cups.RemoveQueue("A")) << m_cups.LastError();
    ASSERT_TRUE(m_cups.SetQueueUri("B", CupsScheduler::VornSocketUri("127.0.0.9"))) << m_cups.LastError();

    EXPECT_EQ(DeviceListing(m_cups), "device for B: vornsocket://127.0.0.9\n");
    const std::string strConf = ReadFile("/etc/cups/printers.conf");
    EXPECT_EQ(strConf.find("<Printer A>"), std::string::npos);
    EXPECT_NE(strConf.find("DeviceURI vornsocket://127.0.0.9\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("/etc/cups/ppd/A.ppd"));
}

TEST_F(CupsFixtureTest, QueueNamesMayHoldShellCharactersButNoQuotesOrBlanks)
{
    for (const std::string strName : {"semi;colon", "dollar$HOME", "back`tick`", "pipe|amp&", "paren(s)<>", "打印机"}) {
        AddQueue(strName, CupsScheduler::UsbUri(c_strCode, "SN0001"));
        EXPECT_NE(DeviceListing(m_cups).find("device for " + strName + ": "), std::string::npos) << strName;
        EXPECT_TRUE(std::filesystem::exists("/etc/cups/ppd/" + strName + ".ppd")) << strName;
    }
    for (const std::string strName : {"single'quote", "double\"quote", "with blank", "slash/name", "hash#name",
                                      "back\\slash", "question?"}) {
        EXPECT_FALSE(m_cups.AddQueue(strName, CupsScheduler::UsbUri(c_strCode, "SN0001"), c_strSuiteModel)) << strName;
    }
}

TEST_F(CupsFixtureTest, SchedulerStopsAndRestartsWithItsQueues)
{
    AddQueue("UsbQ", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    ASSERT_TRUE(m_cups.Stop());
    EXPECT_FALSE(m_cups.IsRunning());
    EXPECT_NE(m_cups.Run({"lpstat", "-r"}, {{"LANG=C"}, {}, {}}).strStdout.find("scheduler is not running"),
              std::string::npos);

    ASSERT_TRUE(m_cups.Start()) << m_cups.LastError();
    EXPECT_EQ(DeviceListing(m_cups), "device for UsbQ: usb://Vorn/VL2120DN?serial=SN0001\n");
}

TEST_F(CupsFixtureTest, VornSocketJobPrintsUntilCancelled)
{
    AddQueue("NetQ", CupsScheduler::VornSocketUri("127.0.0.4"));
    const std::string strJob = m_cups.SubmitRawJob("NetQ", std::string(4096, 'x'));
    ASSERT_EQ(strJob, "NetQ-1") << m_cups.LastError();

    ASSERT_TRUE(m_cups.WaitForJobListing("NetQ", "\tAlerts: job-printing\n")) << m_cups.JobListing("NetQ");
    const std::string strListing = m_cups.JobListing("NetQ");
    EXPECT_EQ(strListing.rfind("NetQ-1 ", 0), 0u) << strListing;
    EXPECT_NE(m_cups.JobListing("NetQ", "zh_CN.UTF-8").find("\t警告：job-printing\n"), std::string::npos);
    EXPECT_NE(m_cups.Run({"lpstat", "-p", "NetQ"}, {{"LANG=C"}, {}, {}}).strStdout.find("now printing NetQ-1."),
              std::string::npos);
    EXPECT_NE(m_cups.Run({"lpstat", "-p", "NetQ"}, {{"LANG=zh_CN.UTF-8"}, {}, {}}).strStdout.find("正在打印 NetQ-1"),
              std::string::npos);

    ASSERT_TRUE(m_cups.CancelJob(strJob)) << m_cups.LastError();
    EXPECT_TRUE(m_cups.WaitForJobListing("NetQ", "\tAlerts: job-canceled-by-user\n")) << m_cups.JobListing("NetQ");
}

// Nothing listens on the port: the socket backend keeps retrying, so the job stays printing.
TEST_F(CupsFixtureTest, SocketJobWithoutListenerPrintsUntilCancelled)
{
    AddQueue("SockQ", CupsScheduler::SocketUri("127.0.0.5"));
    const std::string strJob = m_cups.SubmitRawJob("SockQ", "data");
    ASSERT_FALSE(strJob.empty()) << m_cups.LastError();
    ASSERT_TRUE(m_cups.WaitForJobListing("SockQ", "\tAlerts: job-printing\n")) << m_cups.JobListing("SockQ");

    ASSERT_TRUE(m_cups.CancelJob(strJob)) << m_cups.LastError();
    EXPECT_TRUE(m_cups.WaitForJobListing("SockQ", "\tAlerts: job-canceled-by-user\n")) << m_cups.JobListing("SockQ");
}

TEST_F(CupsFixtureTest, UsbJobWithoutDeviceWaitsForThePrinter)
{
    AddQueue("UsbQ", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    ASSERT_FALSE(m_cups.SubmitRawJob("UsbQ", "data").empty()) << m_cups.LastError();
    EXPECT_TRUE(m_cups.WaitForJobListing("UsbQ", "Waiting for printer to become available."))
        << m_cups.JobListing("UsbQ");
}

TEST(PrivateUserTest, JobOfADesktopUserIsListedForThemAndCancelledOnlyByThem)
{
    PrivateUser user;
    ASSERT_TRUE(user.IsReady());
    PrivateUser other("vornother", 4712);
    ASSERT_TRUE(other.IsReady());
    CupsScheduler cups;
    ASSERT_TRUE(cups.Start()) << cups.LastError();
    ASSERT_TRUE(cups.AddQueue("NetQ", CupsScheduler::VornSocketUri("127.0.0.4"), c_strSuiteModel)) << cups.LastError();

    const std::string strJob = cups.SubmitRawJob("NetQ", "data", user.Name());
    ASSERT_FALSE(strJob.empty()) << cups.LastError();
    ASSERT_TRUE(cups.WaitForJobListing("NetQ", "job-printing")) << cups.JobListing("NetQ");
    // The way the service reads a desktop user's jobs.
    const std::string strListing =
        cups.Run({"sudo", "-u", user.Name(), "lpstat", "-W", "all", "-l", "-o", "NetQ"}).strStdout;
    EXPECT_EQ(strListing.rfind(strJob + " ", 0), 0u) << strListing;
    EXPECT_NE(strListing.find(" " + user.Name() + " "), std::string::npos) << strListing;
    EXPECT_NE(strListing.find("\tAlerts: job-printing\n"), std::string::npos) << strListing;
    EXPECT_FALSE(cups.CancelJob(strJob, other.Name()));
    EXPECT_TRUE(cups.CancelJob(strJob, user.Name())) << cups.LastError();
}

TEST(DesktopLoginTest, LoginShowsInWWhileItLasts)
{
    PrivateUser user;
    ASSERT_TRUE(user.IsReady());
    {
        DesktopLogin login(user.Name());
        ASSERT_TRUE(login.IsActive());
        const std::string strW = RunTool({"w", "-h", "-u", "-s"}).strStdout;
        EXPECT_EQ(strW.rfind(user.Name() + " ", 0), 0u) << strW;
    }
    EXPECT_EQ(RunTool({"w", "-h", "-u", "-s"}).strStdout, "");
}

TEST(PrivateNamespaceTest, TestSeesOnlyItsOwnProcessesAndLoopback)
{
    // The namespace's reaper, this test and ps; no host process, no zombie of earlier tests.
    const std::string strProcesses = RunTool({"ps", "-e", "-o", "pid=,stat=,comm="}).strStdout;
    std::istringstream lines(strProcesses);
    int iCount = 0;
    for (std::string strLine; std::getline(lines, strLine);)
        ++iCount;
    EXPECT_EQ(iCount, 3) << strProcesses;

    struct if_nameindex* pInterfaces = if_nameindex();
    ASSERT_NE(pInterfaces, nullptr);
    EXPECT_STREQ(pInterfaces[0].if_name, "lo");
    EXPECT_EQ(pInterfaces[1].if_name, nullptr);
    if_freenameindex(pInterfaces);
}

TEST(SuiteRootTest, FreshFoldersAndInstalledProgramsUnderTheFixedRoot)
{
    SuiteRoot root;
    ASSERT_TRUE(root.IsReady());
    for (const char* szFolder : {"bin", "cfg", "log", "tool", "temp", "scan"})
        EXPECT_TRUE(std::filesystem::is_directory(SuiteRoot::Path(szFolder))) << szFolder;
    EXPECT_TRUE(std::filesystem::is_empty(SuiteRoot::Path("cfg")));

    ASSERT_TRUE(root.InstallProgram("/bin/echo", "vornT905Service"));
    EXPECT_EQ(RunTool({SuiteRoot::Path("bin/vornT905Service"), "hello"}).strStdout, "hello\n");
}

} // namespace
