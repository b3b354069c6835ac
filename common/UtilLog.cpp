// Log files named after the moment logging was switched on, rotated past 1 MiB.
#include "UtilLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdarg>
#include <cstdio>

UtilLogFile::UtilLogFile(const QString& strFolder, const QString& strPrefix)
    : m_strFolder(strFolder.endsWith('/') ? strFolder : strFolder + '/')
    , m_strPrefix(strPrefix)
{
}

// Meant for start-up, before workers run; the lock only keeps a late switch from racing a write.
void UtilLogFile::SetLogEnable(bool bEnable)
{
    std::lock_guard<std::mutex> lock(m_mutexLog);
    m_bEnable = bEnable;
    if (!bEnable) {
        m_strLogName.clear();
        return;
    }
    m_iLogIndex = 0;
    QDir().mkpath(m_strFolder);
    m_strLogNameTmp = m_strFolder + m_strPrefix
        + QDateTime::currentDateTime().toString(QStringLiteral("_yyyyMMdd_hhmmss_"));
    m_strLogName = m_strLogNameTmp + QString::number(m_iLogIndex) + QStringLiteral(".log");
}

QString UtilLogFile::CurrentFileName() const
{
    std::lock_guard<std::mutex> lock(m_mutexLog);
    return m_strLogName;
}

void UtilLogFile::WriteLine(const char* file, int line, const char* func, const char* message)
{
    if (!m_bEnable)
        return;
    std::lock_guard<std::mutex> lock(m_mutexLog);
    if (!m_bEnable)
        return;

    const QByteArray text = QDateTime::currentDateTime().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss.zzz] (")).toLocal8Bit()
        + QByteArray(file) + '@' + QByteArray::number(line) + ' ' + QByteArray(func) + ") " + QByteArray(message) + '\n';

    QFile logFile(m_strLogName);
    // A file of exactly the limit still takes the line; the one that crossed it hands over.
    if (logFile.size() > c_iRotateAboveBytes) {
        ++m_iLogIndex;
        m_strLogName = m_strLogNameTmp + QString::number(m_iLogIndex) + QStringLiteral(".log");
        logFile.setFileName(m_strLogName);
    }
    if (logFile.open(QIODevice::Append | QIODevice::Text)) {
        logFile.write(text);
        logFile.close();
    }
}

void UtilLogFile::WriteFormatted(const char* file, int line, const char* func, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    WriteFormattedV(file, line, func, fmt, args);
    va_end(args);
}

void UtilLogFile::WriteFormattedV(const char* file, int line, const char* func, const char* fmt, va_list args)
{
    if (!m_bEnable)
        return;
    char szMessage[c_iMessageBufferBytes] = {};
    std::vsnprintf(szMessage, sizeof(szMessage), fmt, args);
    WriteLine(file, line, func, szMessage);
}

namespace {
UtilLogFile& ProcessLog()
{
    static UtilLogFile s_log(QString::fromLocal8Bit(c_stLogTarget.szFolder), QString::fromLocal8Bit(c_stLogTarget.szPrefix));
    return s_log;
}
} // namespace

void SetLogEnable(bool bEnable)
{
    ProcessLog().SetLogEnable(bEnable);
}

void WriteStringLog(const char* file, int line, const char* func, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    ProcessLog().WriteFormattedV(file, line, func, fmt, args);
    va_end(args);
}
