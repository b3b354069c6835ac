// Status-file polling for one row, every second or as soon as the service rewrites the file.
#include "TrdGetPrinterStatus.h"

#include "UtilLog.h"
#include "UtilPrinterStatus.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

TrdGetPrinterStatus::TrdGetPrinterStatus(QObject* parent, const stMonitorEnvironment& env)
    : UtilThreadBase(parent)
    , m_env(env)
{
    std::memset(m_abyRecvBuf, 0, sizeof m_abyRecvBuf);
}

TrdGetPrinterStatus::~TrdGetPrinterStatus() = default;

void TrdGetPrinterStatus::Init(int iIndex, MonitorPrinterList* pListPrinter)
{
    m_iIndex = iIndex;
    m_pListPrinter = pListPrinter;
}

int TrdGetPrinterStatus::GetPrinterStatusFile(const QString& strName, bool bForce)
{
    // A queue name never holds a slash; one from a damaged list must not lead outside the folder.
    if (strName.isEmpty() || strName.contains(QLatin1Char('/'))) {
        m_dtLastModified = QDateTime();
        return FILE_FAILED;
    }
    const QString strPath = m_env.strCfgDir + strName + VornPaths::c_strStatusFileSuffix;
    const QFileInfo fileInfo(strPath);
    if (!fileInfo.exists()) {
        m_dtLastModified = QDateTime();
        return FILE_FAILED;
    }
    const QDateTime dtModified = fileInfo.lastModified();
    if (!bForce && dtModified == m_dtLastModified)
        return FILE_UNCHANGED;
    m_dtLastModified = dtModified;

    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return FILE_FAILED;
    std::memset(m_abyRecvBuf, 0, sizeof m_abyRecvBuf);
    const qint64 iRead = file.read(reinterpret_cast<char*>(m_abyRecvBuf), c_iRecvBufferBytes);
    // A byte beyond the buffer means this is no status record, whatever its head looks like.
    char cBeyond = 0;
    const bool bLonger = iRead == c_iRecvBufferBytes && file.read(&cBeyond, 1) == 1;
    file.close();
    if (iRead < 0 || bLonger)
        return FILE_FAILED;
    return CheckPrinterStatus(m_abyRecvBuf, static_cast<unsigned long>(iRead));
}

int TrdGetPrinterStatus::CheckPrinterStatus(const unsigned char* pBuf, unsigned long ulLen)
{
    UtilPrinterStatus decoder;
    if (!decoder.parseRecvBuf(pBuf, ulLen))
        return FILE_FAILED;
    stPrinterState state;
    decoder.FillPrinterState(state);
    m_stCurrentPrinter.stState = state;
    return FILE_DECODED;
}

bool TrdGetPrinterStatus::CheckStatusChange(const stPrinterState& stateOld, const stPrinterState& stateNew)
{
    return stateOld.enCurrentStatus != stateNew.enCurrentStatus
        || stateOld.dwRemainingToner != stateNew.dwRemainingToner
        || stateOld.listError != stateNew.listError
        || stateOld.listWarning != stateNew.listWarning;
}

void TrdGetPrinterStatus::CountFailedRead()
{
    stPrinterState& state = m_stCurrentPrinter.stState;
    if (state.iFailCount++ < c_iFailuresTolerated)
        return;
    state.enCurrentStatus = PS_OFFLINE;
    state.iNumberOfError = 0;
    state.iNumberOfWarning = 0;
    state.listError.clear();
    state.listWarning.clear();
    state.iFailCount = 0;
}

void TrdGetPrinterStatus::CancelQueueJobs(const QString& strQueue)
{
    VORN_LOG("cancel by printer %s", strQueue.toLocal8Bit().constData());
    stProcessOptions options;
    options.iTimeoutMs = c_iCancelTimeoutMs;
    // The queue name travels as one argument: whatever characters CUPS allows in it, no shell
    // ever reads it. A failing cancel changes nothing the user could act on.
    m_env.runCommand(MonitorPaths::c_strCancelProgram, {strQueue}, options);
}

void TrdGetPrinterStatus::RunRound()
{
    if (!m_pListPrinter->CopyEntry(m_iIndex, m_stCurrentPrinter))
        return;
    if (m_pWatch)
        m_pWatch->SetFileName(m_stCurrentPrinter.stInfo.strName + VornPaths::c_strStatusFileSuffix);
    const int iResult = GetPrinterStatusFile(m_stCurrentPrinter.stInfo.strName,
                                             m_stCurrentPrinter.stState.enCurrentStatus == PS_OFFLINE);
    if (iResult < 0)
        CountFailedRead();

    stPrinterState statePrevious;
    if (!m_pListPrinter->WriteBack(m_iIndex, m_stCurrentPrinter, statePrevious))
        return;
    if (!CheckStatusChange(statePrevious, m_stCurrentPrinter.stState))
        return;
    if (m_stCurrentPrinter.stState.enCurrentStatus == PS_CANCELING && statePrevious.enCurrentStatus != PS_CANCELING)
        CancelQueueJobs(m_stCurrentPrinter.stInfo.strName);
    emit SgnUpdatePrinterStatus(m_iIndex);
}

bool TrdGetPrinterStatus::WaitRound()
{
    if (!m_pWatch)
        return WaitForSleep(c_iStatusPeriodMs);
    m_pWatch->WaitForChange(c_iStatusPeriodMs, m_bQuit);
    return m_bQuit.load();
}

void TrdGetPrinterStatus::SlotTaskStart()
{
    std::lock_guard<std::mutex> lockLoop(m_mutexLoop);
    if (m_bTaskStarted)
        return;
    m_bTaskStarted = true;
    if (m_env.bWatchFiles)
        m_pWatch = std::make_unique<FolderWatch>(m_env.strCfgDir, QString());
    do {
        RunRound();
    } while (!WaitRound());
}
