// The job watch's rules over what the scheduler reports: which jobs count as printing, and
// when a job the user cancelled must also be cancelled on the printer (once).
#include "JobWatch.h"

#include <cups/ipp.h>

#include <gtest/gtest.h>

namespace {

stCupsJob Job(int iJobId, int iState, const QStringList& listReason)
{
    return stCupsJob{iJobId, iState, listReason};
}

QStringList Ids(const QList<stJobState>& listJob)
{
    QStringList listId;
    for (const stJobState& job : listJob)
        listId.append(job.strJobID);
    return listId;
}

const QList<stJobState> c_listTwoPrinting = {{QStringLiteral("2"), JOB_PRINTING}};

} // namespace

TEST(JobWatch, WhichJobsCountAsPrinting)
{
    struct stCase {
        const char* szWhat;
        stCupsJob job;
        bool bPrinting;
    };
    const stCase arrCase[] = {
        {"printing", Job(2, IPP_JSTATE_PROCESSING, {"job-printing"}), true},
        {"stopping after a cancel", Job(2, IPP_JSTATE_CANCELED, {"processing-to-stop-point"}), true},
        {"processing with another reason", Job(2, IPP_JSTATE_PROCESSING, {"printer-stopped"}), true},
        {"pending with another reason", Job(2, IPP_JSTATE_PENDING, {"job-hold-until-specified"}), false},
        {"none wins over printing", Job(2, IPP_JSTATE_PROCESSING, {"none", "job-printing"}), false},
        {"no reasons at all", Job(2, IPP_JSTATE_PROCESSING, {}), false},
        {"cancelled", Job(2, IPP_JSTATE_CANCELED, {"job-canceled-by-user"}), false},
        // Nobody can cancel these any more; remembering them would make every watch ask
        // about every job ever printed.
        {"completed at its stop point", Job(2, IPP_JSTATE_COMPLETED, {"processing-to-stop-point"}), false},
        {"aborted while printing", Job(2, IPP_JSTATE_ABORTED, {"job-printing"}), false},
    };
    for (const stCase& c : arrCase) {
        const stJobWatchResult result = WatchJobs({c.job}, {});
        EXPECT_EQ(Ids(result.listPrinting), c.bPrinting ? QStringList{"2"} : QStringList{}) << c.szWhat;
        EXPECT_TRUE(result.listCancelJobID.isEmpty()) << c.szWhat;
    }
}

TEST(JobWatch, CancelledJobIsCancelledOnThePrinterOnlyWhenItWasSeenPrinting)
{
    const stCupsJob cancelled = Job(2, IPP_JSTATE_CANCELED, {"job-canceled-by-user"});
    const stJobWatchResult first = WatchJobs({cancelled}, c_listTwoPrinting);
    EXPECT_EQ(first.listCancelJobID, QStringList{"2"});
    EXPECT_TRUE(first.listPrinting.isEmpty());
    // The next watch no longer remembers it: no second cancel.
    EXPECT_TRUE(WatchJobs({cancelled}, first.listPrinting).listCancelJobID.isEmpty());

    // Never seen printing (cancelled while waiting), or another job of the same queue.
    EXPECT_TRUE(WatchJobs({cancelled}, {}).listCancelJobID.isEmpty());
    EXPECT_TRUE(WatchJobs({cancelled}, {{QStringLiteral("20"), JOB_PRINTING}}).listCancelJobID.isEmpty());
    EXPECT_TRUE(WatchJobs({cancelled}, {{QStringLiteral("2"), JOB_OTHER_ALERT}}).listCancelJobID.isEmpty());
}

TEST(JobWatch, OnlyJobsRememberedAsPrintingAreAskedForByNumber)
{
    const QList<stJobState> listJob = {{QStringLiteral("7"), JOB_PRINTING}, {QStringLiteral("8"), JOB_OTHER_ALERT},
                                       {QStringLiteral("12"), JOB_PRINTING}};
    EXPECT_EQ(RememberedJobIds(listJob), (QList<int>{7, 12}));
}
