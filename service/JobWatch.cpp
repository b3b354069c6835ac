// The reason keywords are IPP's own and the same in every locale. A job that completed or was
// aborted can no longer be cancelled by anyone, so it is not remembered even when it still
// carries "processing-to-stop-point": otherwise every printed job would be asked about forever.
#include "JobWatch.h"

#include "UtilLog.h"

#include <cups/ipp.h>

namespace {

const QString c_strReasonNone = QStringLiteral("none");
const QString c_strReasonPrinting = QStringLiteral("job-printing");
const QString c_strReasonStopPoint = QStringLiteral("processing-to-stop-point");
const QString c_strReasonCanceledByUser = QStringLiteral("job-canceled-by-user");

bool WasPrinting(const QList<stJobState>& listPreviousJob, const QString& strJobID)
{
    for (const stJobState& job : listPreviousJob) {
        VORN_LOG("cancle 637 m_stCurrentPrinter.listJob[i].strJobID :%s   stJob.strJobID:%s\n",
                 job.strJobID.toUtf8().constData(), strJobID.toUtf8().constData());
        if (job.strJobID == strJobID && job.iStatus == JOB_PRINTING)
            return true;
    }
    return false;
}

bool IsFinishedWithoutCancel(int iState)
{
    return iState == IPP_JSTATE_COMPLETED || iState == IPP_JSTATE_ABORTED;
}

enJobState StateOf(const stCupsJob& job)
{
    if (job.listReason.isEmpty())
        return JOB_NO_REASON;
    if (job.listReason.contains(c_strReasonNone))
        return JOB_IDLE;
    if (job.listReason.contains(c_strReasonPrinting) || job.listReason.contains(c_strReasonStopPoint))
        return JOB_PRINTING;
    if (job.listReason.contains(c_strReasonCanceledByUser))
        return JOB_CANCELED_BY_USER;
    // Some reasons replace "job-printing" while the job is still being processed.
    return job.iState == IPP_JSTATE_PROCESSING ? JOB_PRINTING : JOB_OTHER_ALERT;
}

} // namespace

stJobWatchResult WatchJobs(const QList<stCupsJob>& listJob, const QList<stJobState>& listPreviousJob)
{
    stJobWatchResult result;
    for (const stCupsJob& cupsJob : listJob) {
        stJobState job;
        job.strJobID = QString::number(cupsJob.iJobId);
        job.iStatus = StateOf(cupsJob);
        VORN_LOG("job %s state %d reasons %s", job.strJobID.toUtf8().constData(), cupsJob.iState,
                 cupsJob.listReason.join(QLatin1Char(',')).toUtf8().constData());
        if (job.iStatus == JOB_PRINTING && !IsFinishedWithoutCancel(cupsJob.iState))
            result.listPrinting.append(job);
        else if (job.iStatus == JOB_CANCELED_BY_USER && WasPrinting(listPreviousJob, job.strJobID))
            result.listCancelJobID.append(job.strJobID);
    }
    return result;
}

QList<int> RememberedJobIds(const QList<stJobState>& listPreviousJob)
{
    QList<int> listId;
    for (const stJobState& job : listPreviousJob) {
        if (job.iStatus == JOB_PRINTING)
            listId.append(job.strJobID.toInt());
    }
    return listId;
}
