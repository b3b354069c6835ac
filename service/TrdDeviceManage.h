// The device manager: every five seconds it renews the heartbeat, finds the suite's CUPS
// queues, keeps one status worker per queue, drops status files of vanished queues and
// publishes the printer list.
#pragma once

#include "ServiceEnvironment.h"
#include "SharedPrinterList.h"
#include "UtilThreadBase.h"

#include <QList>

class QThread;
class TrdGetPrinterStatus;

class TrdDeviceManage : public UtilThreadBase {
    Q_OBJECT
public:
    static constexpr int c_iPassPeriodMs = 5000;
    static const QString c_strHeartbeatFormat;

    explicit TrdDeviceManage(QObject* parent = nullptr,
                             const stServiceEnvironment& env = stServiceEnvironment::Installed());
    // Stops the workers, waits for them and frees them.
    ~TrdDeviceManage() override;

    void Init(SharedPrinterList* pListPrinter);

    // One pass of the loop; bFirstPass forces the list file to be written.
    void RunPass(bool bFirstPass);

    void WriteHeartbeat();
    void SavePrinterInfo(const QList<stPrinterInfo>& listPrinter, bool bForce);

    // Asks the loop and every worker to stop, from any thread.
    void RequestStop();
    // Stops every worker and waits until its thread has ended. Every request a worker makes is
    // bounded, so this returns; how long a stopping process may take is ServiceStopper's call.
    void StopWorkers();

    int WorkerCount() const { return m_listTrdStatus.size(); }

public slots:
    void SlotTaskStart();

signals:
    void SgnStatusThreadStart();
    void SgnThreadQuit();

private:
    void CreateMissingWorkers(int iNeeded);
    void DeleteStaleStatusFiles(const QList<stPrinterInfo>& listFound);
    QString PrinterListPath() const;

    const stServiceEnvironment m_env;
    QList<TrdGetPrinterStatus*> m_listTrdStatus;
    QList<QThread*> m_listStatusThread;
    SharedPrinterList* m_pListPrinter = nullptr;
    // Set when the printer list file could not be written, so the next pass writes it again.
    bool m_bListFileStale = false;
};
