// The watchdog's supervision loop: checks the printer service once a period and restarts it
// when its process is missing, its heartbeat is stale, or it has run for a fixed number of
// healthy checks.
#pragma once

#include "ServiceControl.h"
#include "VornPaths.h"

#include <QString>

class ServiceWatchdog {
public:
    static constexpr int c_iCheckPeriodMs = 1000;
    // The 3600th check after a start restarts the service anyway, about once an hour.
    static constexpr int c_iHealthyChecksBeforeRestart = 3599;

    explicit ServiceWatchdog(ServiceControl& control,
                             const QString& strHeartbeatFile = VornPaths::c_strCfgDir + VornPaths::c_strHeartbeatFile,
                             int iCheckPeriodMs = c_iCheckPeriodMs,
                             int iHealthyChecksBeforeRestart = c_iHealthyChecksBeforeRestart);

    // Checks forever.
    [[noreturn]] void StartTask();

    // One check, including the wait that follows it. True when it restarted the service.
    bool RunCheck();

    // True when the heartbeat file exists and was modified less than the stale limit ago;
    // a time stamp in the future (clock set back) counts as fresh.
    bool CheckServiceHeartbeat() const;

private:
    void RestartService();
    void WaitUntilServiceGone();

    ServiceControl& m_control;
    const QString m_strHeartbeatFile;
    const int m_iCheckPeriodMs;
    const int m_iHealthyChecksBeforeRestart;
    // Checks since the service was last (re)started.
    int m_iIndex = 0;
};
