// Orderly stop on SIGTERM and SIGINT: the quit flags are set, the workers are joined, and the
// process exits 0 within a bounded time even when a worker is inside a printer or scheduler
// request. The one place that decides how long a stop may take.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ServiceStopper {
public:
    // Whole stop, from the signal to the process being gone.
    static constexpr int c_iStopDeadlineMs = 1800;

    // Installs the signal handlers and starts the thread that calls requestStop when a stop
    // signal arrives. One instance per process.
    explicit ServiceStopper(std::function<void()> requestStop);
    // Restores the default handlers and joins the thread.
    ~ServiceStopper();
    ServiceStopper(const ServiceStopper&) = delete;
    ServiceStopper& operator=(const ServiceStopper&) = delete;

    // Called by main once the workers are joined; the deadline no longer applies. Until then
    // nothing else gives up waiting for them.
    void StopFinished();

private:
    void WaitForSignal();

    std::function<void()> m_requestStop;
    std::mutex m_mutex;
    // Signalled (under m_mutex) when m_bFinished is set.
    std::condition_variable m_cvFinished;
    bool m_bFinished = false;
    std::thread m_thread;
};
