// Sliced sleeping lets a worker stop within half a second of being asked.
#include "UtilThreadBase.h"

#include "UtilShell.h"

#include <QThread>

UtilThreadBase::UtilThreadBase(QObject* parent)
    : QObject(parent)
{
}

bool UtilThreadBase::WaitForSleep(int ms)
{
    for (int i = 0; i < ms / c_iSleepSliceMs; ++i) {
        if (m_bQuit.load())
            return true;
        QThread::msleep(c_iSleepSliceMs);
    }
    if (ms % c_iSleepSliceMs > 0)
        QThread::msleep(ms % c_iSleepSliceMs);
    return m_bQuit.load();
}

bool UtilThreadBase::MakePathExist(const QString& strPath)
{
    return ::MakePathExist(strPath);
}

void UtilThreadBase::WaitForLoopEnd()
{
    std::lock_guard<std::mutex> lock(m_mutexLoop);
}

void UtilThreadBase::SlotThreadQuit()
{
    m_bQuit.store(true);
}
