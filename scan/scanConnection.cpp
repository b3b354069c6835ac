// Per-connection helpers: replies, base names and the life of the scan data process.
#include "scanConnection.h"

#include "daemonHelper.h"
#include "commDef.h"
#include "scanFiles.h"
#include "tcpcommanddef.h"
#include "usbcommanddef.h"

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kExtraSendAttempts = 10;

} // namespace

ssize_t serverTcpSendWithRetry(int fd, const void* buffer, size_t n, int flags)
{
    const char* bytes = static_cast<const char*>(buffer);
    size_t sent = 0;
    for (int attempt = 0; attempt <= kExtraSendAttempts && sent < n; ++attempt) {
        const ssize_t count = send(fd, bytes + sent, n - sent, flags | MSG_NOSIGNAL);
        if (count > 0)
            sent += count;
    }
    return sent == n ? static_cast<ssize_t>(n) : -1;
}

bool vorn_SendReply(const stConnectionState& state, const void* reply, size_t size, const char* sendError)
{
    if (serverTcpSendWithRetry(state.clientFd, reply, size, 0) == static_cast<ssize_t>(size))
        return true;
    vorn_log_err("%s", sendError);
    return false;
}

std::string vorn_NextBaseName(stConnectionState& state)
{
    return vorn_ScanBaseName(state.scanFolder, static_cast<int>(getpid()), state.filename_index++);
}

void vorn_StartDataProcess(stConnectionState& state, const std::string& baseName, enScanTransport transport,
                           const ScanRecordReader& readRecord, const StartReplySender& sendStartReply)
{
    // Records and the start reply share the client stream; the pipe keeps the reply first.
    int release[2];
    if (pipe2(release, O_CLOEXEC) != 0) {
        vorn_log_err("[VornScanSDK] create data proc err");
        sendStartReply(SANE_STATUS_NO_MEM);
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(release[1]);
        char go = 0;
        const ssize_t released = read(release[0], &go, 1);
        close(release[0]);
        if (released == 1) {
            VornReopenDbg(state.scanFolder);
            vorn_RunScanDataLoop(state.clientFd, baseName, transport, readRecord);
        }
        _exit(0);
    }
    close(release[0]);
    if (pid < 0) {
        vorn_log_err("[VornScanSDK] create data proc err");
        close(release[1]);
        sendStartReply(SANE_STATUS_NO_MEM);
        return;
    }
    state.dataProcPid = pid;
    sendStartReply(SANE_STATUS_GOOD);
    const char go = 1;
    ssize_t ignored = write(release[1], &go, 1);
    (void)ignored;
    close(release[1]);
}

void vorn_StopDataProcess(stConnectionState& state)
{
    if (state.dataProcPid <= 0)
        return;
    // The process stays a zombie until reaped here, so its pid cannot have been reused.
    if (waitpid(state.dataProcPid, nullptr, WNOHANG) == 0) {
        kill(state.dataProcPid, SIGKILL);
        waitpid(state.dataProcPid, nullptr, 0);
    }
    state.dataProcPid = 0;
}

void vorn_ReapDataProcesses()
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

bool vorn_DataProcessRunning(const stConnectionState& state)
{
    return state.dataProcPid > 0 && waitpid(state.dataProcPid, nullptr, WNOHANG) == 0;
}

void vorn_EndConnection(stConnectionState& state)
{
    const bool scanRunning = vorn_DataProcessRunning(state);
    vorn_StopDataProcess(state);
    if (scanRunning && state.lastScanTransport == enScanTransport::Tcp) {
        VornSocket sock = state.lastTcpScanner;
        sock.tcpFromScanner = state.dataConnectionFd;
        vorn_http_ScanAbort(&sock);
        state.dataConnectionFd = sock.tcpFromScanner;
    }
    for (int devfd : state.lockedDevices) {
        if (scanRunning && state.lastScanTransport == enScanTransport::Usb)
            ScanAbort(devfd);
        ScanUnlock(devfd);
    }
    state.lockedDevices.clear();
    vorn_RemoveConnectionPages(state.scanFolder, getpid());
}
