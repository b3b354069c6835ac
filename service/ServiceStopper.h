// Orderly stop on SIGTERM and SIGINT: the quit flags are set, the workers are joined, and the
// process exits 0 within a bounded time even when a worker hangs in a printer or process call.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ServiceStopper {
public:
    // Whole stop, from the signal to the process being gone.
    static constexpr int c_iStopDeadlineMs = 1800;

    // Blocks SIGTERM and SIGINT for the calling thread and every thread it starts later, so
    // only the stopper's own thread receives them. Call before any other thread exists.
    static void BlockStopSignals();

    // Starts the thread that waits for a stop signal and then calls requestStop.
    explicit ServiceStopper(std::function<void()> requestStop);
    // Tells the stopper the orderly stop is complete and joins its thread.
    ~ServiceStopper();

    // Called by main when it has finished stopping on its own.
    void StopFinished();

private:
    void WaitForSignal();

    std::function<void()> m_requestStop;
    std::mutex m_mutex;
    // Guards m_bFinished, signalled when main has joined its workers.
    std::condition_variable m_cvFinished;
    bool m_bFinished = false;
    std::thread m_thread;
};
