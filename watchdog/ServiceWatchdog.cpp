// Restart policy of the watchdog and the order of its stop and start steps.
#include "ServiceWatchdog.h"

#include "ServiceHeartbeat.h"
#include "UtilLog.h"

#include <QDateTime>
#include <QThread>

namespace {
// How often the process table is looked at while a killed service is still on its way out.
constexpr int c_iGonePollSlices = 20;
} // namespace

ServiceWatchdog::ServiceWatchdog(ServiceControl& control, const QString& strHeartbeatFile, int iCheckPeriodMs,
                                 int iHealthyChecksBeforeRestart)
    : m_control(control)
    , m_strHeartbeatFile(strHeartbeatFile)
    , m_iCheckPeriodMs(iCheckPeriodMs)
    , m_iHealthyChecksBeforeRestart(iHealthyChecksBeforeRestart)
{
}

void ServiceWatchdog::StartTask()
{
    for (;;)
        RunCheck();
}

bool ServiceWatchdog::RunCheck()
{
    const int iRemembered = m_iIndex++;
    // Once the count is reached, the service is restarted without looking at it.
    const bool bHealthy = iRemembered < m_iHealthyChecksBeforeRestart && m_control.CheckIsRunning()
        && CheckServiceHeartbeat();
    if (bHealthy) {
        QThread::msleep(m_iCheckPeriodMs);
        return false;
    }
    VORN_LOG("run service, index = %d", m_iIndex);
    m_iIndex = 0;
    RestartService();
    return true;
}

bool ServiceWatchdog::CheckServiceHeartbeat() const
{
    qint64 iAgeSecs = 0;
    if (ServiceHeartbeat::ReadAgeSecs(m_strHeartbeatFile, QDateTime::currentDateTime(), iAgeSecs)
        && ServiceHeartbeat::IsFresh(iAgeSecs))
        return true;
    VORN_LOG("heartbeat timeout!");
    return false;
}

void ServiceWatchdog::RestartService()
{
    m_control.StopService(false);
    QThread::msleep(m_iCheckPeriodMs);
    // A stopped or hung service outlives SIGTERM. Left alive, it would make the new service
    // quit as a second instance, and the watchdog would restart forever without recovering.
    if (m_control.HasServiceProcess()) {
        m_control.StopService(true);
        WaitUntilServiceGone();
    }
    m_control.StartService();
    QThread::msleep(m_iCheckPeriodMs);
}

// A killed process lingers until its parent reaps it; the new service must not count it.
void ServiceWatchdog::WaitUntilServiceGone()
{
    const int iSliceMs = m_iCheckPeriodMs / c_iGonePollSlices;
    for (int i = 0; i < c_iGonePollSlices && m_control.HasServiceProcess(); ++i)
        QThread::msleep(iSliceMs);
}
