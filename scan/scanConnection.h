// State of one client's connection process and the command handlers that use it.
#pragma once

#include "commDef.h"
#include "scanDataProcess.h"

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <sys/types.h>

struct stConnectionState {
    int clientFd = -1;
    std::string scanFolder;
    // Pid of the most recent scan data process, 0 when none.
    pid_t dataProcPid = 0;
    // Counter of scan base names; each scan start takes the next.
    int filename_index = 0;
    // Device descriptors this connection opened; a client may name only these as devfd.
    std::set<int> openDevices;
    // Those on which this connection's scan lock succeeded: the only devices it may reset,
    // since a device that locked is a scanner and the client is using it.
    std::set<int> lockedDevices;
    // Network data connection opened by this connection's last scan start, -1 when none.
    int dataConnectionFd = -1;
    // The last scan started and, for a network scan, its scanner: what to abort when the
    // client leaves in the middle of it.
    enScanTransport lastScanTransport = enScanTransport::Usb;
    VornSocket lastTcpScanner {};
};

// The request record, copied out of the receive buffer (which has no alignment).
template <typename Record>
Record vorn_RequestAs(const unsigned char* request)
{
    Record record;
    memcpy(&record, request, sizeof record);
    return record;
}

// Sends all n bytes, with at most 10 further attempts after the first; n, or -1.
ssize_t serverTcpSendWithRetry(int fd, const void* buffer, size_t n, int flags);

// Send errors that USB and network commands share.
constexpr const char* kVornStartReplySendError = "[VornScanSDK] send ScanStartReq result err";
constexpr const char* kVornDevicePropertiesSendError = "[VornScanSDK] send ScanDevicePropertiesRes err";
constexpr const char* kVornReopenReplySendError = "[VornScanSDK] send USBReopenDevRes err";

// Sends a reply; logs sendError (to the error log) when it cannot be sent.
bool vorn_SendReply(const stConnectionState& state, const void* reply, size_t size, const char* sendError);

// Takes the next base name of this connection's page files.
std::string vorn_NextBaseName(stConnectionState& state);
// Sends the start reply with the given result.
using StartReplySender = std::function<void(int result)>;

// Forks the scan data process and sends the start reply (result 0, or 10 when the fork failed,
// logged); the data process sends its first record only after that reply.
void vorn_StartDataProcess(stConnectionState& state, const std::string& baseName, enScanTransport transport,
                           const ScanRecordReader& readRecord, const StartReplySender& sendStartReply);
// Kills the current scan data process, if it still runs.
void vorn_StopDataProcess(stConnectionState& state);
// Collects data processes that have ended on their own.
void vorn_ReapDataProcesses();
// True while the current scan data process still runs.
bool vorn_DataProcessRunning(const stConnectionState& state);

// What a connection leaves behind when its client is gone: a scan still running is stopped and
// aborted at the scanner, every scanner it locked is unlocked, its page files are removed.
void vorn_EndConnection(stConnectionState& state);

// Each handler gets the request record exactly as received and sends its own reply.
void CmdUsbFindDev(stConnectionState& state, const unsigned char* request);
void CmdUsbOpenDev(stConnectionState& state, const unsigned char* request);
void CmdUsbCloseDev(stConnectionState& state, const unsigned char* request);
void CmdUsbClearDev(stConnectionState& state, const unsigned char* request);
void CmdUsbResetDevEp(stConnectionState& state, const unsigned char* request);
void CmdUsbScanStart(stConnectionState& state, const unsigned char* request);
void CmdUsbScanAbort(stConnectionState& state, const unsigned char* request);
void CmdUsbScanLock(stConnectionState& state, const unsigned char* request);
void CmdUsbScanUnlock(stConnectionState& state, const unsigned char* request);
void CmdUsbScanAdfStatus(stConnectionState& state, const unsigned char* request);
void CmdUsbScanPowerOn(stConnectionState& state, const unsigned char* request);
void CmdUsbScanGetSizes(stConnectionState& state, const unsigned char* request);
void CmdUsbScanDevProperties(stConnectionState& state, const unsigned char* request);
void CmdUsbReopenDev(stConnectionState& state, const unsigned char* request);
void CmdTcpSendOsl(stConnectionState& state, const unsigned char* request);
void CmdTcpScanStart(stConnectionState& state, const unsigned char* request);
void CmdTcpScanAbort(stConnectionState& state, const unsigned char* request);
void CmdTcpScanAdfStatus(stConnectionState& state, const unsigned char* request);
void CmdTcpScanDevProperties(stConnectionState& state, const unsigned char* request);
void CmdDeleteFile(stConnectionState& state, const unsigned char* request);
