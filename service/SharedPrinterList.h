// The service's list of managed printers, shared by the device manager (compare, replace,
// mark) and the status workers (copy in, write back). Element k belongs to worker k.
#pragma once

#include "PrinterRecords.h"

#include <QList>

#include <functional>
#include <mutex>

class SharedPrinterList {
public:
    int Size() const;

    // Copy-in: false when the index lies outside the list.
    bool CopyEntry(int iIndex, stPrinterManager& entry) const;

    // Write-back: only while the entry at the index is still the same queue (name and URI);
    // the shared bNeedStatus is kept, so a marking made during the cycle is not lost.
    // False when the working copy was dropped.
    bool WriteBack(int iIndex, const stPrinterManager& working);

    // True when the queues differ from the list by count, or at some position by name,
    // address or URI; model and connection kind do not count.
    bool DiffersFrom(const QList<stPrinterInfo>& listFound) const;

    // Runs publish under the list's lock while the entry at the index is still the given
    // queue (name and URI), so a list replacement, and the deletion of the files of the queues
    // it dropped, happen either before the check or after the publish.
    void PublishIfCurrent(int iIndex, const stPrinterInfo& info, const std::function<void()>& publish);

    void Replace(const QList<stPrinterManager>& listPrinter);
    void MarkAllNeedStatus();

    QList<stPrinterManager> Snapshot() const;

private:
    // Guards m_listPrinter: every access is one short critical section, never held across a
    // sleep, a process start or a USB or network call; a status file's write is the longest.
    mutable std::mutex m_mutex;
    QList<stPrinterManager> m_listPrinter;
};
