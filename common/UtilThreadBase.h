// Base of every worker object of the printing side: the started and quit flags and a sleep
// that a stop request cuts short.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>

class UtilThreadBase : public QObject {
    Q_OBJECT
public:
    // Sleep slice: a stop request is noticed within this time.
    static constexpr int c_iSleepSliceMs = 500;

    explicit UtilThreadBase(QObject* parent = nullptr);

    // Sleeps ms in slices; true as soon as a stop was requested.
    bool WaitForSleep(int ms);
    bool IsQuitRequested() const { return m_bQuit.load(); }

    static bool MakePathExist(const QString& strPath);

public slots:
    // Safe from any thread: a worker inside its loop never services its event queue, so the
    // flag is stored directly rather than through a queued call.
    void SlotThreadQuit();

protected:
    // Touched only by the thread that runs the worker's loop.
    bool m_bTaskStarted = false;
    std::atomic<bool> m_bQuit{false};
};
