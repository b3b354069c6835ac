// The scheduler client's bounds: a scheduler that takes the connection but never answers holds
// the caller for about the request time-out once, and is then left alone for a pause.
#include "CupsClient.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

// A listening domain socket that nobody serves: the kernel completes connections into its
// backlog, requests are buffered, no answer ever comes.
class SilentScheduler {
public:
    SilentScheduler()
    {
        m_strPath = m_dir.filePath(QStringLiteral("cups.sock"));
        m_iFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, m_strPath.toUtf8().constData(), sizeof(addr.sun_path) - 1);
        m_bListening = ::bind(m_iFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 && ::listen(m_iFd, 16) == 0;
    }
    ~SilentScheduler() { ::close(m_iFd); }
    bool IsListening() const { return m_bListening; }
    const QString& Path() const { return m_strPath; }

private:
    QTemporaryDir m_dir;
    QString m_strPath;
    int m_iFd = -1;
    bool m_bListening = false;
};

double SecondsOf(const std::function<void()>& call)
{
    const Clock::time_point start = Clock::now();
    call();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TEST(CupsClient, SilentSchedulerCostsOneTimeOutThenAPause)
{
    SilentScheduler scheduler;
    ASSERT_TRUE(scheduler.IsListening());
    CupsClient client(scheduler.Path());
    QList<stCupsJob> listJob{{1, 5, {"job-printing"}}};
    bool bAnswered = true;

    const double dFirst = SecondsOf([&] { bAnswered = client.GetJobs(QStringLiteral("Q"), {1}, listJob); });
    EXPECT_FALSE(bAnswered);
    EXPECT_TRUE(listJob.isEmpty());
    EXPECT_GE(dFirst, CupsClient::c_iRequestTimeoutMs / 1000.0 * 0.9);
    EXPECT_LE(dFirst, CupsClient::c_iRequestTimeoutMs / 1000.0 + 1.0);

    // During the pause neither question waits at all.
    EXPECT_LT(SecondsOf([&] { bAnswered = client.GetJobs(QStringLiteral("Q"), {}, listJob); }), 0.1);
    EXPECT_FALSE(bAnswered);
    EXPECT_LT(SecondsOf([&] { bAnswered = client.IsQueuePrinting(QStringLiteral("Q")); }), 0.1);
    EXPECT_FALSE(bAnswered);
}

TEST(CupsClient, MissingSchedulerAnswersAtOnce)
{
    QTemporaryDir dir;
    CupsClient client(dir.filePath(QStringLiteral("no-such.sock")));
    QList<stCupsJob> listJob;
    EXPECT_LT(SecondsOf([&] { EXPECT_FALSE(client.GetJobs(QStringLiteral("Q"), {}, listJob)); }), 0.5);
    EXPECT_FALSE(client.IsQueuePrinting(QStringLiteral("Q")));
}
