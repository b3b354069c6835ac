// Client commands for network scanners. The data connection a scan start opens belongs to
// this connection process; a descriptor number the client sends back is never used.
#include "scanConnection.h"

#include "commDef.h"
#include "daemonHelper.h"
#include "scanFiles.h"
#include "tcpcommanddef.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

// The client's scanner address with the data connection this process owns.
VornSocket OwnSocket(const stConnectionState& state, const VornSocket& requested)
{
    VornSocket sock = requested;
    sock.tcpFromScanner = state.dataConnectionFd;
    return sock;
}

void SendStartReply(const stConnectionState& state, int result, int dataFd, const std::string& baseName)
{
    TCPScanStartRes reply {};
    reply.result = result;
    reply.socketDataFd = dataFd;
    snprintf(reply.fileName, sizeof reply.fileName, "%s", baseName.c_str());
    vorn_SendReply(state, &reply, sizeof reply, kVornStartReplySendError);
}

} // namespace

void CmdTcpSendOsl(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<TCPOSLReq>(request);
    std::vector<char> body;
    const int result = vorn_send_osl(req.socket, body, req.type);
    const TCPOSLRes reply {result, static_cast<int32_t>(body.size())};
    if (!vorn_SendReply(state, &reply, sizeof reply, kVornDevicePropertiesSendError))
        return;
    if (!body.empty())
        vorn_SendReply(state, body.data(), body.size(), kVornDevicePropertiesSendError);
}

void CmdTcpScanStart(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<TCPScanStartReq>(request);
    VornSocket sock = OwnSocket(state, req.socket);
    int result = vorn_http_ScanStart(&sock, &req.info);
    state.dataConnectionFd = sock.tcpFromScanner;
    const std::string baseName = vorn_NextBaseName(state);
    if (result == SANE_STATUS_GOOD) {
        state.lastScanTransport = enScanTransport::Tcp;
        state.lastTcpScanner = req.socket;
        // Lives in the data process only, which owns its copy of the data connection.
        std::vector<unsigned char> buffer;
        const ScanRecordReader readRecord = [sock, &buffer](int& status, const unsigned char*& data,
                                                           size_t& size) mutable {
            int readSize = 0;
            const int recordResult = vorn_tcp_ScanRecord(&sock, status, buffer, readSize);
            data = buffer.data();
            size = readSize;
            return recordResult;
        };
        vorn_StartDataProcess(state, baseName, enScanTransport::Tcp, readRecord, [&](int started) {
            result = started;
            SendStartReply(state, started, sock.tcpFromScanner, baseName);
        });
    } else {
        SendStartReply(state, result, sock.tcpFromScanner, baseName);
    }
    vorn_log_info("[VornScanSDK] tcp scanstart main process exit:%d pid:%d", result, static_cast<int>(getpid()));
}

void CmdTcpScanAbort(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<TCPScanAbortReq>(request);
    // Stopped first: once the scanner drops the stream, the data process would send the
    // client a failure record in the middle of the abort's reply.
    vorn_StopDataProcess(state);
    VornSocket sock = OwnSocket(state, req.socket);
    const int32_t result = vorn_http_ScanAbort(&sock);
    state.dataConnectionFd = sock.tcpFromScanner;
    deleteFileList(state.scanFolder, req.fileName);
    vorn_SendReply(state, &result, sizeof result, "[VornScanSDK] send TCPScanAbortReq err");
}

void CmdTcpScanAdfStatus(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<TCPCommonReq>(request);
    TCPADFStatusRes reply {};
    int status = 0;
    reply.result = vorn_http_adfstatus(req.socket, &status);
    reply.st = status;
    vorn_SendReply(state, &reply, sizeof reply, kVornDevicePropertiesSendError);
}

void CmdTcpScanDevProperties(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<TCPCommonReq>(request);
    TCPDevPropertiesRes reply {};
    reply.result = vorn_http_DeviceProperties(req.socket, &reply.devPro);
    vorn_SendReply(state, &reply, sizeof reply, kVornDevicePropertiesSendError);
}

void CmdDeleteFile(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<CmdDeleteFileReq>(request);
    vorn_DeleteScanFile(state.scanFolder, req.fileName);
}
