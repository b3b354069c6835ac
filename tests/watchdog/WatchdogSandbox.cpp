// The sandbox's processes are told apart from the host's by their PID namespace, so tests
// running side by side never see each other's services.
#include "WatchdogSandbox.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString c_strSuiteRoot = QStringLiteral("vorn/vorn-printer-t905/");
constexpr int c_iPollMs = 50;

// The sandbox's init is a shell that waits on the watchdog: it reaps the detached services
// that are handed to it, as the init of a real system does. "/etc/cups" is hidden so the
// service finds no queues of the host.
const char* const c_szSandboxScript =
    "mount --bind \"$0\" /opt && mount -t tmpfs none /etc/cups && { \"$1\" & wait; }";

// The namespace links read like "pid:[4026531836]", not like paths.
QString ReadLink(const QString& strPath)
{
    char szTarget[64] = {};
    const ssize_t iLength = readlink(QFile::encodeName(strPath).constData(), szTarget, sizeof szTarget - 1);
    return iLength > 0 ? QString::fromLatin1(szTarget, int(iLength)) : QString();
}

bool ReadProcessStat(pid_t pid, stSandboxProcess& process)
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

pid_t FindChildOf(pid_t parent)
{
    const QStringList listPids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& strPid : listPids) {
        QFile status(QStringLiteral("/proc/%1/status").arg(strPid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& baLine : status.readAll().split('\n')) {
            if (baLine.startsWith("PPid:") && baLine.mid(5).trimmed().toInt() == parent)
                return strPid.toInt();
        }
    }
    return 0;
}

} // namespace

WatchdogSandbox::WatchdogSandbox()
{
    for (const char* szFolder : {"bin", "cfg", "log", "temp", "tool"})
        QDir().mkpath(m_dirOpt.filePath(c_strSuiteRoot + szFolder));
}

WatchdogSandbox::~WatchdogSandbox()
{
    if (m_iUnsharePid <= 0)
        return;
    // Killing a PID namespace's init takes every process of the namespace with it.
    const pid_t init = FindChildOf(m_iUnsharePid);
    if (init > 0)
        kill(init, SIGKILL);
    kill(m_iUnsharePid, SIGKILL);
    waitpid(m_iUnsharePid, nullptr, 0);
}

QString WatchdogSandbox::SuitePath(const QString& strRelative) const
{
    return m_dirOpt.filePath(c_strSuiteRoot + strRelative);
}

bool WatchdogSandbox::InstallService(const QString& strProgram)
{
    const QString strTarget = SuitePath(QStringLiteral("bin/vornT905Service"));
    QFile::remove(strTarget);
    return QFile::copy(strProgram, strTarget);
}

bool WatchdogSandbox::StartWatchdog()
{
    const QByteArray baOpt = QFile::encodeName(m_dirOpt.path());
    const QByteArray baWatchdog = QByteArrayLiteral(VORN_WATCHDOG_BINARY);
    m_iUnsharePid = fork();
    if (m_iUnsharePid < 0)
        return false;
    if (m_iUnsharePid == 0) {
        execlp("unshare", "unshare", "--mount", "--net", "--pid", "--fork", "--mount-proc", "--propagation", "private",
               "/bin/bash", "-c", c_szSandboxScript, baOpt.constData(), baWatchdog.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        const pid_t init = FindChildOf(m_iUnsharePid);
        if (init > 0) {
            m_strPidNamespace = ReadLink(QStringLiteral("/proc/%1/ns/pid").arg(init));
            if (!m_strPidNamespace.isEmpty())
                return true;
        }
        QThread::msleep(c_iPollMs);
    }
    return false;
}

std::vector<stSandboxProcess> WatchdogSandbox::Processes() const
{
    std::vector<stSandboxProcess> listProcesses;
    const QStringList listPids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& strPid : listPids) {
        bool bNumber = false;
        const pid_t pid = strPid.toInt(&bNumber);
        if (!bNumber || ReadLink(QStringLiteral("/proc/%1/ns/pid").arg(pid)) != m_strPidNamespace)
            continue;
        stSandboxProcess process;
        if (ReadProcessStat(pid, process))
            listProcesses.push_back(process);
    }
    return listProcesses;
}

std::vector<pid_t> WatchdogSandbox::ServicePids() const
{
    std::vector<pid_t> listPids;
    for (const stSandboxProcess& process : Processes()) {
        if (process.strName == QLatin1String("vornT905Service") && process.cState != 'Z')
            listPids.push_back(process.pid);
    }
    return listPids;
}

pid_t WatchdogSandbox::WaitForNewService(pid_t iOldPid, int iTimeoutMs) const
{
    QDeadlineTimer deadline(iTimeoutMs);
    do {
        for (pid_t pid : ServicePids()) {
            if (pid != iOldPid)
                return pid;
        }
        QThread::msleep(c_iPollMs);
    } while (!deadline.hasExpired());
    return 0;
}
