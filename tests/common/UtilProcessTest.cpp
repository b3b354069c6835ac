// Running external tools: arguments arrive whole, nothing runs through a shell, output of any
// size is read, and hung tools are killed.
#include "UtilProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>

#include <chrono>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

stProcessOptions WithTimeout(int iTimeoutMs)
{
    stProcessOptions options;
    options.iTimeoutMs = iTimeoutMs;
    return options;
}

} // namespace

TEST(UtilProcess, HostileArgumentArrivesAsOneArgumentAndRunsNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strMarker = dir.filePath("pwned");
    const QString strHostile = "Q; touch " + strMarker + " $(touch " + strMarker + ") `touch " + strMarker + "` 'a\" \\";
    const stProcessResult result = UtilProcess::Run("printf", {"[%s]\\n", strHostile, "second"});
    ASSERT_TRUE(result.bStarted);
    EXPECT_EQ(result.iExitCode, 0);
    EXPECT_EQ(QString::fromLocal8Bit(result.baStdout), "[" + strHostile + "]\n[second]\n");
    EXPECT_FALSE(QFile::exists(strMarker));
}

TEST(UtilProcess, StandardStreamsAreKeptApartAndExitCodeReported)
{
    const stProcessResult result = UtilProcess::Run("sh", {"-c", "echo out; echo err >&2; exit 3"});
    ASSERT_TRUE(result.bStarted);
    EXPECT_EQ(result.baStdout, "out\n");
    EXPECT_EQ(result.baStderr, "err\n");
    EXPECT_EQ(result.iExitCode, 3);
    EXPECT_FALSE(result.bTimedOut);
}

TEST(UtilProcess, MissingProgramIsReportedAsNotStarted)
{
    const stProcessResult result = UtilProcess::Run("vorn-no-such-tool-xyz", {});
    EXPECT_FALSE(result.bStarted);
    EXPECT_TRUE(result.baStdout.isEmpty());
    EXPECT_FALSE(UtilProcess::Run("/nonexistent/tool", {}).bStarted);
    EXPECT_FALSE(UtilProcess::Run("", {}).bStarted);
}

TEST(UtilProcess, MegabytesOfOutputOnBothStreamsAreReadWhole)
{
    // Both pipes fill far beyond their buffers; reading only one at a time would deadlock.
    const stProcessResult result =
        UtilProcess::Run("sh", {"-c", "head -c 3000000 /dev/zero | tr '\\0' o & head -c 2000000 /dev/zero | tr '\\0' e >&2; wait"},
                         WithTimeout(20000));
    ASSERT_TRUE(result.bStarted);
    EXPECT_FALSE(result.bTimedOut);
    EXPECT_EQ(result.baStdout.size(), 3000000);
    EXPECT_EQ(result.baStdout.count('o'), 3000000);
    EXPECT_EQ(result.baStderr.size(), 2000000);
}

TEST(UtilProcess, TimeOutKillsTheToolAndItsChildren)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPidFile = dir.filePath("child.pid");
    const auto start = std::chrono::steady_clock::now();
    const stProcessResult result =
        UtilProcess::Run("sh", {"-c", "sleep 30 & echo $! > " + strPidFile + "; echo started; wait"}, WithTimeout(500));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(result.bStarted);
    EXPECT_TRUE(result.bTimedOut);
    EXPECT_EQ(result.iExitCode, -1);
    EXPECT_EQ(result.baStdout, "started\n") << "output before the kill is kept";
    EXPECT_LT(elapsed, std::chrono::seconds(10));

    QFile pidFile(strPidFile);
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t childPid = pidFile.readAll().trimmed().toInt();
    ASSERT_GT(childPid, 0);
    // The grandchild was killed with the group; give the kernel a moment to reap it via init.
    bool bGone = false;
    for (int i = 0; i < 200 && !bGone; ++i) {
        QFile stat(QString("/proc/%1/stat").arg(childPid));
        bGone = !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        if (!bGone)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(bGone);
}

TEST(UtilProcess, ChildSeesNoInheritedDescriptorsAndEmptyStdin)
{
    // A descriptor opened without close-on-exec, as a library might leave one.
    constexpr int c_iLeakyFd = 200;
    ASSERT_EQ(dup2(STDERR_FILENO, c_iLeakyFd), c_iLeakyFd);
    const stProcessResult result = UtilProcess::Run("sh", {"-c", "ls /proc/self/fd; cat"});
    close(c_iLeakyFd);
    ASSERT_TRUE(result.bStarted);
    // 0, 1, 2 and the descriptor "ls" itself opens to read the folder.
    QStringList listFds = QString::fromLatin1(result.baStdout).split('\n', Qt::SkipEmptyParts);
    EXPECT_LE(listFds.size(), 4) << result.baStdout.constData();
    EXPECT_FALSE(listFds.contains(QString::number(c_iLeakyFd)));
}

TEST(UtilProcess, ArgumentsReachTheToolAsUtf8WhateverTheLocale)
{
    QTextCodec* pLocale = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const stProcessResult result = UtilProcess::Run("printf", {"%s", QStringLiteral("打印机")});
    QTextCodec::setCodecForLocale(pLocale);
    EXPECT_EQ(result.baStdout, QStringLiteral("打印机").toUtf8());
}

TEST(UtilProcess, ParallelRunsFromSeveralThreadsKeepTheirOwnOutput)
{
    constexpr int c_iThreads = 4;
    std::vector<std::thread> vecThreads;
    std::vector<QByteArray> vecOutput(c_iThreads);
    for (int i = 0; i < c_iThreads; ++i) {
        vecThreads.emplace_back([i, &vecOutput] {
            for (int j = 0; j < 10; ++j)
                vecOutput[i] += UtilProcess::Run("echo", {QString::number(i)}).baStdout;
        });
    }
    for (std::thread& thread : vecThreads)
        thread.join();
    for (int i = 0; i < c_iThreads; ++i)
        EXPECT_EQ(vecOutput[i], QByteArray::number(i).append('\n').repeated(10));
}

TEST(UtilProcess, DetachedProgramRunsInItsOwnSessionAndLeavesNoZombie)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strOut = dir.filePath("out");
    ASSERT_TRUE(UtilProcess::StartDetached("sh", {"-c", "echo $PPID $$ $(ps -o sid= -p $$) > " + strOut + ".tmp; mv "
                                                      + strOut + ".tmp " + strOut}));
    EXPECT_FALSE(UtilProcess::StartDetached("vorn-no-such-tool-xyz", {}));

    for (int i = 0; i < 500 && !QFile::exists(strOut); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QFile file(strOut);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> listFields = file.readAll().simplified().split(' ');
    ASSERT_GE(listFields.size(), 2);
    EXPECT_NE(listFields[0].toInt(), getpid()) << "not our child";
    ASSERT_GE(listFields.size(), 3);
    EXPECT_NE(listFields[2].toInt(), getsid(0)) << "runs in a session of its own";
    // No child of ours is left to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

// Under systemd the watchdog's standard error is the journal; the service it starts must reach
// it, while a program started to discard its output never writes into the caller's.
TEST(UtilProcess, DetachedProgramWritesToTheCallersStderrOnlyWhenAskedTo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const UtilProcess::enDetachedStderr enStderr : {UtilProcess::STDERR_DISCARD, UtilProcess::STDERR_INHERIT}) {
        const QString strCapture = dir.filePath(QString::number(enStderr));
        const QString strDone = strCapture + ".done";
        const int iCapture = open(strCapture.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(iCapture, 0);
        const int iSavedStderr = dup(STDERR_FILENO);
        ASSERT_GE(iSavedStderr, 0);
        ASSERT_EQ(dup2(iCapture, STDERR_FILENO), STDERR_FILENO);
        const bool bStarted = UtilProcess::StartDetached("sh", {"-c", "echo to-stderr >&2; echo to-stdout; touch " + strDone},
                                                         enStderr);
        dup2(iSavedStderr, STDERR_FILENO);
        close(iSavedStderr);
        close(iCapture);
        ASSERT_TRUE(bStarted);

        for (int i = 0; i < 500 && !QFile::exists(strDone); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QFile capture(strCapture);
        ASSERT_TRUE(capture.open(QIODevice::ReadOnly));
        EXPECT_EQ(capture.readAll(), enStderr == UtilProcess::STDERR_INHERIT ? QByteArray("to-stderr\n") : QByteArray());
    }
}
