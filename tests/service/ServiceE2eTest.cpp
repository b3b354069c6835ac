// The real vornT905Service in a private world: a throwaway CUPS with real queues and jobs,
// network printers on loopback addresses, the suite's folders under the fixed root.
#include "CupsScheduler.h"
#include "PrivateNamespace.h"
#include "PrivateUser.h"
#include "ServiceE2eSupport.h"
#include "SuiteRoot.h"
#include "TestPpd.h"

#include <QDir>
#include <QSettings>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

using namespace ServiceE2e;
using namespace VornTest;

namespace {

// One pass of the device manager every 5 s. A new worker may begin its first cycle before the
// pass marks its printer for reading; that cycle of an off-line network printer lasts 10 s,
// and so does the one that first reads it, before the state it read counts.
constexpr int c_iPassWaitMs = 8000;
// Sanitizer builds start the CUPS tools of each job watch much more slowly, so the waits are
// generous; they only bound how long a failing test takes.
constexpr int c_iFirstReadWaitMs = 20000;
constexpr int c_iFirstCycleWaitMs = 20000;
constexpr int c_iFewCyclesWaitMs = 15000;

class ServiceE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.IsReady());
        ASSERT_TRUE(m_root.InstallProgram(SERVICE_PATH));
        ASSERT_TRUE(m_cups.Start()) << m_cups.LastError();
    }

    void AddQueue(const std::string& strName, const std::string& strUri, const std::string& strModelCode = "VL2120DN")
    {
        ASSERT_TRUE(m_cups.AddQueue(strName, strUri, SuiteModelName(strModelCode))) << m_cups.LastError();
    }

    static std::string StatusFile(const std::string& strQueue) { return SuiteRoot::Path("cfg/" + strQueue + ".dat"); }

    SuiteRoot m_root;
    CupsScheduler m_cups;
    ServiceProcess m_service;
};

} // namespace

TEST_F(ServiceE2eTest, PublishesSuiteQueuesInOrderRenewsHeartbeatAndRunsOnce)
{
    AddQueue("Alpha", CupsScheduler::UsbUri("VL2120DN", "SN0001"));
    AddQueue("Beta", CupsScheduler::VornSocketUri("127.0.0.2"));
    ASSERT_TRUE(m_cups.AddQueue("Foreign", "ipp://127.0.0.1:8631/ipp/print", c_strForeignModelName));
    ASSERT_TRUE(m_service.Start());

    ASSERT_TRUE(WaitFor([] { return PublishedQueues() == QStringList({"Alpha", "Beta"}); }, c_iPassWaitMs))
        << qPrintable(PublishedQueues().join(','));
    QSettings list(QString::fromStdString(SuiteRoot::Path("cfg/printerlist.ini")), QSettings::IniFormat);
    EXPECT_EQ(list.value("printer_0/ConnectType").toString(), "1");
    EXPECT_EQ(list.value("printer_0/Port").toString(), "Vorn/VL2120DN?serial=SN0001");
    EXPECT_EQ(list.value("printer_0/Model").toString(), "Vorn VL2120DN");
    EXPECT_EQ(list.value("printer_1/ConnectType").toString(), "2");
    EXPECT_EQ(list.value("printer_1/Port").toString(), "127.0.0.2");

    const std::string strBeat = SuiteRoot::Path("cfg/service.hb");
    const QByteArray baFirstBeat = ReadFile(strBeat);
    EXPECT_EQ(baFirstBeat.size(), 25);
    EXPECT_TRUE(WaitFor([&] { return ReadFile(strBeat) != baFirstBeat; }, c_iPassWaitMs));

    // A second instance finds the first and leaves at once, without disturbing it, and says so.
    const stToolResult second = RunTool({SuiteRoot::Path("bin/vornT905Service")});
    EXPECT_TRUE(second.Succeeded());
    EXPECT_EQ(second.strStderr,
              "vornT905Service: another instance is running (pid " + std::to_string(m_service.Pid()) + "), exiting\n");
    EXPECT_TRUE(m_service.IsAlive());
    const std::string strJournal = m_service.Journal();
    EXPECT_EQ(strJournal.rfind("vornT905Service: started, version ", 0), 0u) << strJournal;
    EXPECT_NE(strJournal.find("vornT905Service: managing 2 printer(s): Alpha (USB), Beta (network)\n"), std::string::npos)
        << strJournal;
}

TEST_F(ServiceE2eTest, ChineseAndShellCharacterQueueNamesReachFilesIntactUnderTheCLocale)
{
    const std::string strScratch = MakeScratchFolder("service-shell");
    ASSERT_FALSE(strScratch.empty());
    ASSERT_EQ(::chdir(strScratch.c_str()), 0);
    const std::string strQueue = "Q$(touch${IFS}pwned1);touch${IFS}pwned2`touch${IFS}pwned3`";
    const std::string strChineseQueue = "打印机";
    AddQueue(strQueue, CupsScheduler::VornSocketUri("127.0.0.4"));
    AddQueue(strChineseQueue, CupsScheduler::VornSocketUri("127.0.0.5"));
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Start({"add P4 udp 127.0.0.4 VL2120DN", "set P4 status printing", "add P5 udp 127.0.0.5 VL2120DN",
                           "set P5 status printing"}));
    // As the watchdog may start it from a boot script: no locale at all.
    ::setenv("LC_ALL", "C", 1);
    const bool bStarted = m_service.Start();
    ::unsetenv("LC_ALL");
    ASSERT_TRUE(bStarted);

    ASSERT_TRUE(WaitFor([&] { return FileExists(StatusFile(strQueue)) && FileExists(StatusFile(strChineseQueue)); },
                        c_iFirstReadWaitMs));
    QStringList listPublished = PublishedQueues();
    listPublished.sort();
    EXPECT_EQ(listPublished, (QStringList{QString::fromStdString(strQueue), QString::fromStdString(strChineseQueue)}));
    EXPECT_NE(m_service.Journal().find("打印机 (network)"), std::string::npos) << m_service.Journal();
    // Let the job watch run its listing a good number of times.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(QDir(QString::fromStdString(strScratch)).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(QStringLiteral("/opt/vorn/vorn-printer-t905/cfg")).entryList({"pwned*"}).isEmpty());
    ASSERT_EQ(::chdir("/"), 0);
}

TEST_F(ServiceE2eTest, AddedQueueGetsOneWorkerAndRemovedQueueLosesItsStatusFile)
{
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Start({"add P2 udp 127.0.0.2 VL2120DN", "set P2 status printing",
                           "add P3 udp 127.0.0.3 VL2120DN", "set P3 status printing"}));
    AddQueue("Alpha", CupsScheduler::VornSocketUri("127.0.0.2"));
    ASSERT_TRUE(m_service.Start());
    ASSERT_TRUE(WaitFor([&] { return FileExists(StatusFile("Alpha")); }, c_iFirstReadWaitMs));
    const int iWorkers = m_service.WorkerThreads();
    EXPECT_EQ(iWorkers, 1);

    AddQueue("Beta", CupsScheduler::VornSocketUri("127.0.0.3"));
    ASSERT_TRUE(WaitFor([&] { return FileExists(StatusFile("Beta")); }, c_iFirstReadWaitMs));
    EXPECT_EQ(PublishedQueues(), QStringList({"Alpha", "Beta"}));
    EXPECT_EQ(m_service.WorkerThreads(), iWorkers + 1);

    ASSERT_TRUE(m_cups.RemoveQueue("Beta"));
    ASSERT_TRUE(WaitFor([] { return PublishedQueues() == QStringList{"Alpha"}; }, c_iPassWaitMs));
    EXPECT_FALSE(FileExists(StatusFile("Beta")));
    EXPECT_TRUE(FileExists(StatusFile("Alpha")));

    // Back again: the idle worker of index 1 serves it, no new one is made.
    AddQueue("Beta", CupsScheduler::VornSocketUri("127.0.0.3"));
    ASSERT_TRUE(WaitFor([] { return PublishedQueues() == QStringList({"Alpha", "Beta"}); }, c_iPassWaitMs));
    EXPECT_EQ(m_service.WorkerThreads(), iWorkers + 1);
}

TEST_F(ServiceE2eTest, NetworkStatusFileHoldsTheDatagramUntilTheSixthFailedRead)
{
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Start({"add P2 udp 127.0.0.2 VL2120DN", "set P2 status printing"}));
    const QByteArray baRecord = SimulatedNetworkReply("P2", "127.0.0.2", 0x10);
    AddQueue("Alpha", CupsScheduler::VornSocketUri("127.0.0.2"));
    ASSERT_TRUE(m_service.Start());

    ASSERT_TRUE(WaitFor([&] { return ReadFile(StatusFile("Alpha")) == baRecord; }, c_iFirstReadWaitMs))
        << ReadFile(StatusFile("Alpha")).toHex().constData();
    // Once the printer is known to print it is read every second; the same record is not
    // published again.
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") >= 3; }, c_iFirstCycleWaitMs));
    const unsigned long inode = InodeOf(StatusFile("Alpha"));
    const int iSeen = sim.Events("status P2 udp");
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") >= iSeen + 3; }, c_iFewCyclesWaitMs));
    EXPECT_EQ(InodeOf(StatusFile("Alpha")), inode);

    // A scheduler that takes connections but never answers costs a job watch its time-out
    // now and then, not the printer's reads.
    ASSERT_TRUE(m_cups.Freeze());
    const int iBeforeHang = sim.Events("status P2 udp");
    // About one read a second normally, at least one every three seconds while it hangs.
    std::this_thread::sleep_for(std::chrono::seconds(9));
    EXPECT_GE(sim.Events("status P2 udp"), iBeforeHang + 3);
    ASSERT_TRUE(m_cups.Thaw());

    // Turned off: it hears the requests but answers none. Five failed reads are tolerated,
    // the sixth takes it off-line.
    ASSERT_TRUE(sim.Send({"silent", "P2", "on"}));
    const int iBefore = sim.Events("status P2 udp");
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") >= iBefore + 5; }, 3 * c_iFewCyclesWaitMs));
    EXPECT_TRUE(FileExists(StatusFile("Alpha")));
    ASSERT_TRUE(WaitFor([&] { return !FileExists(StatusFile("Alpha")); }, c_iFewCyclesWaitMs));
    EXPECT_EQ(sim.Events("status P2 udp"), iBefore + 6);
}

// The job owner's name is longer than the 8 characters a login listing keeps: the service
// asks the scheduler as root and sees every user's jobs all the same.
TEST_F(ServiceE2eTest, ReadyIdlePrinterIsReadWhenItsQueuePrintsAndOnlyAPrintingJobsCancelReachesIt)
{
    PrivateUser user("zhangsanfeng");
    ASSERT_TRUE(user.IsReady());
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Start({"add P2 udp 127.0.0.2 VL2120DN"}));
    AddQueue("Alpha", CupsScheduler::VornSocketUri("127.0.0.2"));
    ASSERT_TRUE(m_service.Start());

    // The first read finds it ready; after that cycle the idle queue is only watched in CUPS.
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") >= 1; }, c_iFirstReadWaitMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(11000));
    const int iIdleRequests = sim.Events("status P2 udp");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(sim.Events("status P2 udp"), iIdleRequests);

    // The first job prints; the second waits behind it and is cancelled before it printed.
    const std::string strJob = m_cups.SubmitRawJob("Alpha", "page data", user.Name());
    ASSERT_FALSE(strJob.empty()) << m_cups.LastError();
    ASSERT_TRUE(m_cups.WaitForJobListing("Alpha", "job-printing"));
    const std::string strWaitingJob = m_cups.SubmitRawJob("Alpha", "more pages", user.Name());
    ASSERT_FALSE(strWaitingJob.empty()) << m_cups.LastError();
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") > iIdleRequests + 1; }, c_iFewCyclesWaitMs));
    ASSERT_TRUE(m_cups.CancelJob(strWaitingJob, user.Name())) << m_cups.LastError();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(sim.Events("cancel P2 udp"), 0);

    ASSERT_TRUE(m_cups.CancelJob(strJob, user.Name())) << m_cups.LastError();
    ASSERT_TRUE(WaitFor([&] { return sim.Events("cancel P2 udp") >= 1; }, c_iFewCyclesWaitMs));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(sim.Events("cancel P2 udp"), 1);

    // The scheduler restarts under the running service, which picks it up again by itself.
    ASSERT_TRUE(m_cups.Stop());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(m_service.IsAlive());
    ASSERT_TRUE(m_cups.Start()) << m_cups.LastError();
    const std::string strLaterJob = m_cups.SubmitRawJob("Alpha", "page data", user.Name());
    ASSERT_FALSE(strLaterJob.empty()) << m_cups.LastError();
    ASSERT_TRUE(m_cups.WaitForJobListing("Alpha", "job-printing"));
    // Seen printing (the printer is read again) before it is cancelled.
    const int iReads = sim.Events("status P2 udp");
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") > iReads; }, c_iFewCyclesWaitMs));
    ASSERT_TRUE(m_cups.CancelJob(strLaterJob, user.Name())) << m_cups.LastError();
    EXPECT_TRUE(WaitFor([&] { return sim.Events("cancel P2 udp") >= 2; }, c_iFewCyclesWaitMs));
    EXPECT_TRUE(m_service.IsAlive());
    EXPECT_EQ(m_service.WorkerThreads(), 1);
}

TEST_F(ServiceE2eTest, StopsOnSigtermWithinTwoSecondsEvenDuringAPrinterReadAndASchedulerRequest)
{
    PrinterSimulator sim;
    ASSERT_TRUE(sim.Start({"add P2 udp 127.0.0.2 VL2120DN", "silent P2 on"}));
    AddQueue("Alpha", CupsScheduler::VornSocketUri("127.0.0.2"));
    ASSERT_TRUE(m_service.Start());
    // The printer never answers: the worker sits in its 2 s wait for a reply, or in the job
    // watch's wait for the hung scheduler.
    ASSERT_TRUE(WaitFor([&] { return sim.Events("status P2 udp") >= 1; }, c_iFirstReadWaitMs));
    ASSERT_TRUE(m_cups.Freeze());
    EXPECT_EQ(m_service.SignalAndWait(SIGTERM, 2000), 0);
}

TEST_F(ServiceE2eTest, StopsOnSigintWhileIdle)
{
    ASSERT_TRUE(m_service.Start());
    ASSERT_TRUE(WaitFor([] { return FileExists(SuiteRoot::Path("cfg/service.hb")); }, c_iPassWaitMs));
    EXPECT_EQ(m_service.SignalAndWait(SIGINT, 2000), 0);
    const std::string strJournal = m_service.Journal();
    EXPECT_NE(strJournal.find("\nvornT905Service: managing no printers\nvornT905Service: stopping on signal 2\n"),
              std::string::npos) << strJournal;
}
