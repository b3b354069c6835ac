// Lets a worker sleep until one file of the service's folder is rewritten, or until its poll
// period ends. Events can be missed and the folder can vanish and come back, so the poll stays
// the rule and the watch only shortens the wait.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

class FolderWatch {
public:
    // Longest single wait: a stop request is noticed within this time.
    static constexpr int c_iSliceMs = 500;

    // Watches nothing until Arm; strFileName is the one name inside strFolder that matters.
    FolderWatch(const QString& strFolder, const QString& strFileName);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Waits up to iMs; true as soon as the file was replaced or rewritten, false when the time
    // ran out or bQuit was set. A missing folder is looked for again on every call.
    bool WaitForChange(int iMs, const std::atomic<bool>& bQuit);

    void SetFileName(const QString& strFileName);
    bool IsWatching() const { return m_iWatch >= 0; }

private:
    void Arm();
    // Drains pending events; true when one named the file.
    bool ReadEvents();

    const QByteArray m_baFolder;
    QByteArray m_baFileName;
    int m_iFd = -1;
    int m_iWatch = -1;
};
