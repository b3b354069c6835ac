// Reading what CUPS prints about a queue: the long job listing ("lpstat -W all -l -o QUEUE")
// and the queue state line ("lpstat -p QUEUE"), in English or Chinese.
#pragma once

#include "PrinterRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

// Job state codes kept while reading a listing.
enum enJobState : int {
    JOB_IDLE = 0,             // alerts "none"
    JOB_PRINTING = 1,         // the printer is working on it
    JOB_OTHER_ALERT = 2,      // some other alert while not processing
    JOB_CANCELED_BY_USER = 3, // cancelled in CUPS
    JOB_HEADER_ONLY = 4,      // header seen, no alert line yet
};

struct stJobWatchResult {
    // Jobs found printing, in listing order; the next watch compares against these.
    QList<stJobState> listPrinting;
    // Jobs that were printing in the previous watch and are now cancelled by the user: the
    // printer must be told, once each.
    QStringList listCancelJobID;
};

stJobWatchResult ParseJobListing(const QString& strListing, const QList<stJobState>& listPreviousJob);

// True when the first line of "lpstat -p QUEUE" says the queue is printing. The queue name is
// left out of the test, so a queue named like "printing-room" does not always look busy.
bool IsQueuePrintingListing(const QString& strListing, const QString& strQueue);
