// Where the printer simulator's output goes: event lines (what the printers were asked) to
// standard output and to an optional log file, command replies to standard output only.
#pragma once

#include <QFile>
#include <QString>

#include <mutex>

class SimEventLog {
public:
    // An empty path keeps events on standard output only. False when the file cannot be opened.
    bool Open(const QString& strPath);

    // Callable from any thread: the USB side reports from umockdev's thread.
    void Event(const QString& strLine);
    void Print(const QString& strLine);

private:
    // Guards standard output and the file, so lines from several threads never interleave.
    std::mutex m_mutex;
    QFile m_file;
};
