// Printer-list polling, every 3 s or as soon as the service replaces the file.
#include "TrdDeviceManage.h"

#include "PrinterListFile.h"

#include <memory>

TrdDeviceManage::TrdDeviceManage(QObject* parent, const stMonitorEnvironment& env)
    : UtilThreadBase(parent)
    , m_env(env)
{
}

void TrdDeviceManage::Init(MonitorPrinterList* pListPrinter)
{
    m_pListPrinter = pListPrinter;
}

QList<stPrinterInfo> TrdDeviceManage::GetPrinterInfo(bool)
{
    return PrinterListFile(m_env.strCfgDir + VornPaths::c_strPrinterListFile).GetPrinterInfo();
}

bool TrdDeviceManage::RunPass()
{
    const QList<stPrinterInfo> listInfo = GetPrinterInfo(false);
    if (!m_pListPrinter->DiffersFrom(listInfo))
        return false;
    m_pListPrinter->Replace(GetInitPrinterList(listInfo));
    emit SgnUpdatePrinterList();
    return true;
}

void TrdDeviceManage::SlotTaskStart()
{
    std::lock_guard<std::mutex> lockLoop(m_mutexLoop);
    if (m_bTaskStarted)
        return;
    m_bTaskStarted = true;
    std::unique_ptr<FolderWatch> pWatch;
    if (m_env.bWatchFiles)
        pWatch = std::make_unique<FolderWatch>(m_env.strCfgDir, VornPaths::c_strPrinterListFile);
    for (;;) {
        RunPass();
        if (pWatch) {
            pWatch->WaitForChange(c_iListPeriodMs, m_bQuit);
            if (m_bQuit.load())
                return;
        } else if (WaitForSleep(c_iListPeriodMs)) {
            return;
        }
    }
}
