// The seam between the status workers and the local CUPS scheduler: what a worker needs to
// know about its queue's jobs and whether the queue prints.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One job as the scheduler reports it.
struct stCupsJob {
    int iJobId = 0;
    // The IPP job-state: 3 pending ... 5 processing, 7 canceled, 8 aborted, 9 completed.
    int iState = 0;
    // The job-state-reasons keywords, e.g. "job-printing", "job-canceled-by-user".
    QStringList listReason;
};

class CupsQueueSource {
public:
    virtual ~CupsQueueSource() = default;

    // The queue's jobs that are not completed yet, followed by those of listKnownJobId that
    // are (a job cancelled while printing leaves the not-completed set at once). False, with
    // an empty list, when the scheduler could not be asked.
    virtual bool GetJobs(const QString& strQueue, const QList<int>& listKnownJobId, QList<stCupsJob>& listJob) = 0;

    // True while the scheduler shows the queue processing a job; false when it is idle,
    // stopped, unknown, or the scheduler could not be asked.
    virtual bool IsQueuePrinting(const QString& strQueue) = 0;
};
