// The status worker's cycle: poll decision, printer read, off-line rules, job watch, and the
// write-back of the working copy into the shared list.
#include "TrdGetPrinterStatus.h"

#include "AtomicFile.h"
#include "JobWatch.h"
#include "PrinterProtocol.h"
#include "PrinterUdp.h"
#include "UtilLog.h"
#include "UtilPrinterStatus.h"

#include <QElapsedTimer>
#include <QFile>

TrdGetPrinterStatus::TrdGetPrinterStatus(QObject* parent, const stServiceEnvironment& env)
    : UtilThreadBase(parent)
    , m_env(env)
{
}

void TrdGetPrinterStatus::Init(int iIndex, SharedPrinterList* pListPrinter)
{
    m_iIndex = iIndex;
    m_pListPrinter = pListPrinter;
}

void TrdGetPrinterStatus::SlotTaskStart()
{
    std::lock_guard<std::mutex> loop(m_mutexLoop);
    if (m_bTaskStarted)
        return;
    m_bTaskStarted = true;
    while (RunCycle()) {
    }
}

bool TrdGetPrinterStatus::RunCycle()
{
    int iPeriodMs = c_iIdlePeriodMs;
    stPrinterManager shared;
    // An index beyond the list belongs to a queue that is gone; the worker idles until the
    // list grows again.
    if (!m_pListPrinter || !m_pListPrinter->CopyEntry(m_iIndex, shared))
        return !WaitForSleep(iPeriodMs);
    if (!CheckNeedStatus(shared, iPeriodMs))
        return !WaitForSleep(iPeriodMs);

    m_stCurrentPrinter = shared;
    if (m_stCurrentPrinter.bNeedStatus)
        ReadPrinter();

    // The watches keep their cadence, so the time spent asking the scheduler does not stretch
    // the cycle and delay the next status read.
    QElapsedTimer watches;
    watches.start();
    for (int i = 0; i < c_iJobWatchesPerCycle; ++i) {
        CheckJobStatus();
        const qint64 iDueMs = qint64(i + 1) * (iPeriodMs / c_iJobWatchesPerCycle);
        if (WaitForSleep(int(qMax<qint64>(0, iDueMs - watches.elapsed()))))
            return false;
    }
    m_pListPrinter->WriteBack(m_iIndex, m_stCurrentPrinter);
    return true;
}

bool TrdGetPrinterStatus::CheckNeedStatus(const stPrinterManager& entry, int& iPeriodMs)
{
    if (entry.stInfo.iConnectType == CONNECT_USB) {
        iPeriodMs = c_iUsbPeriodMs;
        return true;
    }
    switch (entry.stState.enCurrentStatus) {
    case PS_OFFLINE:
        iPeriodMs = c_iNetOfflinePeriodMs;
        return true;
    case PS_READY:
        // A ready printer is only asked while CUPS sends it work; until then its last state
        // stands and the queue is looked at often, so a new job is noticed quickly.
        if (Cups().IsQueuePrinting(entry.stInfo.strName)) {
            iPeriodMs = c_iNetPeriodMs;
            return true;
        }
        iPeriodMs = c_iNetReadyIdlePeriodMs;
        return false;
    default:
        iPeriodMs = c_iNetPeriodMs;
        return true;
    }
}

CupsQueueSource& TrdGetPrinterStatus::Cups()
{
    // Made on first use, so the connection belongs to the worker's own thread.
    if (!m_pCups)
        m_pCups = m_env.makeCupsSource();
    return *m_pCups;
}

void TrdGetPrinterStatus::ReadPrinter()
{
    const stPrinterInfo& info = m_stCurrentPrinter.stInfo;
    VORN_LOG("try to connect %s", info.strName.toUtf8().constData());
    const bool bUsb = info.iConnectType == CONNECT_USB;
    const int iResult = bUsb ? GetPrinterStatusUSB(info.strPort) : GetPrinterStatusUDP(info.strPort);
    if (iResult >= 0)
        return;
    VORN_LOG("connect %s fail, ret = %d", info.strName.toUtf8().constData(), iResult);

    bool bOffline = false;
    if (bUsb) {
        // Only a printer missing from the bus is off-line; a busy interface or a failed
        // transfer is tried again next cycle.
        bOffline = iResult == -5;
    } else {
        bOffline = m_stCurrentPrinter.stState.iFailCount++ >= c_iNetFailuresTolerated;
    }
    if (bOffline)
        SetOffline();
}

void TrdGetPrinterStatus::SetOffline()
{
    QFile::remove(StatusFilePath());
    stPrinterState& state = m_stCurrentPrinter.stState;
    state.enCurrentStatus = PS_OFFLINE;
    state.iNumberOfError = 0;
    state.iNumberOfWarning = 0;
    state.listError.clear();
    state.listWarning.clear();
    state.iFailCount = 0;
}

QString TrdGetPrinterStatus::StatusFilePath() const
{
    return m_env.strCfgDir + m_stCurrentPrinter.stInfo.strName + VornPaths::c_strStatusFileSuffix;
}

int TrdGetPrinterStatus::GetPrinterStatusUSB(const QString& strPort)
{
    using namespace PrinterProtocol;
    // The reply lands after a zeroed 7-byte head, so a USB record looks like a network reply.
    unsigned char szBuf[c_iRecordHeaderBytes + c_wStatusLength] = {};
    unsigned int uTransferred = 0;
    const int iResult = GetUSBStatus(strPort, c_byClassRequestIn, c_byRequestStatus, 0, 0,
                                     szBuf + c_iRecordHeaderBytes, c_wStatusLength, uTransferred);
    if (iResult != 0)
        return iResult;
    return CheckPrinterStatus(szBuf, c_iRecordHeaderBytes + qMin<unsigned int>(uTransferred, c_wStatusLength));
}

int TrdGetPrinterStatus::GetPrinterStatusUDP(const QString& strPort)
{
    QByteArray baReply;
    const int iResult = PrinterUdp::RequestStatus(strPort, m_env.wUdpPort, baReply);
    if (iResult != 0)
        return iResult;
    return CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baReply.constData()),
                              static_cast<unsigned long>(baReply.size()));
}

int TrdGetPrinterStatus::CheckPrinterStatus(const unsigned char* pBuf, unsigned long ulLen)
{
    const QByteArray baRecord(reinterpret_cast<const char*>(pBuf), int(ulLen));
    MakePathExist(m_env.strCfgDir);
    const QString strPath = StatusFilePath();
    const stFileStamp stamp = FileStampOf(strPath);
    // Unchanged only while the file is still the one written here: a file deleted by hand, or
    // replaced by the worker that served this queue while the list was shifted, is published
    // again even when the record is the same.
    if (!stamp.bValid || !(stamp == m_stLastWritten) || baRecord != m_baLastRecvBuf) {
        // Only what reached the file is remembered: after a failed write (disk full, read-only
        // folder) the next record is written even when it is the same.
        m_baLastRecvBuf.clear();
        m_stLastWritten = stFileStamp();
        // Published only while the list still holds this queue at this index, so a queue
        // removed during the read does not get its file back after the device manager
        // deleted it.
        m_pListPrinter->PublishIfCurrent(m_iIndex, m_stCurrentPrinter.stInfo, [&] {
            if (!WriteFileAtomically(strPath, baRecord))
                return;
            m_baLastRecvBuf = baRecord;
            m_stLastWritten = FileStampOf(strPath);
        });
    }
    // The record is published even when it does not decode: readers reject it the same way.
    return DecodeStatusRecord(baRecord, m_stCurrentPrinter.stState);
}

int TrdGetPrinterStatus::GetUSBStatus(const QString& strPort, uint8_t bmRequestType, uint8_t bRequest,
                                      uint16_t wValue, uint16_t wIndex, unsigned char* pData, uint16_t wLength,
                                      unsigned int& uTransferred)
{
    return m_env.pUsbTransport->ControlRequestIn(strPort, bmRequestType, bRequest, wValue, wIndex, pData,
                                                 wLength, uTransferred);
}

int TrdGetPrinterStatus::CancelPrinterJob(const QString& strPort)
{
    using namespace PrinterProtocol;
    unsigned char szBuf[c_iCancelBufferBytes] = {};
    unsigned int uTransferred = 0;
    const int iResult = GetUSBStatus(strPort, c_byClassRequestIn, c_byRequestCancel, 0, 0,
                                     szBuf + c_iRecordHeaderBytes, c_wCancelLength, uTransferred);
    return iResult != 0 ? iResult : int(uTransferred);
}

int TrdGetPrinterStatus::CancelPrinterNetJob(const QString& strPort)
{
    VORN_LOG("strPort:%s\n", strPort.toUtf8().constData());
    const int iResult = PrinterUdp::SendCancel(strPort, m_env.wUdpPort);
    if (iResult == 0)
        VORN_LOG("cancel job\n");
    return iResult;
}

long TrdGetPrinterStatus::CheckJobStatus()
{
    VORN_LOG("job.size:%d", int(m_stCurrentPrinter.listJob.size()));
    const stPrinterInfo& info = m_stCurrentPrinter.stInfo;

    // A scheduler that cannot be asked shows no jobs, as an empty listing did.
    QList<stCupsJob> listCupsJob;
    Cups().GetJobs(info.strName, RememberedJobIds(m_stCurrentPrinter.listJob), listCupsJob);
    const stJobWatchResult watch = WatchJobs(listCupsJob, m_stCurrentPrinter.listJob);
    for (const QString& strJobID : watch.listCancelJobID) {
        if (info.iConnectType == CONNECT_USB) {
            VORN_LOG("Cancel printer job:%s", info.strName.toUtf8().constData());
            CancelPrinterJob(info.strPort);
        } else {
            VORN_LOG("Cancel printer NET job:%s", info.strName.toUtf8().constData());
            CancelPrinterNetJob(info.strPort);
        }
        VORN_LOG("cancelled job:%s", strJobID.toUtf8().constData());
    }
    for (int i = 0; i < watch.listPrinting.size(); ++i) {
        VORN_LOG("job[%d] status: %d jobid:%s ", i, watch.listPrinting.at(i).iStatus,
                 watch.listPrinting.at(i).strJobID.toUtf8().constData());
    }
    m_stCurrentPrinter.listJob = watch.listPrinting;
    return 0;
}
