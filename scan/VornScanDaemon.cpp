// The listener and the command loop of each connection process.
#include "VornScanDaemon.h"

#include "daemonHelper.h"
#include "scanConnection.h"
#include "scanFiles.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The largest request record (USBReopenDevReq).
constexpr size_t kMaxRequestSize = sizeof(USBReopenDevReq);
constexpr int kStopPollMs = 20;

using CommandHandler = void (*)(stConnectionState&, const unsigned char*);

struct stCommand {
    scanCommandType code;
    size_t requestSize;
    // Logged when the request record arrives short; may use the received count (%d).
    const char* receiveError;
    CommandHandler run;
};

constexpr const char* kDevicePropertiesReceiveError = "[VornScanSDK] recv ScanDevicePropertiesReq err";

constexpr stCommand kCommands[] = {
    {USB_FIND_DEV, sizeof(USBFindDevReq), "[VornScanSDK] recv FindDevReq err", CmdUsbFindDev},
    {USB_OPEN_DEV, sizeof(USBCommonReq), "[VornScanSDK] recv OpenDevReq err", CmdUsbOpenDev},
    {USB_CLOSE_DEV, sizeof(USBCommonReq), "[VornScanSDK] recv CloseDevReq err", CmdUsbCloseDev},
    {USB_CLEAR_DEV, sizeof(USBClearDevEpReq), "[VornScanSDK] recv ClearDevEpReq err", CmdUsbClearDev},
    {USB_RESET_DEVEP, sizeof(USBResetDevEpReq), "[VornScanSDK] recv ResetDevEpReq err", CmdUsbResetDevEp},
    {USB_SCAN_START, sizeof(USBCommonReq), "[VornScanSDK] recv ScanStartReq err", CmdUsbScanStart},
    {USB_SCAN_ABORT, sizeof(USBScanAbortReq), "[VornScanSDK] recv ScanAbortReq err", CmdUsbScanAbort},
    {USB_SCAN_LOCK, sizeof(USBScanLockReq), "[VornScanSDK] recv ScanLockReq err", CmdUsbScanLock},
    {USB_SCAN_UNLOCK, sizeof(USBCommonReq), "[VornScanSDK] recv ScanUnlockReq err", CmdUsbScanUnlock},
    {USB_SCAN_ADFSTATUS, sizeof(USBCommonReq), "[VornScanSDK] recv ScanAdfStatusReq err", CmdUsbScanAdfStatus},
    {USB_SCAN_POWERON, sizeof(USBCommonReq), "[VornScanSDK] recv ScanPowerOnReq err", CmdUsbScanPowerOn},
    {USB_SCAN_GETSIZES, sizeof(USBCommonReq), "[VornScanSDK] recv ScanGetSizesReq err", CmdUsbScanGetSizes},
    {USB_SCAN_DEVPROPERTIES, sizeof(USBCommonReq), kDevicePropertiesReceiveError, CmdUsbScanDevProperties},
    {TCP_SEND_OSL, sizeof(TCPOSLReq), kDevicePropertiesReceiveError, CmdTcpSendOsl},
    {TCP_SCAN_START, sizeof(TCPScanStartReq), "[VornScanSDK] recv ScanStartReq err len:%d", CmdTcpScanStart},
    {TCP_SCAN_ABORT, sizeof(TCPScanAbortReq), "[VornScanSDK] recv TCPScanAbortReq err", CmdTcpScanAbort},
    {TCP_SCAN_ADFST, sizeof(TCPCommonReq), kDevicePropertiesReceiveError, CmdTcpScanAdfStatus},
    {TCP_SCAN_DEVPROPERTIES, sizeof(TCPCommonReq), kDevicePropertiesReceiveError, CmdTcpScanDevProperties},
    {USB_REOPEN_DEV, sizeof(USBReopenDevReq), "[VornScanSDK] recv USBReopenDevReq err", CmdUsbReopenDev},
    {CMD_DELETE_FILE, sizeof(CmdDeleteFileReq), "[VornScanSDK] recv CmdDeleteFileReq err", CmdDeleteFile},
};

const stCommand* FindCommand(int32_t code)
{
    for (const stCommand& command : kCommands) {
        if (command.code == code)
            return &command;
    }
    return nullptr;
}

// A short reopen request still gets its reply, so a waiting client is not left hanging.
void ReplyToShortReopen(const stConnectionState& state)
{
    const USBReopenDevRes reply {SANE_STATUS_IO_ERROR, -1};
    vorn_SendReply(state, &reply, sizeof reply, kVornReopenReplySendError);
}

void ServeCommand(stConnectionState& state, int32_t code)
{
    const stCommand* command = FindCommand(code);
    if (command == nullptr) {
        vorn_log_err("[VornScanSDK] undefined scanCommandType %d", code);
        return;
    }
    unsigned char request[kMaxRequestSize];
    const ssize_t received = recv(state.clientFd, request, command->requestSize, 0);
    if (received != static_cast<ssize_t>(command->requestSize)) {
        vorn_log_err(command->receiveError, static_cast<int>(received));
        if (code == USB_REOPEN_DEV)
            ReplyToShortReopen(state);
        return;
    }
    command->run(state, request);
}

int CreateListener()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A restart must not wait for connections of the previous daemon in TIME_WAIT.
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    vorn_log_err("[VornScanSDK] bind port:%d", kVornScanDaemonPort);
    // Clients run on this computer; the daemon is not reachable from the network.
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kVornScanDaemonPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        vorn_log_err("[VornScanSDK] bind err");
        exit(1);
    }
    if (listen(fd, kVornScanListenBacklog) != 0) {
        vorn_log_err("[VornScanSDK] listen err");
        exit(1);
    }
    return fd;
}

// Waits until fd is readable, a stop signal arrives or timeoutMs pass: 1, 0 on time-out, -1
// with errno (EINTR for a signal).
int WaitReadable(int fd, int timeoutMs)
{
    pollfd entry {fd, POLLIN, 0};
    const timespec timeout {timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const sigset_t mask = vorn_WaitMask();
    return ppoll(&entry, 1, &timeout, &mask);
}

// SIGCHLD only has to interrupt the listener's wait, so ended connections are counted at once.
void OnChildEnded(int)
{
}

void ReapConnections(std::set<pid_t>& connections)
{
    pid_t pid = 0;
    while ((pid = waitpid(-1, nullptr, WNOHANG)) > 0)
        connections.erase(pid);
}

// SIGTERM: every connection aborts its scan and removes its pages; what does not end in time
// is killed with its data process (each connection leads its own process group).
void StopConnections(std::set<pid_t>& connections, const std::string& scanFolder)
{
    for (pid_t pid : connections)
        kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kVornStopGraceMs);
    ReapConnections(connections);
    while (!connections.empty() && std::chrono::steady_clock::now() < deadline) {
        usleep(kStopPollMs * 1000);
        ReapConnections(connections);
    }
    for (pid_t pid : connections)
        kill(-pid, SIGKILL);
    for (pid_t pid : connections)
        waitpid(pid, nullptr, 0);
    connections.clear();
    vorn_RemoveOrphanPages(scanFolder, connections);
}

int MillisecondsUntil(std::chrono::steady_clock::time_point when)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

} // namespace

void vorn_ServeClient(int clientFd, const std::string& scanFolder, const stDaemonLimits& limits)
{
    stConnectionState state;
    state.clientFd = clientFd;
    state.scanFolder = scanFolder;
    const int pid = static_cast<int>(getpid());
    // A client that sends part of a command and stalls must not hold its receive forever.
    const timeval receiveTimeout {limits.idleTimeoutMs / 1000, (limits.idleTimeoutMs % 1000) * 1000};
    setsockopt(clientFd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
    while (g_bVornRun) {
        const int ready = WaitReadable(clientFd, limits.idleTimeoutMs);
        if (ready == 0) {
            // Reading a long scan's records is not idleness.
            if (vorn_DataProcessRunning(state))
                continue;
            vorn_log_info("[VornScanSDK] pid:%d idle, closing", pid);
            break;
        }
        if (ready < 0 && errno == EINTR)
            continue;
        int32_t code = 0;
        const ssize_t received = ready < 0 ? -1 : recv(clientFd, &code, sizeof code, MSG_WAITALL);
        vorn_ReapDataProcesses();
        // Part of a code and then silence (or a close) is a client that is gone or broken.
        if (received < static_cast<ssize_t>(sizeof code))
            break;
        vorn_log_info("[VornScanSDK] pid:%d recv scanCommandType %d", pid, code);
        ServeCommand(state, code);
    }
    vorn_log_info("[VornScanSDK] pid:%d DISCONNECT FROM SERVER", pid);
    vorn_EndConnection(state);
}

void vorn_RunConnectionProcess(int clientFd, const std::string& scanFolder, const stDaemonLimits& limits)
{
    // Its own process group, so a stop can kill it together with its data process.
    setpgid(0, 0);
    // Data processes are reaped here, not ignored, so an abort never signals a reused pid.
    signal(SIGCHLD, SIG_DFL);
    VornReopenDbg(scanFolder);
    vorn_ServeClient(clientFd, scanFolder, limits);
    close(clientFd);
    _exit(0);
}

int mainProc(const std::string& scanFolder, const stDaemonLimits& limits)
{
    vorn_BlockSignalsOutsideWaits();
    signal(SIGCHLD, OnChildEnded);
    VornInitDbg(scanFolder);
    const int listener = CreateListener();
    if (listener < 0) {
        vorn_log_err("[VornScanSDK] bind err");
        exit(1);
    }
    std::set<pid_t> connections;
    // Pages left by a daemon that ended without cleaning up belong to nobody now.
    vorn_RemoveOrphanPages(scanFolder, connections);
    auto nextSweep = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.sweepPeriodMs);
    bool refusalLogged = false;
    while (g_bVornRun) {
        ReapConnections(connections);
        if (std::chrono::steady_clock::now() >= nextSweep) {
            vorn_RemoveOrphanPages(scanFolder, connections);
            nextSweep = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.sweepPeriodMs);
        }
        const int ready = WaitReadable(listener, MillisecondsUntil(nextSweep));
        if (ready < 0 && errno == EINTR && g_bVornRun)
            continue;  // a connection ended
        if (ready == 0)
            continue;
        const int client = ready < 0 ? -1 : accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            vorn_log_err("[VornScanSDK] accept err");
            continue;
        }
        ReapConnections(connections);
        if (static_cast<int>(connections.size()) >= limits.maxConnections) {
            if (!refusalLogged)
                vorn_log_err("[VornScanSDK] too many connections (%d), refusing new ones", limits.maxConnections);
            refusalLogged = true;
            close(client);
            continue;
        }
        refusalLogged = false;
        const int flags = fcntl(client, F_GETFL);
        fcntl(client, F_SETFL, flags & ~O_NONBLOCK);
        const pid_t pid = fork();
        if (pid < 0) {
            vorn_log_err("[VornScanSDK] fork pro err");
            close(client);
            continue;
        }
        if (pid == 0) {
            close(listener);
            vorn_RunConnectionProcess(client, scanFolder, limits);
        }
        // Also here, so a stop that follows at once already finds the group.
        setpgid(pid, pid);
        connections.insert(pid);
        vorn_log_info("[VornScanSDK] new conn pid:%d", static_cast<int>(pid));
        close(client);
    }
    vorn_log_info("[VornScanSDK] parent pro exit");
    close(listener);
    if (g_iVornStopSignal == SIGTERM)
        StopConnections(connections, scanFolder);
    return 0;
}
