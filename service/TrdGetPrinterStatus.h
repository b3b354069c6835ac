// The status worker: one per entry of the shared printer list, on its own thread. It reads
// its printer's status record over USB or UDP, publishes it as the queue's status file, and
// watches the queue's jobs so that a job cancelled in CUPS is also cancelled on the printer.
#pragma once

#include "AtomicFile.h"
#include "ServiceEnvironment.h"
#include "SharedPrinterList.h"
#include "UtilThreadBase.h"

#include <QByteArray>

#include <memory>

class TrdGetPrinterStatus : public UtilThreadBase {
    Q_OBJECT
public:
    // Cycle periods: the job watch runs ten times per cycle, the printer is read once.
    static constexpr int c_iIdlePeriodMs = 1000;
    static constexpr int c_iUsbPeriodMs = 1500;
    static constexpr int c_iNetOfflinePeriodMs = 10000;
    static constexpr int c_iNetPeriodMs = 1000;
    static constexpr int c_iNetReadyIdlePeriodMs = 100;
    static constexpr int c_iJobWatchesPerCycle = 10;
    // The sixth network failure in a row takes the printer off-line.
    static constexpr int c_iNetFailuresTolerated = 5;

    explicit TrdGetPrinterStatus(QObject* parent = nullptr,
                                 const stServiceEnvironment& env = stServiceEnvironment::Installed());

    void Init(int iIndex, SharedPrinterList* pListPrinter);

    // One pass of the worker loop; false when a stop was requested.
    bool RunCycle();

    // Whether this cycle reads the printer, and how long the cycle lasts.
    bool CheckNeedStatus(const stPrinterManager& entry, int& iPeriodMs);

    // Reads the printer of the working copy and applies the off-line rules to it.
    void ReadPrinter();

    int GetPrinterStatusUSB(const QString& strPort);
    int GetPrinterStatusUDP(const QString& strPort);
    // Publishes the record unless it is unchanged, then decodes it into the working copy.
    int CheckPrinterStatus(const unsigned char* pBuf, unsigned long ulLen);

    int GetUSBStatus(const QString& strPort, uint8_t bmRequestType, uint8_t bRequest, uint16_t wValue,
                     uint16_t wIndex, unsigned char* pData, uint16_t wLength, unsigned int& uTransferred);
    int CancelPrinterJob(const QString& strPort);
    int CancelPrinterNetJob(const QString& strPort);

    // One watch of the queue's jobs: remembers the printing ones, cancels on the printer the
    // ones the user cancelled in CUPS while they printed. Always 0.
    long CheckJobStatus();

    const stPrinterManager& CurrentPrinter() const { return m_stCurrentPrinter; }
    void SetCurrentPrinter(const stPrinterManager& printer) { m_stCurrentPrinter = printer; }
    QString StatusFilePath() const;

public slots:
    void SlotTaskStart();

private:
    CupsQueueSource& Cups();
    void SetOffline();

    const stServiceEnvironment m_env;
    int m_iIndex = -1;
    SharedPrinterList* m_pListPrinter = nullptr;
    stPrinterManager m_stCurrentPrinter;
    // The last record published; an unchanged record is not rewritten, so the status file's
    // modification time tells readers when to look again.
    QByteArray m_baLastRecvBuf;
    stFileStamp m_stLastWritten;
    std::unique_ptr<CupsQueueSource> m_pCups;
};
