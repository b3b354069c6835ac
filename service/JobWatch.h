// The job watch's rules: which of a queue's jobs count as printing, and which jobs the user
// cancelled in CUPS while the printer was printing them.
#pragma once

#include "CupsQueueSource.h"
#include "PrinterRecords.h"

#include <QList>
#include <QStringList>

// Job state codes the watch assigns.
enum enJobState : int {
    JOB_IDLE = 0,             // reasons "none"
    JOB_PRINTING = 1,         // the printer is working on it
    JOB_OTHER_ALERT = 2,      // some other reason while not processing
    JOB_CANCELED_BY_USER = 3, // cancelled in CUPS
    JOB_NO_REASON = 4,        // the scheduler gave no reasons
};

struct stJobWatchResult {
    // Jobs found printing, in the scheduler's order; the next watch compares against these.
    QList<stJobState> listPrinting;
    // Jobs that were printing in the previous watch and are now cancelled by the user: the
    // printer must be told, once each.
    QStringList listCancelJobID;
};

stJobWatchResult WatchJobs(const QList<stCupsJob>& listJob, const QList<stJobState>& listPreviousJob);

// The ids of the jobs remembered as printing: the scheduler is asked about them even after
// they left the jobs in progress, which is how a cancellation is seen.
QList<int> RememberedJobIds(const QList<stJobState>& listPreviousJob);
