// The log module shared by the suite's Qt programs: off unless switched on, one line per call
// with a time stamp and the call site, files rotating once they grow past 1 MiB.
#pragma once

#include <QString>

#include <atomic>
#include <cstdarg>
#include <mutex>

// Where one program writes its log files; each program defines c_stLogTarget once.
struct stLogTarget {
    const char* szFolder;
    const char* szPrefix;
};
extern const stLogTarget c_stLogTarget;

// One series of log files. The programs use the process-wide instance behind SetLogEnable and
// WriteStringLog; tests build their own with a temporary folder.
class UtilLogFile {
public:
    static constexpr qint64 c_iRotateAboveBytes = 0x100000;
    static constexpr int c_iMessageBufferBytes = 1024;

    UtilLogFile(const QString& strFolder, const QString& strPrefix);

    void SetLogEnable(bool bEnable);
    void WriteLine(const char* file, int line, const char* func, const char* message);
    // Formats a printf-style message, cut to 1023 bytes, and writes it as one line.
    void WriteFormatted(const char* file, int line, const char* func, const char* fmt, ...)
        __attribute__((format(printf, 5, 6)));
    void WriteFormattedV(const char* file, int line, const char* func, const char* fmt, va_list args)
        __attribute__((format(printf, 5, 0)));
    bool IsEnabled() const { return m_bEnable; }
    QString CurrentFileName() const;

private:
    const QString m_strFolder;
    const QString m_strPrefix;
    std::atomic<bool> m_bEnable{false};
    QString m_strLogName;
    QString m_strLogNameTmp;
    int m_iLogIndex = 0;
    // Serialises the rotation test and the write of one line. A standard mutex rather than
    // QMutex so that the thread sanitizer sees the ordering it gives.
    mutable std::mutex m_mutexLog;
};

void SetLogEnable(bool bEnable);
void WriteStringLog(const char* file, int line, const char* func, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Passes the call site the way every log line names it.
#define VORN_LOG(...) WriteStringLog(__FILE__, __LINE__, __func__, __VA_ARGS__)
