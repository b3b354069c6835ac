// What the service's end-to-end tests share: the running service binary, a network printer
// on a loopback address answering the status request, and polling helpers.
#pragma once

#include "ChildProcess.h"
#include "SuiteRoot.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ServiceE2e {

// Polls the condition every 50 ms; true as soon as it holds.
bool WaitFor(const std::function<bool()>& condition, int iTimeoutMs);

QByteArray ReadFile(const std::string& strPath);
bool FileExists(const std::string& strPath);
// Inode of the file (a rewrite by rename gives a new one); 0 when missing.
unsigned long InodeOf(const std::string& strPath);

// The queue names of the published printer list, in order.
QStringList PublishedQueues();

// A status record of a printer in the given state, with a network head.
QByteArray MakeNetworkRecord(uint8_t byStatusCode);

// vornT905Service started from the suite root's bin/, killed at the end if still running.
class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    bool Start();
    pid_t Pid() const { return m_pid; }
    bool IsAlive() const;
    // Status workers running now (Qt names their threads "QThread").
    int WorkerThreads() const;
    // Sends the signal; the exit status when the process ended within the time, else -1.
    int SignalAndWait(int iSignal, int iTimeoutMs);

private:
    pid_t m_pid = -1;
};

// A network printer on ADDRESS:9300: counts status and cancel requests and answers status
// requests with the configured reply (none when empty).
class UdpPrinter {
public:
    explicit UdpPrinter(const std::string& strAddress);
    ~UdpPrinter();
    bool IsReady() const { return m_iFd >= 0; }
    void SetReply(const QByteArray& baReply);
    int StatusRequests() const { return m_iStatusRequests.load(); }
    int CancelRequests() const { return m_iCancelRequests.load(); }
    QList<QByteArray> CancelDatagrams() const;

private:
    void Serve();

    int m_iFd = -1;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_iStatusRequests{0};
    std::atomic<int> m_iCancelRequests{0};
    // Guards m_baReply and m_listCancel.
    mutable std::mutex m_mutex;
    QByteArray m_baReply;
    QList<QByteArray> m_listCancel;
    std::thread m_thread;
};

} // namespace ServiceE2e
