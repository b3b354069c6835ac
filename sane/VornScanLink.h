// How the backend reaches one scanner through the scan daemon: a USB scanner by its ids and
// serial number, or a network scanner by its address. Hides the two record layouts and
// command sets behind one interface, and owns the daemon connection.
#pragma once

#include "VornSaneOptions.h"
#include "VornScanClient.h"

#include <csignal>
#include <memory>
#include <string>

constexpr const char* kVornDaemonAddress = "127.0.0.1";
// Listing waits briefly; a scan waits long enough for a scanner's own time-outs to show first.
constexpr int kVornListTimeoutSeconds = 5;
constexpr int kVornScanTimeoutSeconds = 60;
// After an abort the daemon sends its result and nothing else; this much silence ends the wait.
constexpr int kVornAbortQuietMs = 300;

// One scan data record, whichever transport sent it.
struct stVornRecord {
    int iStatus = 0;     // ScanStatus
    int iFileIndex = 0;  // the page a page-begin record opens
    int iDataSize = 0;   // bytes appended to the page file
    int iResult = 0;     // SANE_Status of the record; non-zero ends the scan
};

class VornScanLink {
public:
    virtual ~VornScanLink() = default;

    // Reads what the scanner can do; fails with the daemon's or the scanner's status.
    virtual SANE_Status Probe(stVornCapabilities& caps) = 0;
    // Starts a scan; baseName names its page files.
    virtual SANE_Status Start(const SettingInfo& info, std::string& baseName) = 0;
    virtual bool ReadRecord(stVornRecord& record) = 0;
    // Stops a running scan: the daemon aborts the scanner and removes the scan's page files.
    virtual void Abort(const std::string& baseName) = 0;
    // The feeder's ADFStatus, or 0 when the scanner does not tell.
    virtual int AdfStatus() = 0;
    // Called once a scan has ended on its own.
    virtual void Finish() {}
    // The resolution the scanner really scans these settings at.
    virtual SANE_Int ScannedDpi(const SettingInfo& info) const { return info.xResolution; }
    // True for transports whose first record opens the first page whatever it says.
    virtual bool FirstRecordBeginsPage() const = 0;

    virtual void DeleteFile(const std::string& fileName);
    // Between scans the daemon sends nothing; a connection with something to read was closed
    // by it (an idle connection, a restart) and is replaced on next use.
    void DropIfClosed();
    void SetInterruptFlag(const volatile sig_atomic_t* flag) { m_pInterrupt = flag; }

protected:
    // The daemon connection, opened on first use and again after an abort closed it.
    VornScanClient* Client();
    void Disconnect();
    // What a transport held on the dropped connection is gone with it.
    virtual void OnDisconnect() {}
    // Aborts end with the connection dropped: records of the killed data process may be cut.
    void DrainAndDisconnect();

private:
    std::unique_ptr<VornScanClient> m_client;
    const volatile sig_atomic_t* m_pInterrupt = nullptr;
};

// Reaches the scan daemon; false (with one message on standard error per process) when it
// does not answer.
bool VornConnectDaemon(VornScanClient& client, int timeoutSeconds);

std::unique_ptr<VornScanLink> VornMakeUsbLink(int vid, int pid, const std::string& serial);
std::unique_ptr<VornScanLink> VornMakeNetworkLink(const std::string& address);
