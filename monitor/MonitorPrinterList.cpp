// One lock around every copy-in, write-back, comparison and replacement of the monitor's list.
#include "MonitorPrinterList.h"

int MonitorPrinterList::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listPrinter.size();
}

bool MonitorPrinterList::CopyEntry(int iIndex, stPrinterManager& entry) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (iIndex < 0 || iIndex >= m_listPrinter.size())
        return false;
    entry = m_listPrinter.at(iIndex);
    return true;
}

bool MonitorPrinterList::WriteBack(int iIndex, const stPrinterManager& working, stPrinterState& previousState)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (iIndex < 0 || iIndex >= m_listPrinter.size())
        return false;
    stPrinterManager& shared = m_listPrinter[iIndex];
    if (shared.stInfo.strName != working.stInfo.strName || shared.stInfo.strURI != working.stInfo.strURI)
        return false;
    previousState = shared.stState;
    shared = working;
    return true;
}

bool MonitorPrinterList::DiffersFrom(const QList<stPrinterInfo>& listInfo) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (listInfo.size() != m_listPrinter.size())
        return true;
    for (int i = 0; i < listInfo.size(); ++i) {
        const stPrinterInfo& shared = m_listPrinter.at(i).stInfo;
        if (listInfo.at(i).strName != shared.strName || listInfo.at(i).strPort != shared.strPort)
            return true;
    }
    return false;
}

void MonitorPrinterList::Replace(const QList<stPrinterManager>& listPrinter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listPrinter = listPrinter;
}

QList<stPrinterManager> MonitorPrinterList::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listPrinter;
}
