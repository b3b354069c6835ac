// Each event is written with one call, so lines from several threads never interleave; the
// queue names are UTF-8 whatever the locale.
#include "ServiceJournal.h"

#include "ProgramOptions.h"
#include "VornPaths.h"

#include <QStringList>

#include <unistd.h>

#include <cstdio>

namespace ServiceJournal {

namespace {

void WriteLine(const QString& strMessage)
{
    const QByteArray baLine = (VornPaths::c_strServiceProcessName + QStringLiteral(": ") + strMessage).toUtf8() + '\n';
    std::fwrite(baLine.constData(), 1, size_t(baLine.size()), stderr);
    std::fflush(stderr);
}

QString ConnectionName(int iConnectType)
{
    return iConnectType == CONNECT_USB ? QStringLiteral("USB") : QStringLiteral("network");
}

} // namespace

void Started()
{
    WriteLine(QStringLiteral("started, version %1, pid %2").arg(QString::fromUtf8(SuiteVersion())).arg(::getpid()));
}

void AnotherInstanceRuns(const QList<pid_t>& listOtherPid)
{
    QStringList listPid;
    for (pid_t pid : listOtherPid)
        listPid.append(QString::number(pid));
    WriteLine(QStringLiteral("another instance is running (pid %1), exiting").arg(listPid.join(QStringLiteral(", "))));
}

void PrintersFound(const QList<stPrinterInfo>& listPrinter)
{
    QStringList listName;
    for (const stPrinterInfo& info : listPrinter)
        listName.append(QStringLiteral("%1 (%2)").arg(info.strName, ConnectionName(info.iConnectType)));
    WriteLine(listPrinter.isEmpty() ? QStringLiteral("managing no printers")
                                    : QStringLiteral("managing %1 printer(s): %2").arg(listPrinter.size()).arg(listName.join(QStringLiteral(", "))));
}

void StopRequested(int iSignal)
{
    WriteLine(QStringLiteral("stopping on signal %1").arg(iSignal));
}

} // namespace ServiceJournal
