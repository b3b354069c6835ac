// Line output of the printer simulator.
#include "SimEventLog.h"

#include <cstdio>

bool SimEventLog::Open(const QString& strPath)
{
    if (strPath.isEmpty())
        return true;
    m_file.setFileName(strPath);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void SimEventLog::Event(const QString& strLine)
{
    const QByteArray baLine = strLine.toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(baLine.constData(), 1, size_t(baLine.size()), stdout);
    std::fflush(stdout);
    if (m_file.isOpen())
        m_file.write(baLine);
}

void SimEventLog::Print(const QString& strLine)
{
    const QByteArray baLine = strLine.toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(baLine.constData(), 1, size_t(baLine.size()), stdout);
    std::fflush(stdout);
}
