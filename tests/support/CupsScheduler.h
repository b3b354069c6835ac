// A throwaway CUPS scheduler for end-to-end tests: private copies of the CUPS folders laid
// over the real ones, a real cupsd as a child of the test, and real queues and jobs made with
// the CUPS tools.
#pragma once

#include "ChildProcess.h"
#include "ScopedBindMount.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace VornTest {

class CupsScheduler {
public:
    // Prepares fresh folders (no queues, no jobs) over /etc/cups, /usr/lib/cups/backend,
    // /run/cups, /var/spool/cups, /var/cache/cups and /var/log/cups. Does not start cupsd.
    CupsScheduler();
    // Stops cupsd (if running) and takes the folders away.
    ~CupsScheduler();
    CupsScheduler(const CupsScheduler&) = delete;
    CupsScheduler& operator=(const CupsScheduler&) = delete;

    bool IsReady() const { return m_bReady; }

    // Starts "cupsd -f" and waits until "lpstat -r" says it is running. Queues added before
    // a Stop are still there after the next Start.
    bool Start();
    // SIGTERM, then waits for cupsd to end; it saves its configuration on the way out.
    bool Stop();
    // SIGSTOP and SIGCONT: while frozen the scheduler still accepts connections (the kernel
    // queues them) but answers nothing, like a hung one.
    bool Freeze();
    bool Thaw();
    // Asks "lpstat -r", as the programs under test would.
    bool IsRunning() const;

    // "lpadmin -p NAME -E -v URI -P PPD" with a PPD naming strModelName (see TestPpd.h).
    bool AddQueue(const std::string& strName, const std::string& strUri, const std::string& strModelName);
    bool RemoveQueue(const std::string& strName);
    bool SetQueueUri(const std::string& strName, const std::string& strUri);

    // Prints the bytes as a raw job ("lp -o raw -d QUEUE FILE") as the given user (empty:
    // root); returns the job id, e.g. "Q-1", or "" when CUPS refused it.
    std::string SubmitRawJob(const std::string& strQueue, const std::string& strContent,
                             const std::string& strUser = std::string());
    // "cancel ID" as the given user (empty: root).
    bool CancelJob(const std::string& strJobId, const std::string& strUser = std::string());

    // "lpstat -W all -l -o QUEUE" under the given LANG (empty: the caller's).
    std::string JobListing(const std::string& strQueue, const std::string& strLang = std::string()) const;
    // Polls the job listing until it contains the text; false after the time-out.
    bool WaitForJobListing(const std::string& strQueue, const std::string& strText, int iTimeoutMs = 5000) const;

    // Runs a CUPS tool (or anything else) in the private world; for checks the helpers above
    // do not cover.
    stToolResult Run(const std::vector<std::string>& listArgv, const stToolOptions& options = stToolOptions()) const;

    // What went wrong last: the failing tool's error output, or the fixture's own message.
    const std::string& LastError() const { return m_strLastError; }
    // The scheduler's error log and standard error, to print when a test fails.
    std::string Diagnostics() const;

    // URIs the private scheduler accepts. A "vornsocket" queue's jobs stay printing until
    // they are cancelled: the backend stand-in reads the job and then waits.
    static std::string UsbUri(const std::string& strModelCode, const std::string& strSerial);
    static std::string SocketUri(const std::string& strHost, int iPort = 9100);
    static std::string VornSocketUri(const std::string& strHost);

private:
    bool PrepareConfiguration();
    bool PrepareBackends();
    bool PrepareStateFolders();
    bool RunAdmin(const std::vector<std::string>& listArgv, const stToolOptions& options = stToolOptions());

    std::string m_strScratch;
    std::vector<ScopedBindMount> m_listMounts;
    bool m_bReady = false;
    pid_t m_pidCupsd = -1;
    int m_iFileCounter = 0;
    std::string m_strLastError;
};

} // namespace VornTest
