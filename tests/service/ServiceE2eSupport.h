// What the service's end-to-end tests share: the running service binary, a network printer
// on a loopback address answering the status request, and polling helpers.
#pragma once

#include "ChildProcess.h"
#include "SuiteRoot.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <sys/types.h>

namespace ServiceE2e {

// Polls the condition every 50 ms; true as soon as it holds.
bool WaitFor(const std::function<bool()>& condition, int iTimeoutMs);

QByteArray ReadFile(const std::string& strPath);
bool FileExists(const std::string& strPath);
// Inode of the file (a rewrite by rename gives a new one); 0 when missing.
unsigned long InodeOf(const std::string& strPath);

// The queue names of the published printer list, in order.
QStringList PublishedQueues();

// vornT905Service started from the suite root's bin/, killed at the end if still running.
class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    bool Start();
    pid_t Pid() const { return m_pid; }
    // What it wrote on standard error so far: the lines the system journal would show.
    std::string Journal() const;
    bool IsAlive() const;
    // Status workers running now (Qt names their threads "QThread").
    int WorkerThreads() const;
    // Sends the signal; the exit status when the process ended within the time, else -1.
    int SignalAndWait(int iSignal, int iTimeoutMs);

private:
    pid_t m_pid = -1;
    std::string m_strStderrFile;
};

// The suite's printer simulator (vorn-printer-sim) as a child process: printers from a
// configuration, commands through its control socket, events counted from its event log.
class PrinterSimulator {
public:
    ~PrinterSimulator();
    // Starts it with the configuration lines and waits until it takes commands.
    bool Start(const QStringList& listConfig);
    // One command, e.g. {"silent", "P1", "on"}; true when the simulator answers "ok".
    bool Send(const QStringList& listCommand) const;
    // How many event lines read exactly so, e.g. "cancel P1 udp".
    int Events(const QString& strLine) const;

private:
    std::string m_strFolder;
    pid_t m_pid = -1;
};

// The datagram the simulator sends for a network printer of model VL2120DN named strName in
// the given state (its other values as a new simulated printer has them).
QByteArray SimulatedNetworkReply(const QString& strName, const QString& strAddress, uint8_t byStatusCode);

} // namespace ServiceE2e
