// The watchdog's restart decision and the order of its stop and start steps, against a
// recorded service and a heartbeat file in a temporary folder.
#include "ServiceWatchdog.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class RecordedService : public ServiceControl {
public:
    bool bRunning = true;
    // Whether a process is still found right after the polite stop.
    bool bSurvivesStop = false;
    std::vector<std::string> listCalls;

    bool CheckIsRunning() override
    {
        listCalls.push_back("presence");
        return bRunning;
    }
    bool HasServiceProcess() override
    {
        listCalls.push_back("left");
        return bRunning;
    }
    void StopService(bool bForce) override
    {
        listCalls.push_back(bForce ? "kill" : "stop");
        if (bForce || !bSurvivesStop)
            bRunning = false;
    }
    void StartService() override
    {
        listCalls.push_back("start");
        bRunning = true;
    }

    int Count(const std::string& strCall) const
    {
        return static_cast<int>(std::count(listCalls.begin(), listCalls.end(), strCall));
    }
};

class ServiceWatchdogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString strHeartbeat = dir.filePath("service.hb");
    RecordedService service;
    // The real forced-restart count, without the real pauses.
    ServiceWatchdog watchdog{service, strHeartbeat, 0};

    void WriteHeartbeatAgedSecs(int iAgeSecs)
    {
        QFile file(strHeartbeat);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[2026-03-05 14:07:09.412]");
        // The buffered bytes would renew the time when they reach the file.
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-iAgeSecs), QFileDevice::FileModificationTime));
    }
};

TEST_F(ServiceWatchdogTest, RunningServiceWithThreeSecondOldHeartbeatIsLeftAlone)
{
    WriteHeartbeatAgedSecs(3);
    EXPECT_TRUE(watchdog.CheckServiceHeartbeat());
    EXPECT_FALSE(watchdog.RunCheck());
    EXPECT_EQ(service.Count("stop"), 0);
    EXPECT_EQ(service.Count("start"), 0);
}

TEST_F(ServiceWatchdogTest, HeartbeatTenSecondsOldRestartsTheService)
{
    WriteHeartbeatAgedSecs(10);
    EXPECT_FALSE(watchdog.CheckServiceHeartbeat());
    EXPECT_TRUE(watchdog.RunCheck());
    EXPECT_EQ(service.Count("start"), 1);
}

TEST_F(ServiceWatchdogTest, NineSecondOldHeartbeatIsStillFresh)
{
    WriteHeartbeatAgedSecs(9);
    EXPECT_TRUE(watchdog.CheckServiceHeartbeat());
}

TEST_F(ServiceWatchdogTest, MissingHeartbeatFileRestartsTheService)
{
    EXPECT_FALSE(watchdog.CheckServiceHeartbeat());
    EXPECT_TRUE(watchdog.RunCheck());
    EXPECT_EQ(service.Count("start"), 1);
}

TEST_F(ServiceWatchdogTest, HeartbeatFromTheFutureCountsAsFresh)
{
    WriteHeartbeatAgedSecs(-3600);
    EXPECT_TRUE(watchdog.CheckServiceHeartbeat());
    EXPECT_FALSE(watchdog.RunCheck());
}

TEST_F(ServiceWatchdogTest, MissingServiceIsStoppedByNameThenStarted)
{
    WriteHeartbeatAgedSecs(0);
    service.bRunning = false;
    EXPECT_TRUE(watchdog.RunCheck());
    const std::vector<std::string> listExpected = {"presence", "stop", "left", "start"};
    EXPECT_EQ(service.listCalls, listExpected);
}

TEST_F(ServiceWatchdogTest, ServiceThatSurvivesTheStopIsKilledBeforeTheNewStart)
{
    WriteHeartbeatAgedSecs(30);
    service.bSurvivesStop = true;
    EXPECT_TRUE(watchdog.RunCheck());
    const std::vector<std::string> listExpected = {"presence", "stop", "left", "kill", "left", "start"};
    EXPECT_EQ(service.listCalls, listExpected);
}

TEST_F(ServiceWatchdogTest, The3600thCheckRestartsWithoutAPresenceTest)
{
    WriteHeartbeatAgedSecs(0);
    for (int i = 0; i < ServiceWatchdog::c_iHealthyChecksBeforeRestart; ++i)
        ASSERT_FALSE(watchdog.RunCheck()) << "check " << i + 1;
    EXPECT_EQ(service.Count("presence"), 3599);

    EXPECT_TRUE(watchdog.RunCheck());
    EXPECT_EQ(service.Count("presence"), 3599);
    EXPECT_EQ(service.Count("stop"), 1);
    EXPECT_EQ(service.Count("start"), 1);
}

TEST_F(ServiceWatchdogTest, CountStartsAgainAfterARestart)
{
    WriteHeartbeatAgedSecs(0);
    // A stale-heartbeat restart part way through the hour resets the count as well.
    for (int i = 0; i < 100; ++i)
        ASSERT_FALSE(watchdog.RunCheck());
    service.bRunning = false;
    ASSERT_TRUE(watchdog.RunCheck());

    for (int i = 0; i < ServiceWatchdog::c_iHealthyChecksBeforeRestart; ++i)
        ASSERT_FALSE(watchdog.RunCheck()) << "check " << i + 1 << " after the restart";
    EXPECT_TRUE(watchdog.RunCheck());
    EXPECT_EQ(service.Count("start"), 2);
}

} // namespace
