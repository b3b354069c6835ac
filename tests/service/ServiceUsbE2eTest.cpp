// The real vornT905Service with a USB queue in a throwaway CUPS and a simulated USB printer on
// a private bus, which the service's process inherits.
#include "CupsScheduler.h"
#include "PrivateUser.h"
#include "ServiceE2eSupport.h"
#include "SimulatedUsbPrinter.h"
#include "SuiteRoot.h"
#include "TestPpd.h"

#include <gtest/gtest.h>

using namespace ServiceE2e;
using namespace VornTest;

namespace {

constexpr int c_iFirstReadWaitMs = 20000;
// Generous for sanitizer builds; it only bounds how long a failing test takes.
constexpr int c_iFewCyclesWaitMs = 10000;
const std::string c_strQueue = "LabPrinter";

class ServiceUsbE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        ASSERT_TRUE(m_root.IsReady());
        ASSERT_TRUE(m_root.InstallProgram(SERVICE_PATH));
        ASSERT_TRUE(m_cups.Start()) << m_cups.LastError();
        ASSERT_TRUE(m_cups.AddQueue(c_strQueue, CupsScheduler::UsbUri("VL2120DN", "SN0001"), SuiteModelName("VL2120DN")))
            << m_cups.LastError();
        m_testbed.AddDevice(std::make_shared<UsbSimDevice>(UnrelatedUsbDevice()));
        m_pPrinter = std::make_shared<SimulatedUsbPrinter>("SN0001");
        m_pPrinter->Printer().Update([](stSimPrinterState& state) { state.byStatusCode = SimStatusCode::c_byPrinting; });
        m_strNode = m_testbed.AddDevice(m_pPrinter);
        ASSERT_FALSE(m_strNode.empty());
    }

    static std::string StatusFile() { return SuiteRoot::Path("cfg/" + c_strQueue + ".dat"); }

    UsbTestbed m_testbed;
    SuiteRoot m_root;
    CupsScheduler m_cups;
    std::shared_ptr<SimulatedUsbPrinter> m_pPrinter;
    std::string m_strNode;
    ServiceProcess m_service;
};

} // namespace

TEST_F(ServiceUsbE2eTest, UnpluggedPrinterGoesOfflineAtOnce)
{
    ASSERT_TRUE(m_service.Start());
    const QByteArray baRecord = QByteArray(7, '\0') + m_pPrinter->Printer().UsbReply();
    ASSERT_TRUE(WaitFor([&] { return ReadFile(StatusFile()) == baRecord; }, c_iFirstReadWaitMs))
        << ReadFile(StatusFile()).toHex().constData();
    EXPECT_EQ(m_pPrinter->LastStatusLength(), 1024);

    m_testbed.RemoveDevice(m_strNode);
    // The first read that misses the printer takes it off-line.
    EXPECT_TRUE(WaitFor([] { return !FileExists(StatusFile()); }, c_iFewCyclesWaitMs));
}

// The owner's name is longer than a login listing keeps; the service sees the jobs anyway.
TEST_F(ServiceUsbE2eTest, OnlyTheJobCancelledWhilePrintingIsCancelledOnThePrinterOnce)
{
    PrivateUser user("zhangsanfeng");
    ASSERT_TRUE(user.IsReady());
    ASSERT_TRUE(m_service.Start());
    ASSERT_TRUE(WaitFor([] { return FileExists(StatusFile()); }, c_iFirstReadWaitMs));

    const std::string strJob = m_cups.SubmitRawJob(c_strQueue, "page data", user.Name());
    ASSERT_FALSE(strJob.empty()) << m_cups.LastError();
    ASSERT_TRUE(m_cups.WaitForJobListing(c_strQueue, "job-printing")) << m_cups.JobListing(c_strQueue);
    // Waits behind the first and is cancelled before it printed: nothing for the printer.
    const std::string strWaitingJob = m_cups.SubmitRawJob(c_strQueue, "more pages", user.Name());
    ASSERT_FALSE(strWaitingJob.empty()) << m_cups.LastError();
    // Give the job watch (every 150 ms) time to see both.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(m_cups.CancelJob(strWaitingJob, user.Name())) << m_cups.LastError();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(m_pPrinter->CancelRequests(), 0);

    ASSERT_TRUE(m_cups.CancelJob(strJob, user.Name())) << m_cups.LastError();
    ASSERT_TRUE(WaitFor([&] { return m_pPrinter->CancelRequests() >= 1; }, c_iFewCyclesWaitMs)) << m_cups.JobListing(c_strQueue);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(m_pPrinter->CancelRequests(), 1);
    EXPECT_EQ(m_pPrinter->LastCancelLength(), 1017);
}
