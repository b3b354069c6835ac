// The watchdog's hold on the real service: the process table, "killall" and a detached start.
#pragma once

#include "ServiceControl.h"
#include "VornPaths.h"

#include <QString>

class ProcessServiceControl : public ServiceControl {
public:
    explicit ProcessServiceControl(const QString& strExecutable = VornPaths::c_strServiceExecutable);

    bool CheckIsRunning() override;
    bool HasServiceProcess() override;
    void StopService(bool bForce) override;
    void StartService() override;

private:
    const QString m_strExecutable;
};
