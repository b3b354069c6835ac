// One lock for the whole list keeps each copy, comparison and replacement consistent.
#include "SharedPrinterList.h"

namespace {

bool SameQueue(const stPrinterInfo& a, const stPrinterInfo& b)
{
    return a.strName == b.strName && a.strURI == b.strURI;
}

} // namespace

int SharedPrinterList::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listPrinter.size();
}

bool SharedPrinterList::CopyEntry(int iIndex, stPrinterManager& entry) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (iIndex < 0 || iIndex >= m_listPrinter.size())
        return false;
    entry = m_listPrinter.at(iIndex);
    return true;
}

bool SharedPrinterList::WriteBack(int iIndex, const stPrinterManager& working)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (iIndex < 0 || iIndex >= m_listPrinter.size() || !SameQueue(m_listPrinter.at(iIndex).stInfo, working.stInfo))
        return false;
    stPrinterManager& shared = m_listPrinter[iIndex];
    const bool bNeedStatus = shared.bNeedStatus;
    shared = working;
    shared.bNeedStatus = bNeedStatus;
    return true;
}

bool SharedPrinterList::DiffersFrom(const QList<stPrinterInfo>& listFound) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (listFound.size() != m_listPrinter.size())
        return true;
    for (int k = 0; k < listFound.size(); ++k) {
        const stPrinterInfo& found = listFound.at(k);
        const stPrinterInfo& shared = m_listPrinter.at(k).stInfo;
        if (found.strName != shared.strName || found.strPort != shared.strPort || found.strURI != shared.strURI)
            return true;
    }
    return false;
}

void SharedPrinterList::PublishIfCurrent(int iIndex, const stPrinterInfo& info, const std::function<void()>& publish)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (iIndex >= 0 && iIndex < m_listPrinter.size() && SameQueue(m_listPrinter.at(iIndex).stInfo, info))
        publish();
}

void SharedPrinterList::Replace(const QList<stPrinterManager>& listPrinter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listPrinter = listPrinter;
}

void SharedPrinterList::MarkAllNeedStatus()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (stPrinterManager& entry : m_listPrinter)
        entry.bNeedStatus = true;
}

QList<stPrinterManager> SharedPrinterList::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listPrinter;
}
