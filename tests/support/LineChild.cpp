// Line exchange with a helper process of the desktop fixture.
#include "LineChild.h"

#include "ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace VornTest {
namespace {

// A line-driven child normally ends as soon as its input closes; SIGTERM follows after this.
constexpr int c_iGraceAfterCloseMs = 1000;
constexpr int c_iStopTimeoutMs = 3000;
constexpr int c_iPollMs = 10;

long long NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void CloseIfOpen(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

LineChild::~LineChild()
{
    Stop();
}

bool LineChild::Start(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                      const std::string& strStderrFile)
{
    stChildPipes pipes;
    m_pid = StartChildWith(listArgv, listEnv, strStderrFile, &pipes);
    m_fdToChild = pipes.fdToStdin;
    m_fdFromChild = pipes.fdFromStdout;
    return m_pid > 0;
}

bool LineChild::WriteLine(const std::string& strLine)
{
    const std::string strData = strLine + "\n";
    size_t iWritten = 0;
    while (m_fdToChild >= 0 && iWritten < strData.size()) {
        const ssize_t n = write(m_fdToChild, strData.data() + iWritten, strData.size() - iWritten);
        if (n < 0 && errno != EINTR)
            return false;
        if (n > 0)
            iWritten += static_cast<size_t>(n);
    }
    return iWritten == strData.size();
}

bool LineChild::ReadLine(std::string& strLine, int iTimeoutMs)
{
    const long long llDeadline = NowMs() + iTimeoutMs;
    for (;;) {
        const size_t iEnd = m_strPending.find('\n');
        if (iEnd != std::string::npos) {
            strLine = m_strPending.substr(0, iEnd);
            m_strPending.erase(0, iEnd + 1);
            return true;
        }
        const long long llLeft = llDeadline - NowMs();
        if (m_fdFromChild < 0 || llLeft <= 0)
            return false;
        pollfd fd{m_fdFromChild, POLLIN, 0};
        const int iReady = poll(&fd, 1, static_cast<int>(llLeft));
        if (iReady < 0 && errno != EINTR)
            return false;
        if (iReady <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(m_fdFromChild, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            CloseIfOpen(m_fdFromChild);
            return false;
        }
        if (n > 0)
            m_strPending.append(buffer, static_cast<size_t>(n));
    }
}

void LineChild::Stop()
{
    if (m_pid <= 0)
        return;
    CloseIfOpen(m_fdToChild);
    const long long llDeadline = NowMs() + c_iGraceAfterCloseMs;
    bool bAlive = IsChildAlive(m_pid);
    while (bAlive && NowMs() < llDeadline) {
        usleep(c_iPollMs * 1000);
        bAlive = IsChildAlive(m_pid);
    }
    if (bAlive)
        StopChild(m_pid, SIGTERM, c_iStopTimeoutMs);
    CloseIfOpen(m_fdFromChild);
    m_strPending.clear();
    m_pid = -1;
}

} // namespace VornTest
