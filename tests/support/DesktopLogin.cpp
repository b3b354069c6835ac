// Fake desktop logins for the job-watch tests.
#include "DesktopLogin.h"

#include "ChildProcess.h"
#include "PrivateNamespace.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstring>

namespace VornTest {
namespace {

constexpr const char* c_szUtmpFile = "/run/utmp";
constexpr mode_t c_modeUtmp = 0664;

// glibc reads and writes /run/utmp itself; it has to exist with the usual owner and mode.
bool EnsureUtmpFile()
{
    const int fd = open(c_szUtmpFile, O_RDWR | O_CREAT | O_CLOEXEC, c_modeUtmp);
    if (fd < 0)
        return false;
    const group* gr = getgrnam("utmp");
    if (gr != nullptr)
        fchown(fd, 0, gr->gr_gid);
    close(fd);
    return true;
}

void WriteEntry(short iType, const std::string& strUser, const std::string& strLine, pid_t pid)
{
    utmpx entry{};
    entry.ut_type = iType;
    entry.ut_pid = pid;
    std::strncpy(entry.ut_line, strLine.c_str(), sizeof entry.ut_line);
    // The id ties the dead-process record to the login it ends: the line's last characters.
    const size_t iIdLength = std::min(strLine.size(), sizeof entry.ut_id);
    std::memcpy(entry.ut_id, strLine.c_str() + strLine.size() - iIdLength, iIdLength);
    std::strncpy(entry.ut_user, strUser.c_str(), sizeof entry.ut_user);
    timeval now{};
    gettimeofday(&now, nullptr);
    entry.ut_tv.tv_sec = static_cast<int32_t>(now.tv_sec);
    entry.ut_tv.tv_usec = static_cast<int32_t>(now.tv_usec);
    utmpxname(c_szUtmpFile);
    setutxent();
    pututxline(&entry);
    endutxent();
}

} // namespace

DesktopLogin::DesktopLogin(const std::string& strUser, const std::string& strLine)
    : m_strLine(strLine)
{
    if (!IsInPrivateNamespace() || !EnsureUtmpFile())
        return;
    m_pidSession = StartChild({"sleep", "infinity"});
    if (m_pidSession > 0)
        WriteEntry(USER_PROCESS, strUser, m_strLine, m_pidSession);
}

DesktopLogin::~DesktopLogin()
{
    if (m_pidSession <= 0)
        return;
    WriteEntry(DEAD_PROCESS, std::string(), m_strLine, m_pidSession);
    StopChild(m_pidSession, SIGKILL);
}

} // namespace VornTest
