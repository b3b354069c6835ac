// The signal handler only writes the signal number into a pipe; a dedicated thread reads it
// and runs the stop in ordinary code. Child processes start with default handlers and an
// untouched signal mask.
#include "ServiceStopper.h"

#include "ServiceJournal.h"
#include "UtilLog.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

int s_arrWakePipe[2] = {-1, -1};
// Written by the destructor to end the wait when no signal came.
constexpr char c_cNoSignal = 0;

void OnStopSignal(int iSignal)
{
    const int iSavedErrno = errno;
    const char cSignal = char(iSignal);
    [[maybe_unused]] const ssize_t iIgnored = ::write(s_arrWakePipe[1], &cSignal, 1);
    errno = iSavedErrno;
}

void SetStopHandler(void (*pHandler)(int))
{
    struct sigaction action {};
    action.sa_handler = pHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

ServiceStopper::ServiceStopper(std::function<void()> requestStop)
    : m_requestStop(std::move(requestStop))
{
    if (::pipe2(s_arrWakePipe, O_CLOEXEC) == 0) {
        SetStopHandler(OnStopSignal);
        m_thread = std::thread(&ServiceStopper::WaitForSignal, this);
    }
}

ServiceStopper::~ServiceStopper()
{
    StopFinished();
    if (!m_thread.joinable())
        return;
    SetStopHandler(SIG_DFL);
    [[maybe_unused]] const ssize_t iIgnored = ::write(s_arrWakePipe[1], &c_cNoSignal, 1);
    m_thread.join();
    ::close(s_arrWakePipe[0]);
    ::close(s_arrWakePipe[1]);
}

void ServiceStopper::StopFinished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFinished = true;
    m_cvFinished.notify_all();
}

void ServiceStopper::WaitForSignal()
{
    char cSignal = c_cNoSignal;
    ssize_t iRead = 0;
    do {
        iRead = ::read(s_arrWakePipe[0], &cSignal, 1);
    } while (iRead < 0 && errno == EINTR);
    if (iRead != 1 || cSignal == c_cNoSignal)
        return;

    VORN_LOG("stop requested by signal %d", int(cSignal));
    ServiceJournal::StopRequested(int(cSignal));
    m_requestStop();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_cvFinished.wait_for(lock, std::chrono::milliseconds(c_iStopDeadlineMs), [this] { return m_bFinished; }))
        return;
    // A worker is still inside a USB, network or scheduler request: leave without it.
    VORN_LOG("stop deadline passed, exiting");
    _exit(0);
}
