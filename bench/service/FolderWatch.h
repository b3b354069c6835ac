// Wakes the service benchmark when a file in a folder is written or replaced, so that it can
// time status file changes without polling and without adding load of its own.
#pragma once

#include <string>

namespace ServiceBench {

class FolderWatch {
public:
    explicit FolderWatch(const std::string& strFolder);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool IsReady() const { return m_iFd >= 0; }

    // Waits until some file in the folder was written or renamed into it, or the time is up;
    // false on time-out. Collects every event that is already queued.
    bool WaitForChange(int iTimeoutMs);

private:
    int m_iFd = -1;
};

} // namespace ServiceBench
