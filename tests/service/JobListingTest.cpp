// The job watch's reading of CUPS listings: which jobs count as printing, and when a job the
// user cancelled must also be cancelled on the printer.
#include "JobListing.h"

#include <gtest/gtest.h>

namespace {

// "lpstat -W all -l -o Q" as CUPS prints it while Q-2 prints (English and Chinese).
const QString c_strPrintingEn = QStringLiteral(
    "Q-2                     root            405504   Tue Dec  8 00:38:21 2026\n"
    "\tStatus: \n"
    "\tAlerts: job-printing\n"
    "\tqueued for Q\n");
const QString c_strCancelledEn = QStringLiteral(
    "Q-2                     root            405504   Tue Dec  8 00:38:21 2026\n"
    "\tAlerts: job-canceled-by-user\n"
    "\tqueued for Q\n");
const QString c_strPrintingZh = QStringLiteral(
    "Q-7                     alice           1024   2026年12月08日 星期二 00时38分21秒\n"
    "\t状态：\n"
    "\t警告：job-printing\n"
    "\t排队在 Q\n");
const QString c_strCancelledZh = QStringLiteral(
    "Q-7                     alice           1024   2026年12月08日 星期二 00时38分21秒\n"
    "\t警告：job-canceled-by-user\n"
    "\t排队在 Q\n");

QList<stJobState> Printing(const QString& strJobID)
{
    stJobState job;
    job.strJobID = strJobID;
    job.iStatus = JOB_PRINTING;
    return {job};
}

QStringList Ids(const QList<stJobState>& listJob)
{
    QStringList listId;
    for (const stJobState& job : listJob)
        listId.append(job.strJobID);
    return listId;
}

} // namespace

TEST(JobListing, PrintingJobIsRememberedInEitherLanguage)
{
    const stJobWatchResult en = ParseJobListing(c_strPrintingEn, {});
    ASSERT_EQ(Ids(en.listPrinting), QStringList{QStringLiteral("Q-2")});
    EXPECT_EQ(en.listPrinting.first().iStatus, JOB_PRINTING);
    EXPECT_TRUE(en.listCancelJobID.isEmpty());

    const stJobWatchResult zh = ParseJobListing(c_strPrintingZh, {});
    EXPECT_EQ(Ids(zh.listPrinting), QStringList{QStringLiteral("Q-7")});
}

TEST(JobListing, JobCancelledWhilePrintingIsCancelledOnPrinterExactlyOnce)
{
    const stJobWatchResult first = ParseJobListing(c_strPrintingEn, {});
    const stJobWatchResult second = ParseJobListing(c_strCancelledEn, first.listPrinting);
    EXPECT_EQ(second.listCancelJobID, QStringList{QStringLiteral("Q-2")});
    EXPECT_TRUE(second.listPrinting.isEmpty());
    // The cancelled job is no longer remembered, so the next watch stays silent.
    const stJobWatchResult third = ParseJobListing(c_strCancelledEn, second.listPrinting);
    EXPECT_TRUE(third.listCancelJobID.isEmpty());

    const stJobWatchResult zh = ParseJobListing(c_strCancelledZh, ParseJobListing(c_strPrintingZh, {}).listPrinting);
    EXPECT_EQ(zh.listCancelJobID, QStringList{QStringLiteral("Q-7")});
}

TEST(JobListing, JobCancelledBeforeItPrintedIsNotCancelledOnPrinter)
{
    EXPECT_TRUE(ParseJobListing(c_strCancelledEn, {}).listCancelJobID.isEmpty());
    // Another job was printing: only the same id counts.
    EXPECT_TRUE(ParseJobListing(c_strCancelledEn, Printing(QStringLiteral("Q-20"))).listCancelJobID.isEmpty());
    EXPECT_TRUE(ParseJobListing(c_strCancelledEn, Printing(QStringLiteral("Q-"))).listCancelJobID.isEmpty());
}

TEST(JobListing, AlertKeywordsDecideWhetherJobPrints)
{
    const QString strHeader = QStringLiteral("Q-3 bob 100 Tue Dec  8 00:38:21 2026\n");
    EXPECT_EQ(ParseJobListing(strHeader + "\tAlerts: processing-to-stop-point\n", {}).listPrinting.size(), 1);
    EXPECT_TRUE(ParseJobListing(strHeader + "\tAlerts: none\n", {}).listPrinting.isEmpty());
    EXPECT_TRUE(ParseJobListing(strHeader + "\tAlerts: job-hold-until-specified\n", {}).listPrinting.isEmpty());
    // A status line saying "Processing" makes any other alert count as printing.
    EXPECT_EQ(ParseJobListing(strHeader + "\tStatus: Processing page 2\n\tAlerts: job-incoming\n", {}).listPrinting.size(), 1);
    // Markers are case-sensitive.
    EXPECT_TRUE(ParseJobListing(strHeader + "\talerts: job-printing\n", {}).listPrinting.isEmpty());
    // Without the leading tab the line is no alert line.
    EXPECT_TRUE(ParseJobListing(strHeader + "Alerts: job-printing\n", {}).listPrinting.isEmpty());
}

TEST(JobListing, ProcessingFlagBelongsToOneJob)
{
    const QString strListing = QStringLiteral(
        "Q-4 bob 100 Tue Dec  8 00:38:21 2026\n"
        "\tStatus: Processing\n"
        "\tAlerts: job-printing\n"
        "Q-5 bob 100 Tue Dec  8 00:38:22 2026\n"
        "\tAlerts: job-incoming\n");
    EXPECT_EQ(Ids(ParseJobListing(strListing, {}).listPrinting), QStringList{QStringLiteral("Q-4")});
}

TEST(JobListing, ShortLinesDoNotStartAJob)
{
    // A line of fewer than four fields leaves the current job as it was.
    const QString strListing = QStringLiteral(
        "Q-6 bob 100 Tue Dec  8 00:38:21 2026\n"
        "no entries\n"
        "\tAlerts: job-printing\n");
    EXPECT_EQ(Ids(ParseJobListing(strListing, {}).listPrinting), QStringList{QStringLiteral("Q-6")});
    EXPECT_TRUE(ParseJobListing(QString(), Printing(QStringLiteral("Q-6"))).listPrinting.isEmpty());
}

TEST(QueuePrintingListing, FirstLineDecides)
{
    EXPECT_TRUE(IsQueuePrintingListing(QStringLiteral("printer Q now printing Q-2.  enabled since Tue Dec  8\n"), QStringLiteral("Q")));
    EXPECT_TRUE(IsQueuePrintingListing(QStringLiteral("打印机 Q 正在打印 Q-2。自从 ...\n"), QStringLiteral("Q")));
    EXPECT_FALSE(IsQueuePrintingListing(QStringLiteral("printer Q is idle.  enabled since Tue Dec  8\n"), QStringLiteral("Q")));
    EXPECT_FALSE(IsQueuePrintingListing(QStringLiteral("printer Q is idle.\n\tprinting soon\n"), QStringLiteral("Q")));
    EXPECT_FALSE(IsQueuePrintingListing(QString(), QStringLiteral("Q")));
}

TEST(QueuePrintingListing, QueueNameContainingPrintingDoesNotCount)
{
    const QString strQueue = QStringLiteral("Printing-Room");
    EXPECT_FALSE(IsQueuePrintingListing(QStringLiteral("printer Printing-Room is idle.  enabled since\n"), strQueue));
    EXPECT_TRUE(IsQueuePrintingListing(QStringLiteral("printer Printing-Room now printing Printing-Room-3.\n"), strQueue));
}

// A name that is part of the word "printing" must not eat that word out of the listing.
TEST(QueuePrintingListing, QueueNamedLikePartOfPrintingStillCounts)
{
    for (const QString& strQueue : {QStringLiteral("print"), QStringLiteral("p"), QStringLiteral("ing")}) {
        EXPECT_TRUE(IsQueuePrintingListing(QStringLiteral("printer %1 now printing %1-3.  enabled since\n").arg(strQueue), strQueue))
            << strQueue.toStdString();
        EXPECT_FALSE(IsQueuePrintingListing(QStringLiteral("printer %1 is idle.  enabled since\n").arg(strQueue), strQueue))
            << strQueue.toStdString();
    }
}
