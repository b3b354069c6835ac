// The monitor's status worker: one per table row, on its own thread. It reads the row's status
// file when the service has rewritten it, decodes it, and reports a change to the window; a
// printer that reports a cancel from its own panel has its CUPS jobs dropped.
#pragma once

#include "FolderWatch.h"
#include "MonitorEnvironment.h"
#include "MonitorPrinterList.h"
#include "UtilThreadBase.h"

#include <QDateTime>

#include <memory>

class TrdGetPrinterStatus : public UtilThreadBase {
    Q_OBJECT
public:
    static constexpr int c_iStatusPeriodMs = 1000;
    // The status file is a single record; anything longer is not one.
    static constexpr int c_iRecvBufferBytes = 2048;
    // The 11th failed read in a row takes the row off-line.
    static constexpr int c_iFailuresTolerated = 10;
    static constexpr int c_iCancelTimeoutMs = 10000;

    enum enFileResult { FILE_FAILED = -1, FILE_DECODED = 0, FILE_UNCHANGED = 1 };

    explicit TrdGetPrinterStatus(QObject* parent = nullptr, const stMonitorEnvironment& env = stMonitorEnvironment());
    ~TrdGetPrinterStatus() override;

    void Init(int iIndex, MonitorPrinterList* pListPrinter);

    // Reads the file when forced or when its modification time moved since the last read.
    int GetPrinterStatusFile(const QString& strName, bool bForce);
    // Decodes a record into the working copy's state; 0, or -1 when it is not a whole record.
    int CheckPrinterStatus(const unsigned char* pBuf, unsigned long ulLen);
    // Whether the row must be redrawn: state, toner, errors or warnings differ.
    static bool CheckStatusChange(const stPrinterState& stateOld, const stPrinterState& stateNew);

    // One round of the loop without its wait.
    void RunRound();

    const stPrinterManager& CurrentPrinter() const { return m_stCurrentPrinter; }

public slots:
    void SlotTaskStart();

signals:
    void SgnUpdatePrinterStatus(int iIndex);

private:
    void CountFailedRead();
    void CancelQueueJobs(const QString& strQueue);
    bool WaitRound();

    const stMonitorEnvironment m_env;
    int m_iIndex = -1;
    MonitorPrinterList* m_pListPrinter = nullptr;
    stPrinterManager m_stCurrentPrinter;
    QDateTime m_dtLastModified;
    unsigned char m_abyRecvBuf[c_iRecvBufferBytes];
    std::unique_ptr<FolderWatch> m_pWatch;
};
