// Base of every worker object of the printing side: the started and quit flags and a sleep
// that a stop request cuts short.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>

class UtilThreadBase : public QObject {
    Q_OBJECT
public:
    // Sleep slice: a stop request is noticed within this time.
    static constexpr int c_iSleepSliceMs = 500;

    explicit UtilThreadBase(QObject* parent = nullptr);

    // Sleeps ms in slices; true as soon as a stop was requested.
    bool WaitForSleep(int ms);

    static bool MakePathExist(const QString& strPath);

    // Returns once the worker's loop has been left, at once when it never ran. Call it after
    // the worker's thread has ended and before deleting the worker: taking the loop's lock
    // orders everything the loop did before the deletion, also for checking tools that cannot
    // see inside the thread library.
    void WaitForLoopEnd();

public slots:
    // Safe from any thread: a worker inside its loop never services its event queue, so the
    // flag is stored directly rather than through a queued call.
    void SlotThreadQuit();

protected:
    // Touched only under m_mutexLoop, by the thread that runs the worker's loop.
    bool m_bTaskStarted = false;
    std::atomic<bool> m_bQuit{false};
    // Held by the worker's own thread for as long as its loop runs (and while it checks
    // m_bTaskStarted).
    std::mutex m_mutexLoop;
};
