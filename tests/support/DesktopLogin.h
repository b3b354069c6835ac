// A desktop login as "w" sees it: an entry in the private /run/utmp whose process is alive.
// Whatever looks for the logged-in desktop user (through "w" or utmp) finds this one.
#pragma once

#include <sys/types.h>

#include <string>

namespace VornTest {

class DesktopLogin {
public:
    // Writes a USER_PROCESS entry for the user on the given line, backed by a sleeping child
    // (w hides entries whose process is gone).
    explicit DesktopLogin(const std::string& strUser, const std::string& strLine = "tty7");
    // Marks the entry dead and ends the child.
    ~DesktopLogin();
    DesktopLogin(const DesktopLogin&) = delete;
    DesktopLogin& operator=(const DesktopLogin&) = delete;

    bool IsActive() const { return m_pidSession > 0; }

private:
    std::string m_strLine;
    pid_t m_pidSession = -1;
};

} // namespace VornTest
