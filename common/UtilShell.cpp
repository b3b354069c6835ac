// The presence tests read the kernel's process table directly: no shell pipeline, no temporary
// process list in a shared folder.
#include "UtilShell.h"

#include "UtilLog.h"
#include "UtilProcess.h"
#include "VornPaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

// The kernel keeps this many characters of a command name; that is all "ps -A" shows.
constexpr int c_iCommandNameChars = 15;
constexpr int c_iCmdOutputTimeoutMs = 30000;

enum enCmdOutputSource { CMD_OUTPUT_STDOUT = 0, CMD_OUTPUT_STDERR = 2 };

bool IsProcessId(const QString& strEntry)
{
    bool bNumber = false;
    strEntry.toUInt(&bNumber);
    return bNumber;
}

QString ReadCommandName(const QString& strProcessDir)
{
    QFile file(strProcessDir + QStringLiteral("/comm"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

// The PID namespace's identity ("pid:[4026531836]"); empty when it cannot be read (a process
// of another user, seen by a caller that is not root).
QByteArray ReadPidNamespace(const QString& strProcessDir)
{
    char szTarget[64] = {};
    const ssize_t iLength =
        ::readlink(QFile::encodeName(strProcessDir + QStringLiteral("/ns/pid")).constData(), szTarget, sizeof(szTarget) - 1);
    return iLength > 0 ? QByteArray(szTarget, int(iLength)) : QByteArray();
}

} // namespace

QList<int> FindProcessesNamed(const QString& strName, const QString& strProcDir)
{
    const QString strWanted = strName.left(c_iCommandNameChars);
    const QDir dirProc(strProcDir);
    const QByteArray baOwnNamespace = ReadPidNamespace(dirProc.filePath(QStringLiteral("self")));
    QList<int> listPid;
    for (const QString& strEntry : dirProc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!IsProcessId(strEntry))
            continue;
        // A process may end between listing and reading; its empty name matches nothing.
        const QString strCommand = ReadCommandName(dirProc.filePath(strEntry));
        if (strCommand.isEmpty() || strCommand.compare(strWanted, Qt::CaseInsensitive) != 0)
            continue;
        // A namespace that cannot be read counts as the caller's own, as before namespaces
        // were looked at: a second instance is refused rather than let through.
        const QByteArray baNamespace = ReadPidNamespace(dirProc.filePath(strEntry));
        if (!baOwnNamespace.isEmpty() && !baNamespace.isEmpty() && baNamespace != baOwnNamespace)
            continue;
        listPid.append(strEntry.toInt());
    }
    return listPid;
}

int CountProcessesNamed(const QString& strName, const QString& strProcDir)
{
    return FindProcessesNamed(strName, strProcDir).size();
}

bool CheckIsRunning(const QString& strOwnName, const QString& strProcDir)
{
    // The caller is one of the processes found.
    return CountProcessesNamed(strOwnName, strProcDir) > 1;
}

bool CheckIsServiceRunning(const QString& strProcDir)
{
    const int iCount = CountProcessesNamed(VornPaths::c_strServiceProcessName, strProcDir);
    if (iCount == 0)
        VORN_LOG("service not found!");
    return iCount > 0;
}

bool CheckIsHide(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && QString::fromLocal8Bit(argv[i]).compare(QStringLiteral("-hide"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool MakePathExist(const QString& strPath)
{
    if (QDir(strPath).exists())
        return true;
    return QDir().mkpath(strPath);
}

int GetCmdOutput(const QString& strCommand, QString& strOutput)
{
    strOutput.clear();
    const QStringList listParts = QProcess::splitCommand(strCommand);
    if (listParts.isEmpty())
        return CMD_OUTPUT_STDERR;
    stProcessOptions options;
    options.iTimeoutMs = c_iCmdOutputTimeoutMs;
    const stProcessResult result = UtilProcess::Run(listParts.first(), listParts.mid(1), options);

    // Both streams are read whole from pipes, so output that arrives late is never lost and
    // standard output wins whenever there is any.
    const bool bHasStdout = !result.baStdout.isEmpty();
    const QByteArray& baText = bHasStdout ? result.baStdout : result.baStderr;
    const int iZero = baText.indexOf('\0');
    strOutput = QString::fromLatin1(iZero < 0 ? baText : baText.left(iZero));
    return bHasStdout ? CMD_OUTPUT_STDOUT : CMD_OUTPUT_STDERR;
}
