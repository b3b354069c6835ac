// The real watchdog keeping a service alive inside the test's private namespaces: first
// start, a killed service, a stopped service with a stale heartbeat, and a missing executable.
// The namespace's process table holds only this test's processes, so the watchdog's
// "killall" and the counts below never meet the host's.
#include "ChildProcess.h"
#include "CupsScheduler.h"
#include "SuiteRoot.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <signal.h>
#include <sys/time.h>

#include <map>
#include <set>
#include <vector>

using namespace VornTest;

namespace {

// Generous against the watchdog's own figures (a start about 1 s after a check that finds the
// service missing, checks 1 s apart), to leave room for a loaded machine.
constexpr int c_iFirstStartMs = 2500;
constexpr int c_iRestartAfterKillMs = 3500;
constexpr int c_iReplaceStoppedMs = 5000;
// The watchdog has finished a restart (kill, 1 s, start, 1 s) by then.
constexpr int c_iSettleAfterStartMs = 1500;
constexpr int c_iPollMs = 50;

const QString c_strServiceName = QStringLiteral("vornT905Service");

struct stProcess {
    pid_t pid = 0;
    QString strName;   // the kernel's command name
    char cState = '?'; // 'Z' for a zombie, 'T' for a stopped process
};

bool ReadProcess(pid_t pid, stProcess& process)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray baStat = stat.readAll();
    // The name sits in parentheses and may itself hold blanks or parentheses.
    const int iOpen = baStat.indexOf('(');
    const int iClose = baStat.lastIndexOf(')');
    if (iOpen < 0 || iClose < iOpen || iClose + 2 >= baStat.size())
        return false;
    process.pid = pid;
    process.strName = QString::fromLocal8Bit(baStat.mid(iOpen + 1, iClose - iOpen - 1));
    process.cState = baStat.at(iClose + 2);
    return true;
}

std::vector<stProcess> Processes()
{
    std::vector<stProcess> listProcesses;
    for (const QString& strEntry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool bNumber = false;
        const pid_t pid = strEntry.toInt(&bNumber);
        stProcess process;
        if (bNumber && ReadProcess(pid, process))
            listProcesses.push_back(process);
    }
    return listProcesses;
}

std::vector<pid_t> ServicePids()
{
    std::vector<pid_t> listPids;
    for (const stProcess& process : Processes()) {
        if (process.strName == c_strServiceName && process.cState != 'Z')
            listPids.push_back(process.pid);
    }
    return listPids;
}

// Waits for a service process other than oldPid; 0 when none came in time.
pid_t WaitForNewService(pid_t oldPid, int iTimeoutMs)
{
    QDeadlineTimer deadline(iTimeoutMs);
    do {
        for (pid_t pid : ServicePids()) {
            if (pid != oldPid)
                return pid;
        }
        QThread::msleep(c_iPollMs);
    } while (!deadline.hasExpired());
    return 0;
}

// Processes that stay across a short series of looks; the watchdog's passing "killall" and
// start helpers drop out. Lasting zombies go to setZombies.
std::set<pid_t> LastingProcesses(std::set<pid_t>& setZombies)
{
    constexpr int c_iLooks = 6;
    std::map<pid_t, int> mapSeen;
    std::map<pid_t, int> mapZombie;
    for (int i = 0; i < c_iLooks; ++i) {
        for (const stProcess& process : Processes()) {
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
            setZombies.insert(pid);
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

class WatchdogEndToEndTest : public ::testing::Test {
protected:
    SuiteRoot root;
    // Never started: it only lays an empty CUPS configuration over the host's, so the service
    // finds no queues.
    CupsScheduler cups;
    pid_t watchdog = -1;
    const QString strHeartbeat = QString::fromStdString(SuiteRoot::Path("cfg/service.hb"));

    void SetUp() override
    {
        ASSERT_TRUE(root.IsReady());
        ASSERT_TRUE(cups.IsReady());
    }

    void TearDown() override
    {
        StopChild(watchdog, SIGKILL);
        // The services belong to the namespace's reaper once the watchdog is gone.
        RunTool({"killall", "-s", "KILL", c_strServiceName.toStdString()});
        QDeadlineTimer deadline(5000);
        while (!ServicePids().empty() && !deadline.hasExpired())
            QThread::msleep(c_iPollMs);
    }

    void StartWatchdog()
    {
        watchdog = StartChild({VORN_WATCHDOG_BINARY});
        ASSERT_GT(watchdog, 0);
    }

    // Starts the watchdog with a service installed and returns the service it started.
    pid_t StartWatchdogWithService()
    {
        EXPECT_TRUE(root.InstallProgram(VORN_SERVICE_BINARY, c_strServiceName.toStdString()));
        StartWatchdog();
        return WaitForNewService(0, c_iFirstStartMs);
    }
};

TEST_F(WatchdogEndToEndTest, StartsAMissingServiceWithinTwoSeconds)
{
    const pid_t service = StartWatchdogWithService();
    ASSERT_NE(service, 0) << "no service started";
    QThread::msleep(c_iSettleAfterStartMs);
    EXPECT_TRUE(HeartbeatYoungerThanSecs(strHeartbeat, 3));
    EXPECT_EQ(ServicePids(), std::vector<pid_t>{service}) << "the first service was restarted or doubled";
}

TEST_F(WatchdogEndToEndTest, KilledServiceIsBackWithinThreeSeconds)
{
    const pid_t service = StartWatchdogWithService();
    ASSERT_NE(service, 0);
    QThread::msleep(c_iSettleAfterStartMs);

    ASSERT_EQ(kill(service, SIGKILL), 0);
    const pid_t replacement = WaitForNewService(service, c_iRestartAfterKillMs);
    ASSERT_NE(replacement, 0) << "the killed service was not started again";
    EXPECT_EQ(ServicePids().size(), 1u);
}

TEST_F(WatchdogEndToEndTest, StoppedServiceWithStaleHeartbeatIsReplaced)
{
    const pid_t service = StartWatchdogWithService();
    ASSERT_NE(service, 0);
    QThread::msleep(c_iSettleAfterStartMs);

    // A hung service: it is still there but no longer renews its heartbeat.
    ASSERT_EQ(kill(service, SIGSTOP), 0);
    AgeFileSecs(strHeartbeat, 20);

    const pid_t replacement = WaitForNewService(service, c_iReplaceStoppedMs);
    ASSERT_NE(replacement, 0) << "the hung service was not replaced";
    // The new service must not meet the old one and quit as a second instance.
    QThread::msleep(c_iSettleAfterStartMs);
    EXPECT_EQ(ServicePids(), std::vector<pid_t>{replacement});
    EXPECT_TRUE(HeartbeatYoungerThanSecs(strHeartbeat, 3));
}

TEST_F(WatchdogEndToEndTest, MissingExecutableIsRetriedWithoutGrowingAnything)
{
    StartWatchdog();
    QThread::msleep(1000);
    const QString strRoot = QString::fromStdString(SuiteRoot::Path(""));
    std::set<pid_t> setZombiesBefore;
    const std::set<pid_t> setBefore = LastingProcesses(setZombiesBefore);
    const std::map<QString, qint64> mapFilesBefore = FilesUnder(strRoot);

    // Two more rounds of failed starts.
    QThread::msleep(4000);
    std::set<pid_t> setZombiesAfter;
    const std::set<pid_t> setAfter = LastingProcesses(setZombiesAfter);
    EXPECT_EQ(setAfter, setBefore) << "the namespace's lasting processes changed";
    EXPECT_EQ(setBefore.count(watchdog), 1u);
    EXPECT_TRUE(setZombiesBefore.empty());
    EXPECT_TRUE(setZombiesAfter.empty());
    EXPECT_EQ(FilesUnder(strRoot), mapFilesBefore);

    // The watchdog is still trying: an executable that turns up is started at the next round.
    ASSERT_TRUE(root.InstallProgram(VORN_SERVICE_BINARY, c_strServiceName.toStdString()));
    EXPECT_NE(WaitForNewService(0, c_iFirstStartMs + 500), 0);
}

} // namespace
