// The presence tests over a fake process table, the "-hide" option, folder creation and
// command output capture.
#include "UtilShell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class FakeProcessTable : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void AddProcess(int iPid, const QByteArray& baCommandName)
    {
        const QString strProcess = m_dir.filePath(QString::number(iPid));
        ASSERT_TRUE(QDir().mkpath(strProcess));
        QFile comm(strProcess + "/comm");
        ASSERT_TRUE(comm.open(QIODevice::WriteOnly));
        comm.write(baCommandName + "\n");
    }

    // The process's PID namespace as the kernel names it in ns/pid.
    void SetNamespace(const QString& strProcess, const QByteArray& baNamespace)
    {
        const QString strNsDir = m_dir.filePath(strProcess + "/ns");
        ASSERT_TRUE(QDir().mkpath(strNsDir));
        ASSERT_EQ(::symlink(baNamespace.constData(), QFile::encodeName(strNsDir + "/pid").constData()), 0);
    }

    QString Table() const { return m_dir.path(); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(FakeProcessTable, OwnNameCutTo15CharactersMatchesTheKernelName)
{
    AddProcess(100, "VornPrinterTool");
    EXPECT_EQ(CountProcessesNamed("VornPrinterTool", Table()), 1);
    EXPECT_FALSE(CheckIsRunning("VornPrinterTool", Table())) << "only ourselves";
    AddProcess(200, "VornPrinterTool");
    EXPECT_TRUE(CheckIsRunning("VornPrinterTool", Table())) << "a second monitor finds two";

    AddProcess(300, "VornPrintWatchd");
    EXPECT_EQ(CountProcessesNamed("VornPrintWatchdog", Table()), 1);
}

TEST_F(FakeProcessTable, ServiceInCapitalsCountsButLongerOrShorterNamesDoNot)
{
    AddProcess(10, "vornT905Servic");
    AddProcess(11, "xvornT905Servic");
    AddProcess(12, "bash");
    EXPECT_FALSE(CheckIsServiceRunning(Table()));
    AddProcess(13, "VORNT905SERVICE");
    EXPECT_TRUE(CheckIsServiceRunning(Table()));
    EXPECT_EQ(CountProcessesNamed("vornT905Service", Table()), 1);
}

TEST_F(FakeProcessTable, NonProcessEntriesAndVanishedProcessesAreIgnored)
{
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("self")));
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("42")));
    AddProcess(43, "vornT905Service");
    EXPECT_EQ(CountProcessesNamed("vornT905Service", Table()), 1);
    EXPECT_EQ(CountProcessesNamed("vornT905Service", m_dir.filePath("missing")), 0);
}

TEST_F(FakeProcessTable, OnlyProcessesInTheCallersPidNamespaceCount)
{
    SetNamespace("self", "pid:[4026531836]");
    AddProcess(100, "vornT905Service");
    SetNamespace("100", "pid:[4026531836]");
    // The same program in a container or a test run's namespace on the same machine.
    AddProcess(200, "vornT905Service");
    SetNamespace("200", "pid:[4026532001]");
    EXPECT_EQ(FindProcessesNamed("vornT905Service", Table()), QList<int>{100});
    EXPECT_FALSE(CheckIsRunning("vornT905Service", Table()));

    // A namespace that cannot be read (another user's process) counts as the caller's.
    AddProcess(300, "vornT905Service");
    EXPECT_TRUE(CheckIsRunning("vornT905Service", Table()));
}

TEST(ProcessTable, RealTableFindsThisTestProgram)
{
    QFile comm("/proc/self/comm");
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
    const QString strName = QString::fromLocal8Bit(comm.readAll()).trimmed();
    EXPECT_GE(CountProcessesNamed(strName), 1);
}

TEST(CheckIsHide, FindsTheOptionAnywhereIgnoringCase)
{
    char szProg[] = "prog";
    char szX[] = "-x";
    char szHide[] = "-HIDE";
    char szHideLong[] = "-hidden";
    char* argvHide[] = {szProg, szX, szHide, nullptr};
    char* argvNone[] = {szProg, szX, szHideLong, nullptr};
    char* argvProgOnly[] = {szHide, nullptr};
    EXPECT_TRUE(CheckIsHide(3, argvHide));
    EXPECT_FALSE(CheckIsHide(3, argvNone));
    EXPECT_FALSE(CheckIsHide(1, argvProgOnly)) << "the program name is not an option";
    EXPECT_FALSE(CheckIsHide(0, nullptr));
}

TEST(MakePathExist, CreatesMissingParentsAndReportsFailure)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(MakePathExist(dir.filePath("a/b/c")));
    EXPECT_TRUE(QDir(dir.filePath("a/b/c")).exists());
    EXPECT_TRUE(MakePathExist(dir.filePath("a/b/c")));
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_FALSE(MakePathExist(dir.filePath("file/sub")));
}

TEST(GetCmdOutput, StandardOutputComesFirst)
{
    QString strOutput;
    EXPECT_EQ(GetCmdOutput("sh -c \"echo out; echo err >&2\"", strOutput), 0);
    EXPECT_EQ(strOutput, "out\n");
}

TEST(GetCmdOutput, OnlyStandardErrorGivesTwoWithTheErrorText)
{
    QString strOutput;
    EXPECT_EQ(GetCmdOutput("sh -c \"echo oops >&2\"", strOutput), 2);
    EXPECT_EQ(strOutput, "oops\n");
}

TEST(GetCmdOutput, CommandThatCannotStartGivesTwoAndNothing)
{
    QString strOutput = "stale";
    EXPECT_EQ(GetCmdOutput("vorn-no-such-tool-xyz -h", strOutput), 2);
    EXPECT_TRUE(strOutput.isEmpty());
    EXPECT_EQ(GetCmdOutput("", strOutput), 2);
}

TEST(GetCmdOutput, OutputEndsAtTheFirstZeroByteAndNoShellIsInvolved)
{
    QString strOutput;
    EXPECT_EQ(GetCmdOutput("printf \"ab\\0cd\"", strOutput), 0);
    EXPECT_EQ(strOutput, "ab");
    EXPECT_EQ(GetCmdOutput("echo $HOME ; id", strOutput), 0);
    EXPECT_EQ(strOutput, "$HOME ; id\n");
}
