// Log files: naming, line layout, the cut of long messages, rotation at the 1 MiB edge and
// whole lines under concurrent writers.
#include "UtilLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

constexpr qint64 c_iMiB = 1048576;

class UtilLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString LogFolder() const { return m_dir.filePath("log/nested"); }

    static QStringList ReadLines(const QString& strPath)
    {
        QFile file(strPath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    static void Fill(const QString& strPath, qint64 iBytes)
    {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(file.resize(iBytes));
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(UtilLogTest, NeverEnabledWritesNothingAndCreatesNoFolder)
{
    UtilLogFile log(LogFolder(), "log_wd");
    log.WriteFormatted("a.cpp", 1, "f", "hello %d", 1);
    EXPECT_FALSE(QDir(m_dir.filePath("log")).exists());
    EXPECT_TRUE(log.CurrentFileName().isEmpty());
}

TEST_F(UtilLogTest, EnablingNamesTheFileAfterPrefixAndStartTime)
{
    UtilLogFile log(LogFolder(), "log_wd");
    const QDateTime before = QDateTime::currentDateTime();
    log.SetLogEnable(true);
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(QDir(LogFolder()).exists()) << "the folder is made on enabling";

    const QString strName = QFileInfo(log.CurrentFileName()).fileName();
    const QRegularExpressionMatch match =
        QRegularExpression("^log_wd_(\\d{8}_\\d{6})_0\\.log$").match(strName);
    ASSERT_TRUE(match.hasMatch()) << qPrintable(strName);
    const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyyMMdd_hhmmss");
    EXPECT_GE(stamp.toSecsSinceEpoch(), before.toSecsSinceEpoch());
    EXPECT_LE(stamp.toSecsSinceEpoch(), after.toSecsSinceEpoch());
    EXPECT_EQ(QFileInfo(log.CurrentFileName()).absolutePath(), QDir(LogFolder()).absolutePath());
    EXPECT_FALSE(QFile::exists(log.CurrentFileName())) << "no file before the first line";
}

TEST_F(UtilLogTest, LineCarriesTimeStampSourcePositionFunctionAndMessage)
{
    UtilLogFile log(LogFolder(), "log_tool");
    log.SetLogEnable(true);
    log.WriteFormatted("monitor/VornPrinterToolWidget.cpp", 371, "InitLog", "desktop = %d, %d", 1920, 1080);
    const QStringList listLines = ReadLines(log.CurrentFileName());
    ASSERT_EQ(listLines.size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "
                                   "\\(monitor/VornPrinterToolWidget\\.cpp@371 InitLog\\) desktop = 1920, 1080$")
                    .match(listLines[0])
                    .hasMatch())
        << qPrintable(listLines[0]);
}

TEST_F(UtilLogTest, CallSiteIsNamedRelativeToTheSourceTree)
{
    UtilLogFile log(LogFolder(), "log_tool");
    log.SetLogEnable(true);
    const int iLine = __LINE__ + 1;
    log.WriteFormatted(__FILE__, __LINE__, __func__, "x");
    const QStringList listLines = ReadLines(log.CurrentFileName());
    ASSERT_EQ(listLines.size(), 1);
    EXPECT_TRUE(listLines[0].contains(QString("] (tests/common/UtilLogTest.cpp@%1 TestBody) x").arg(iLine)))
        << qPrintable(listLines[0]);
}

TEST_F(UtilLogTest, LongMessageIsCutTo1023Bytes)
{
    UtilLogFile log(LogFolder(), "log_srv");
    log.SetLogEnable(true);
    const QByteArray baLong(2000, 'x');
    log.WriteFormatted("s.cpp", 2, "Run", "%s", baLong.constData());
    const QStringList listLines = ReadLines(log.CurrentFileName());
    ASSERT_EQ(listLines.size(), 1);
    EXPECT_TRUE(listLines[0].endsWith(") " + QString(1023, 'x')));
}

TEST_F(UtilLogTest, FileOfExactlyOneMebibyteStillTakesTheLine)
{
    UtilLogFile log(LogFolder(), "log_srv");
    log.SetLogEnable(true);
    const QString strFirst = log.CurrentFileName();
    Fill(strFirst, c_iMiB);
    log.WriteFormatted("s.cpp", 1, "f", "edge");
    EXPECT_EQ(log.CurrentFileName(), strFirst);
    EXPECT_GT(QFileInfo(strFirst).size(), c_iMiB);

    // The file crossed the limit with that line; the next one starts index 1.
    log.WriteFormatted("s.cpp", 2, "f", "next");
    EXPECT_TRUE(log.CurrentFileName().endsWith("_1.log")) << qPrintable(log.CurrentFileName());
    EXPECT_EQ(ReadLines(log.CurrentFileName()).size(), 1);
}

TEST_F(UtilLogTest, FileOneByteOverTheLimitHandsOverToTheNextIndex)
{
    UtilLogFile log(LogFolder(), "log_srv");
    log.SetLogEnable(true);
    const QString strFirst = log.CurrentFileName();
    Fill(strFirst, c_iMiB + 1);
    log.WriteFormatted("s.cpp", 1, "f", "over");
    EXPECT_EQ(QFileInfo(strFirst).size(), c_iMiB + 1) << "the full file is left untouched";
    EXPECT_TRUE(log.CurrentFileName().endsWith("_1.log"));
    EXPECT_EQ(ReadLines(log.CurrentFileName()).size(), 1);
}

TEST_F(UtilLogTest, DisablingStopsWritingAndReEnablingStartsAtIndexZero)
{
    UtilLogFile log(LogFolder(), "log_un");
    log.SetLogEnable(true);
    const QString strFirst = log.CurrentFileName();
    Fill(strFirst, c_iMiB + 1);
    log.WriteFormatted("u.cpp", 1, "f", "rotated");
    ASSERT_TRUE(log.CurrentFileName().endsWith("_1.log"));

    log.SetLogEnable(false);
    log.WriteFormatted("u.cpp", 2, "f", "dropped");
    EXPECT_TRUE(log.CurrentFileName().isEmpty());
    for (const QFileInfo& info : QDir(LogFolder()).entryInfoList(QDir::Files))
        EXPECT_FALSE(ReadLines(info.filePath()).join('\n').contains("dropped"));

    log.SetLogEnable(true);
    EXPECT_TRUE(log.CurrentFileName().endsWith("_0.log"));
}

TEST_F(UtilLogTest, UnwritableFolderDropsLinesQuietly)
{
    const QString strBlocker = m_dir.filePath("blocker");
    Fill(strBlocker, 0);
    UtilLogFile log(strBlocker + "/sub", "log_fwupdate");
    log.SetLogEnable(true);
    log.WriteFormatted("f.cpp", 1, "f", "nowhere");
    EXPECT_FALSE(QFile::exists(log.CurrentFileName()));
}

TEST_F(UtilLogTest, ConcurrentWritersProduceWholeSeparateLines)
{
    UtilLogFile log(LogFolder(), "log_srv");
    log.SetLogEnable(true);
    constexpr int c_iLinesPerThread = 1500;
    const QByteArray baPayloadA(300, 'a');
    const QByteArray baPayloadB(300, 'b');
    auto writer = [&log](const QByteArray& baPayload) {
        for (int i = 0; i < c_iLinesPerThread; ++i)
            log.WriteFormatted("t.cpp", i, "Writer", "%d %s", i, baPayload.constData());
    };
    std::thread threadA(writer, baPayloadA);
    std::thread threadB(writer, baPayloadB);
    threadA.join();
    threadB.join();

    const QRegularExpression reLine("^\\[[^\\]]+\\] \\(t\\.cpp@(\\d+) Writer\\) (\\d+) (a{300}|b{300})$");
    int iCountA = 0;
    int iCountB = 0;
    for (const QFileInfo& info : QDir(LogFolder()).entryInfoList(QDir::Files)) {
        for (const QString& strLine : ReadLines(info.filePath())) {
            const QRegularExpressionMatch match = reLine.match(strLine);
            ASSERT_TRUE(match.hasMatch()) << qPrintable(strLine.left(80));
            (match.captured(3).startsWith('a') ? iCountA : iCountB)++;
        }
    }
    EXPECT_EQ(iCountA, c_iLinesPerThread);
    EXPECT_EQ(iCountB, c_iLinesPerThread);
}
