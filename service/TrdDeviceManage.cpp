// The device-manager loop on the main thread. Workers only ever grow: a worker whose index
// falls beyond a shrunken list idles and serves that index again when the list grows.
#include "TrdDeviceManage.h"

#include "AtomicFile.h"
#include "CupsQueueDiscovery.h"
#include "PrinterListFile.h"
#include "ServiceJournal.h"
#include "TrdGetPrinterStatus.h"
#include "UtilLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QThread>

const QString TrdDeviceManage::c_strHeartbeatFormat = QStringLiteral("[yyyy-MM-dd hh:mm:ss.zzz]");

TrdDeviceManage::TrdDeviceManage(QObject* parent, const stServiceEnvironment& env)
    : UtilThreadBase(parent)
    , m_env(env)
{
}

TrdDeviceManage::~TrdDeviceManage()
{
    RequestStop();
    StopWorkers();
    qDeleteAll(m_listTrdStatus);
    qDeleteAll(m_listStatusThread);
}

void TrdDeviceManage::Init(SharedPrinterList* pListPrinter)
{
    m_pListPrinter = pListPrinter;
}

void TrdDeviceManage::SlotTaskStart()
{
    std::lock_guard<std::mutex> loop(m_mutexLoop);
    if (m_bTaskStarted)
        return;
    m_bTaskStarted = true;
    bool bFirstPass = true;
    do {
        RunPass(bFirstPass);
        bFirstPass = false;
    } while (!WaitForSleep(c_iPassPeriodMs));
}

void TrdDeviceManage::RunPass(bool bFirstPass)
{
    VORN_LOG("get printer list");
    WriteHeartbeat();

    const QList<stPrinterInfo> listFound =
        CupsQueueDiscovery(m_env.strPrintersConf, m_env.strPpdDir).GetPrinterInfo(true);
    VORN_LOG("printer num:%d", int(listFound.size()));

    const bool bChanged = m_pListPrinter->DiffersFrom(listFound);
    if (bChanged || bFirstPass)
        ServiceJournal::PrintersFound(listFound);
    if (bChanged) {
        CreateMissingWorkers(listFound.size());
        // Every state and job list starts over: an index may now serve another printer.
        m_pListPrinter->Replace(GetInitPrinterList(listFound));
        // Only after the replacement: from then on no worker publishes a dropped queue's file.
        DeleteStaleStatusFiles(listFound);
    }
    // A list file that could not be written is written again on the next pass.
    SavePrinterInfo(listFound, bChanged || bFirstPass || m_bListFileStale);
    m_pListPrinter->MarkAllNeedStatus();
}

void TrdDeviceManage::CreateMissingWorkers(int iNeeded)
{
    const int iExisting = m_listTrdStatus.size();
    for (int k = iExisting; k < iNeeded; ++k) {
        auto* pWorker = new TrdGetPrinterStatus(nullptr, m_env);
        // Set up before its thread starts, so the worker's thread sees it without a lock.
        pWorker->Init(k, m_pListPrinter);
        auto* pThread = new QThread();
        pWorker->moveToThread(pThread);
        pThread->start();
        // Queued: the worker's loop runs on its own thread.
        connect(this, &TrdDeviceManage::SgnStatusThreadStart, pWorker, &TrdGetPrinterStatus::SlotTaskStart);
        // Direct: a worker inside its loop never reads its event queue, so the stop request
        // must set its flag at once from the requesting thread.
        connect(this, &TrdDeviceManage::SgnThreadQuit, pWorker, &TrdGetPrinterStatus::SlotThreadQuit,
                Qt::DirectConnection);
        m_listTrdStatus.append(pWorker);
        m_listStatusThread.append(pThread);
    }
    if (iNeeded > iExisting)
        emit SgnStatusThreadStart();
}

void TrdDeviceManage::DeleteStaleStatusFiles(const QList<stPrinterInfo>& listFound)
{
    const QDir cfgDir(m_env.strCfgDir);
    if (!cfgDir.exists())
        return;
    QSet<QString> setCurrent;
    for (const stPrinterInfo& info : listFound)
        setCurrent.insert(info.strName + VornPaths::c_strStatusFileSuffix);
    const QStringList listStatusFile = cfgDir.entryList({QStringLiteral("*") + VornPaths::c_strStatusFileSuffix},
                                                        QDir::Files | QDir::NoSymLinks);
    for (const QString& strFile : listStatusFile) {
        if (!setCurrent.contains(strFile))
            QFile::remove(cfgDir.filePath(strFile));
    }
}

QString TrdDeviceManage::PrinterListPath() const
{
    return m_env.strCfgDir + VornPaths::c_strPrinterListFile;
}

void TrdDeviceManage::SavePrinterInfo(const QList<stPrinterInfo>& listPrinter, bool bForce)
{
    MakePathExist(m_env.strCfgDir);
    const PrinterListFile listFile(PrinterListPath());
    // Rewritten only when the queues changed or the file went missing, so readers are not
    // woken every five seconds.
    if (!bForce && QFile::exists(listFile.Path()))
        return;
    m_bListFileStale = !listFile.Write(listPrinter);
}

void TrdDeviceManage::WriteHeartbeat()
{
    MakePathExist(m_env.strCfgDir);
    // Replaced as a whole: the watchdog goes by the modification time, which a rename renews.
    const QString strNow = QDateTime::currentDateTime().toString(c_strHeartbeatFormat);
    WriteFileAtomically(m_env.strCfgDir + VornPaths::c_strHeartbeatFile, strNow.toUtf8());
}

void TrdDeviceManage::RequestStop()
{
    SlotThreadQuit();
    emit SgnThreadQuit();
}

void TrdDeviceManage::StopWorkers()
{
    emit SgnThreadQuit();
    for (int k = 0; k < m_listStatusThread.size(); ++k) {
        QThread* pThread = m_listStatusThread.at(k);
        // The worker's loop returns at its next sleep slice, or once its printer or scheduler
        // request has timed out; then its event loop can end.
        pThread->quit();
        pThread->wait();
        m_listTrdStatus.at(k)->WaitForLoopEnd();
    }
}
