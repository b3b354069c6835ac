// inotify on one folder for the service benchmark.
#include "FolderWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace ServiceBench {

FolderWatch::FolderWatch(const std::string& strFolder)
{
    m_iFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    // A status file is either rewritten in place or replaced by a rename: both are covered.
    if (m_iFd >= 0 && inotify_add_watch(m_iFd, strFolder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        close(m_iFd);
        m_iFd = -1;
    }
}

FolderWatch::~FolderWatch()
{
    if (m_iFd >= 0)
        close(m_iFd);
}

bool FolderWatch::WaitForChange(int iTimeoutMs)
{
    pollfd waitFor{m_iFd, POLLIN, 0};
    if (poll(&waitFor, 1, iTimeoutMs) <= 0)
        return false;
    alignas(inotify_event) char szEvents[4096];
    while (read(m_iFd, szEvents, sizeof(szEvents)) > 0) {
    }
    return true;
}

} // namespace ServiceBench
