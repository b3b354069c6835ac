// Signals go through "killall" by process name, so every service instance is hit, also one
// that an earlier watchdog or a user started.
#include "ProcessServiceControl.h"

#include "UtilProcess.h"
#include "UtilShell.h"

#include <QStringList>

namespace {
const QString c_strKillall = QStringLiteral("killall");
const QStringList c_listForceKillArgs = {QStringLiteral("-s"), QStringLiteral("KILL")};
} // namespace

ProcessServiceControl::ProcessServiceControl(const QString& strExecutable)
    : m_strExecutable(strExecutable)
{
}

bool ProcessServiceControl::CheckIsRunning()
{
    return CheckIsServiceRunning();
}

bool ProcessServiceControl::HasServiceProcess()
{
    return CountProcessesNamed(VornPaths::c_strServiceProcessName) > 0;
}

// "killall" complains when nothing matches; that is the normal case after a crash.
void ProcessServiceControl::StopService(bool bForce)
{
    QStringList listArgs = bForce ? c_listForceKillArgs : QStringList();
    listArgs << VornPaths::c_strServiceProcessName;
    UtilProcess::Run(c_strKillall, listArgs);
}

// A missing or broken executable is not reported: the next check finds no service and
// tries again. The service's one-line messages (start, another instance, printers found) go
// where the watchdog's own standard error goes: the journal when systemd runs the watchdog.
void ProcessServiceControl::StartService()
{
    UtilProcess::StartDetached(m_strExecutable, QStringList(), UtilProcess::STDERR_INHERIT);
}
