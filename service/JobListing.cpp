// The listing's markers: job header lines of four or more fields starting with the job id,
// and tab-indented "Status:"/"状态" and "Alerts:"/"警告" lines below each header. The alert
// keywords stay English in every locale.
#include "JobListing.h"

#include "UtilLog.h"

#include <algorithm>

namespace {

const QStringList c_listAlertsPrefix = {QStringLiteral("Alerts:"), QStringLiteral("警告")};
const QStringList c_listStatusPrefix = {QStringLiteral("Status:"), QStringLiteral("状态")};
const QString c_strAlertNone = QStringLiteral("none");
const QString c_strAlertPrinting = QStringLiteral("job-printing");
const QString c_strAlertStopPoint = QStringLiteral("processing-to-stop-point");
const QString c_strAlertCanceledByUser = QStringLiteral("job-canceled-by-user");
const QString c_strStatusProcessing = QStringLiteral("Processing");
const QString c_strQueuePrinting = QStringLiteral("printing");
const QString c_strQueuePrintingChinese = QStringLiteral("正在打印");
constexpr int c_iJobHeaderMinFields = 4;

bool StartsWithAny(const QString& strLine, const QStringList& listPrefix)
{
    for (const QString& strPrefix : listPrefix) {
        if (strLine.startsWith(strPrefix))
            return true;
    }
    return false;
}

bool WasPrinting(const QList<stJobState>& listPreviousJob, const QString& strJobID)
{
    for (const stJobState& job : listPreviousJob) {
        VORN_LOG("cancle 637 m_stCurrentPrinter.listJob[i].strJobID :%s   stJob.strJobID:%s\n",
                 job.strJobID.toLocal8Bit().constData(), strJobID.toLocal8Bit().constData());
        if (job.strJobID == strJobID && job.iStatus == JOB_PRINTING)
            return true;
    }
    return false;
}

} // namespace

stJobWatchResult ParseJobListing(const QString& strListing, const QList<stJobState>& listPreviousJob)
{
    stJobWatchResult result;
    stJobState job;
    bool bProcessing = false;
    for (const QString& strRawLine : strListing.split(QLatin1Char('\n'))) {
        VORN_LOG("line:%s", strRawLine.toLocal8Bit().constData());
        if (strRawLine.startsWith(QLatin1Char('\t'))) {
            const QString strLine = strRawLine.trimmed();
            if (StartsWithAny(strLine, c_listAlertsPrefix)) {
                if (strLine.contains(c_strAlertNone)) {
                    job.iStatus = JOB_IDLE;
                } else if (strLine.contains(c_strAlertPrinting) || strLine.contains(c_strAlertStopPoint)) {
                    job.iStatus = JOB_PRINTING;
                    result.listPrinting.append(job);
                } else if (strLine.contains(c_strAlertCanceledByUser)) {
                    job.iStatus = JOB_CANCELED_BY_USER;
                    if (WasPrinting(listPreviousJob, job.strJobID))
                        result.listCancelJobID.append(job.strJobID);
                } else if (bProcessing) {
                    // Some alerts replace "job-printing" while the job is still being processed.
                    job.iStatus = JOB_PRINTING;
                    result.listPrinting.append(job);
                } else {
                    job.iStatus = JOB_OTHER_ALERT;
                    bProcessing = false;
                }
            } else if (StartsWithAny(strLine, c_listStatusPrefix) && strLine.contains(c_strStatusProcessing)) {
                bProcessing = true;
            }
            continue;
        }
        const QStringList listField = strRawLine.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (listField.size() >= c_iJobHeaderMinFields) {
            job.strJobID = listField.first();
            job.iStatus = JOB_HEADER_ONLY;
            bProcessing = false;
            VORN_LOG("685 line:%s stJob.strJobID: %s", strRawLine.toLocal8Bit().constData(),
                     job.strJobID.toLocal8Bit().constData());
        }
    }
    return result;
}

bool IsQueuePrintingListing(const QString& strListing, const QString& strQueue)
{
    // The queue name and its job ids ("name-12") are dropped as whole words: they may contain
    // "printing", and a short name may be part of that word itself.
    const QString strJobIdPrefix = strQueue + QLatin1Char('-');
    QStringList listWord = strListing.section(QLatin1Char('\n'), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!strQueue.isEmpty()) {
        listWord.erase(std::remove_if(listWord.begin(), listWord.end(),
                                      [&](const QString& strWord) {
                                          return strWord == strQueue || strWord.startsWith(strJobIdPrefix);
                                      }),
                       listWord.end());
    }
    const QString strRest = listWord.join(QLatin1Char(' '));
    return strRest.contains(c_strQueuePrinting, Qt::CaseInsensitive) || strRest.contains(c_strQueuePrintingChinese);
}
