// The real watchdog keeping a service alive inside a sandbox of its own: first start, a
// killed service, a stopped service with a stale heartbeat, and a missing executable.
#include "WatchdogSandbox.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QThread>

#include <signal.h>
#include <sys/time.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

// Generous against the watchdog's own figures (a start about 1 s after a check that finds the
// service missing, checks 1 s apart), to leave room for a loaded machine.
constexpr int c_iFirstStartMs = 2500;
constexpr int c_iRestartAfterKillMs = 3500;
constexpr int c_iReplaceStoppedMs = 5000;
// The watchdog has finished a restart (kill, 1 s, start, 1 s) by then.
constexpr int c_iSettleAfterStartMs = 1500;

bool HeartbeatYoungerThanSecs(const QString& strFile, int iSecs)
{
    const QFileInfo heartbeat(strFile);
    return heartbeat.exists() && heartbeat.lastModified().secsTo(QDateTime::currentDateTime()) < iSecs;
}

void AgeFileSecs(const QString& strFile, int iSecs)
{
    timeval times[2] = {};
    gettimeofday(&times[0], nullptr);
    times[0].tv_sec -= iSecs;
    times[1] = times[0];
    ASSERT_EQ(utimes(QFile::encodeName(strFile).constData(), times), 0);
}

// Processes that stay across a short series of looks; the watchdog's passing "killall" and
// start helpers drop out.
std::set<pid_t> LastingProcesses(const WatchdogSandbox& sandbox, std::set<pid_t>* pLastingZombies)
{
    std::map<pid_t, int> mapSeen;
    std::map<pid_t, int> mapZombie;
    constexpr int c_iLooks = 6;
    for (int i = 0; i < c_iLooks; ++i) {
        for (const stSandboxProcess& process : sandbox.Processes()) {
            ++mapSeen[process.pid];
            if (process.cState == 'Z')
                ++mapZombie[process.pid];
        }
        QThread::msleep(100);
    }
    std::set<pid_t> setLasting;
    for (const auto& [pid, iLooks] : mapSeen) {
        if (iLooks == c_iLooks)
            setLasting.insert(pid);
    }
    for (const auto& [pid, iLooks] : mapZombie) {
        if (iLooks == c_iLooks)
            pLastingZombies->insert(pid);
    }
    return setLasting;
}

std::map<QString, qint64> FilesUnder(const QString& strFolder)
{
    std::map<QString, qint64> mapFiles;
    QDirIterator it(strFolder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        mapFiles[it.filePath()] = it.fileInfo().size();
    }
    return mapFiles;
}

class WatchdogEndToEndTest : public ::testing::Test {
protected:
    WatchdogSandbox sandbox;
    QString strHeartbeat = sandbox.SuitePath(QStringLiteral("cfg/service.hb"));

    // Starts the watchdog with a service installed and returns the service it started.
    pid_t StartWatchdogWithService()
    {
        EXPECT_TRUE(sandbox.InstallService(QStringLiteral(VORN_SERVICE_BINARY)));
        EXPECT_TRUE(sandbox.StartWatchdog());
        return sandbox.WaitForNewService(0, c_iFirstStartMs);
    }
};

TEST_F(WatchdogEndToEndTest, StartsAMissingServiceWithinTwoSeconds)
{
    const pid_t service = StartWatchdogWithService();
    ASSERT_NE(service, 0) << "no service started";
    QThread::msleep(c_iSettleAfterStartMs);
    EXPECT_TRUE(HeartbeatYoungerThanSecs(strHeartbeat, 3));
    EXPECT_EQ(sandbox.ServicePids(), std::vector<pid_t>{service}) << "the first service was restarted or doubled";
}

TEST_F(WatchdogEndToEndTest, KilledServiceIsBackWithinThreeSeconds)
{
    const pid_t service = StartWatchdogWithService();
    ASSERT_NE(service, 0);
    QThread::msleep(c_iSettleAfterStartMs);

    ASSERT_EQ(kill(service, SIGKILL), 0);
    const pid_t replacement = sandbox.WaitForNewService(service, c_iRestartAfterKillMs);
    ASSERT_NE(replacement, 0) << "the killed service was not started again";
    EXPECT_EQ(sandbox.ServicePids().size(), 1u);
}

TEST_F(WatchdogEndToEndTest, StoppedServiceWithStaleHeartbeatIsReplaced)
{
    const pid_t service = StartWatchdogWithService();
    ASSERT_NE(service, 0);
    QThread::msleep(c_iSettleAfterStartMs);

    // A hung service: it is still there but no longer renews its heartbeat.
    ASSERT_EQ(kill(service, SIGSTOP), 0);
    AgeFileSecs(strHeartbeat, 20);

    const pid_t replacement = sandbox.WaitForNewService(service, c_iReplaceStoppedMs);
    ASSERT_NE(replacement, 0) << "the hung service was not replaced";
    // The new service must not meet the old one and quit as a second instance.
    QThread::msleep(c_iSettleAfterStartMs);
    EXPECT_EQ(sandbox.ServicePids(), std::vector<pid_t>{replacement});
    EXPECT_TRUE(HeartbeatYoungerThanSecs(strHeartbeat, 3));
}

TEST_F(WatchdogEndToEndTest, MissingExecutableIsRetriedWithoutGrowingAnything)
{
    ASSERT_TRUE(sandbox.StartWatchdog());
    QThread::msleep(1000);
    std::set<pid_t> setZombiesBefore;
    const std::set<pid_t> setBefore = LastingProcesses(sandbox, &setZombiesBefore);
    const std::map<QString, qint64> mapFilesBefore = FilesUnder(sandbox.SuitePath(QString()));

    // Two more rounds of failed starts.
    QThread::msleep(4000);
    std::set<pid_t> setZombiesAfter;
    const std::set<pid_t> setAfter = LastingProcesses(sandbox, &setZombiesAfter);
    EXPECT_EQ(setAfter, setBefore) << "the sandbox's lasting processes changed";
    EXPECT_EQ(setBefore.size(), 2u) << "expected the sandbox's init and the watchdog only";
    EXPECT_TRUE(setZombiesBefore.empty());
    EXPECT_TRUE(setZombiesAfter.empty());
    EXPECT_EQ(FilesUnder(sandbox.SuitePath(QString())), mapFilesBefore);

    // The watchdog is still trying: an executable that turns up is started at the next round.
    ASSERT_TRUE(sandbox.InstallService(QStringLiteral(VORN_SERVICE_BINARY)));
    EXPECT_NE(sandbox.WaitForNewService(0, c_iFirstStartMs + 500), 0);
}

} // namespace
