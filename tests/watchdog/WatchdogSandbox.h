// Runs the real watchdog in private mount, network and PID namespaces with a temporary folder
// over "/opt", so its "killall" reaches only the processes of this sandbox and the service it
// starts writes only into the temporary folder. The test looks in from outside.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

#include <vector>

struct stSandboxProcess {
    pid_t pid = 0;     // as the host sees it
    QString strName;   // the kernel's command name
    char cState = '?'; // 'Z' for a zombie, 'T' for a stopped process
};

class WatchdogSandbox {
public:
    WatchdogSandbox();
    ~WatchdogSandbox();
    WatchdogSandbox(const WatchdogSandbox&) = delete;
    WatchdogSandbox& operator=(const WatchdogSandbox&) = delete;

    // Host path of a path under the suite's root, e.g. "cfg/service.hb".
    QString SuitePath(const QString& strRelative) const;
    // Puts the given program where the watchdog expects the service executable.
    bool InstallService(const QString& strProgram);

    bool StartWatchdog();

    // Every process of the sandbox, its own init included.
    std::vector<stSandboxProcess> Processes() const;
    std::vector<pid_t> ServicePids() const;
    // Waits up to iTimeoutMs for a service process other than iOldPid; 0 when none came.
    pid_t WaitForNewService(pid_t iOldPid, int iTimeoutMs) const;

private:
    QTemporaryDir m_dirOpt;
    pid_t m_iUnsharePid = 0;
    QString m_strPidNamespace;
};
