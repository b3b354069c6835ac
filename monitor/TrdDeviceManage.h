// The monitor's printer-list worker: re-reads the service's printer list and replaces the
// shared list, restarting every row, when the queues' names or ports change.
#pragma once

#include "FolderWatch.h"
#include "MonitorEnvironment.h"
#include "MonitorPrinterList.h"
#include "UtilThreadBase.h"

class TrdDeviceManage : public UtilThreadBase {
    Q_OBJECT
public:
    static constexpr int c_iListPeriodMs = 3000;

    explicit TrdDeviceManage(QObject* parent = nullptr, const stMonitorEnvironment& env = stMonitorEnvironment());

    void Init(MonitorPrinterList* pListPrinter);

    // The list file's current printers; the flag has no effect (the service already matched
    // the drivers).
    QList<stPrinterInfo> GetPrinterInfo(bool bCheckDriver);

    // One pass of the loop without its wait; true when the shared list was replaced.
    bool RunPass();

public slots:
    void SlotTaskStart();

signals:
    void SgnUpdatePrinterList();

private:
    const stMonitorEnvironment m_env;
    MonitorPrinterList* m_pListPrinter = nullptr;
};
