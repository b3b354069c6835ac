// inotify on the service's configuration folder.
#include "FolderWatch.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// The service replaces its files by renaming a finished temporary file over them; a writer that
// rewrites in place ends with a close. The folder's own removal or move drops the watch.
constexpr uint32_t c_uEventMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr size_t c_uEventBufferBytes = 4096;

} // namespace

FolderWatch::FolderWatch(const QString& strFolder, const QString& strFileName)
    : m_baFolder(QFile::encodeName(strFolder))
    , m_baFileName(QFile::encodeName(strFileName))
{
    m_iFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

FolderWatch::~FolderWatch()
{
    if (m_iFd >= 0)
        close(m_iFd);
}

void FolderWatch::SetFileName(const QString& strFileName)
{
    m_baFileName = QFile::encodeName(strFileName);
}

void FolderWatch::Arm()
{
    if (m_iFd < 0 || m_iWatch >= 0)
        return;
    m_iWatch = inotify_add_watch(m_iFd, m_baFolder.constData(), c_uEventMask | IN_ONLYDIR);
}

bool FolderWatch::ReadEvents()
{
    alignas(inotify_event) char buffer[c_uEventBufferBytes];
    bool bMatched = false;
    for (;;) {
        const ssize_t iRead = read(m_iFd, buffer, sizeof buffer);
        if (iRead <= 0)
            return bMatched;
        for (ssize_t iPos = 0; iPos < iRead;) {
            const inotify_event* pEvent = reinterpret_cast<const inotify_event*>(buffer + iPos);
            iPos += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
            if (pEvent->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                // The folder is gone or moved away; Arm looks for it again. Events of a watch
                // already dropped must not drop its successor.
                if (pEvent->wd == m_iWatch) {
                    inotify_rm_watch(m_iFd, m_iWatch);
                    m_iWatch = -1;
                }
                continue;
            }
            if (pEvent->mask & IN_Q_OVERFLOW) {
                bMatched = true;
                continue;
            }
            if (pEvent->len > 0 && m_baFileName == pEvent->name)
                bMatched = true;
        }
    }
}

bool FolderWatch::WaitForChange(int iMs, const std::atomic<bool>& bQuit)
{
    Arm();
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (bQuit.load())
            return false;
        const int iLeft = iMs - static_cast<int>(timer.elapsed());
        if (iLeft <= 0)
            return false;
        const int iSlice = std::min(iLeft, c_iSliceMs);
        if (m_iWatch < 0) {
            usleep(static_cast<useconds_t>(iSlice) * 1000);
            Arm();
            continue;
        }
        pollfd pfd{m_iFd, POLLIN, 0};
        const int iReady = poll(&pfd, 1, iSlice);
        if (iReady > 0 && ReadEvents())
            return true;
        if (iReady < 0 && errno != EINTR)
            usleep(static_cast<useconds_t>(iSlice) * 1000);
    }
}
