// A dedicated thread takes the stop signals with sigwait, so the stop runs in ordinary code
// rather than in a signal handler.
#include "ServiceStopper.h"

#include "UtilLog.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

// Sent to the stopper's own thread to end its wait when main finishes first.
constexpr int c_iWakeSignal = SIGUSR1;

} // namespace

void ServiceStopper::BlockStopSignals()
{
    sigset_t set = StopSignals();
    sigaddset(&set, c_iWakeSignal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ServiceStopper::ServiceStopper(std::function<void()> requestStop)
    : m_requestStop(std::move(requestStop))
    , m_thread(&ServiceStopper::WaitForSignal, this)
{
}

ServiceStopper::~ServiceStopper()
{
    StopFinished();
    pthread_kill(m_thread.native_handle(), c_iWakeSignal);
    m_thread.join();
}

void ServiceStopper::StopFinished()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFinished = true;
    m_cvFinished.notify_all();
}

void ServiceStopper::WaitForSignal()
{
    sigset_t set = StopSignals();
    sigaddset(&set, c_iWakeSignal);
    int iSignal = 0;
    while (sigwait(&set, &iSignal) != 0) {
    }
    if (iSignal == c_iWakeSignal)
        return;

    VORN_LOG("stop requested by signal %d", iSignal);
    m_requestStop();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_cvFinished.wait_for(lock, std::chrono::milliseconds(c_iStopDeadlineMs), [this] { return m_bFinished; }))
        return;
    // A worker is stuck in a USB, network or process call: leave without waiting for it.
    VORN_LOG("stop deadline passed, exiting");
    _exit(0);
}
