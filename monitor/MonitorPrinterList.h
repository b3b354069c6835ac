// The monitor's list of printers, shared by the printer-list worker (compare, replace), the
// status workers (copy in, write back) and the window (read a row). Element k is row k.
#pragma once

#include "PrinterRecords.h"

#include <QList>

#include <mutex>

class MonitorPrinterList {
public:
    int Size() const;

    // Copy-in: false when the index lies outside the list.
    bool CopyEntry(int iIndex, stPrinterManager& entry) const;

    // Write-back of a status round: only while the entry at the index is still the queue the
    // round read (same name and URI). Hands back the state it replaced. False when the list was
    // replaced meanwhile and the round is to be discarded.
    bool WriteBack(int iIndex, const stPrinterManager& working, stPrinterState& previousState);

    // True when the count differs or, at some position, the queue name or port; a changed
    // model, connection kind or URI alone keeps the table as it is.
    bool DiffersFrom(const QList<stPrinterInfo>& listInfo) const;

    void Replace(const QList<stPrinterManager>& listPrinter);
    QList<stPrinterManager> Snapshot() const;

private:
    // Guards m_listPrinter: every access is one short critical section, never held across a
    // sleep, a file read, a process start or a signal.
    mutable std::mutex m_mutex;
    QList<stPrinterManager> m_listPrinter;
};
