// The few events a user must be able to find in the system journal, one line each on
// standard error: the start, a refused second start, and the printers the service manages.
// The detailed log file stays off as shipped; these lines are not it.
#pragma once

#include "PrinterRecords.h"

#include <QList>

#include <sys/types.h>

namespace ServiceJournal {

void Started();
void AnotherInstanceRuns(const QList<pid_t>& listOtherPid);
// The managed queues changed: how many and which, with their connections.
void PrintersFound(const QList<stPrinterInfo>& listPrinter);
void StopRequested(int iSignal);

} // namespace ServiceJournal
