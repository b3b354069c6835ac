// The workers' sliced sleep: a stop request from another thread ends a long wait.
#include "UtilThreadBase.h"

#include <gtest/gtest.h>

#include <QDir>

#include <unistd.h>

#include <thread>

TEST(UtilThreadBase, StopRequestFromAnotherThreadEndsALongSleep)
{
    UtilThreadBase worker;
    bool bStopped = false;
    std::thread sleeper([&] { bStopped = worker.WaitForSleep(600000); });
    worker.SlotThreadQuit();
    sleeper.join();
    EXPECT_TRUE(bStopped);
    // Once stopped, every later wait reports it at once.
    EXPECT_TRUE(worker.WaitForSleep(600000));
}

TEST(UtilThreadBase, ShortSleepWithoutStopReportsNoStop)
{
    UtilThreadBase worker;
    EXPECT_FALSE(worker.WaitForSleep(30));
    EXPECT_FALSE(worker.WaitForSleep(0));
}

TEST(UtilThreadBase, MakePathExistCreatesMissingParents)
{
    const QString strBase = QDir::tempPath() + QStringLiteral("/vorn-threadbase-%1").arg(::getpid());
    EXPECT_TRUE(UtilThreadBase::MakePathExist(strBase + QStringLiteral("/a/b/")));
    EXPECT_TRUE(QDir(strBase + QStringLiteral("/a/b")).exists());
    EXPECT_TRUE(UtilThreadBase::MakePathExist(strBase + QStringLiteral("/a/b/")));
    QDir(strBase).removeRecursively();
}
