// Client side of the scan daemon's protocol.
#include "VornScanClient.h"

#include "socketIo.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

VornScanClient::~VornScanClient()
{
    Close();
}

bool VornScanClient::Connect(const char* address, int port, int timeoutSeconds)
{
    Close();
    m_iFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_iFd < 0)
        return false;
    timeval timeout {timeoutSeconds, 0};
    setsockopt(m_iFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(m_iFd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in target {};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address, &target.sin_addr) != 1
        || connect(m_iFd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        Close();
        return false;
    }
    return true;
}

void VornScanClient::Close()
{
    if (m_iFd >= 0)
        close(m_iFd);
    m_iFd = -1;
}

bool VornScanClient::SendRaw(const void* data, size_t size)
{
    return vorn_send_all(m_iFd, data, size);
}

bool VornScanClient::SendCommand(int32_t code, const void* record, size_t size)
{
    // One buffer, so the code and its record leave in one send as the daemon expects them.
    std::string message(reinterpret_cast<const char*>(&code), sizeof code);
    message.append(static_cast<const char*>(record), size);
    return SendRaw(message.data(), message.size());
}

bool VornScanClient::Receive(void* data, size_t size)
{
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t count = recv(m_iFd, bytes, size, 0);
        if (count < 0 && errno == EINTR && m_pInterrupt != nullptr && !*m_pInterrupt)
            continue;
        if (count <= 0)
            return false;
        bytes += count;
        size -= count;
    }
    return true;
}

bool VornScanClient::StaysSilent(int milliseconds)
{
    pollfd entry {m_iFd, POLLIN, 0};
    return poll(&entry, 1, milliseconds) == 0;
}

void VornScanClient::DrainUntilSilent(int quietMs)
{
    char sink[4096];
    while (m_iFd >= 0 && !StaysSilent(quietMs)) {
        if (recv(m_iFd, sink, sizeof sink, 0) <= 0)
            return;
    }
}

bool VornScanClient::FindDevices(int vid, int pid, bool compareWithPid, int32_t& count,
                                 std::vector<USBFindDevRes>& devices)
{
    USBFindDevReq request {};
    request.vid = vid;
    request.pid = pid;
    request.compareWithPID = compareWithPid;
    if (!SendCommand(USB_FIND_DEV, &request, sizeof request) || !Receive(&count, sizeof count))
        return false;
    devices.assign(count > 0 ? count : 0, USBFindDevRes {});
    for (USBFindDevRes& device : devices) {
        if (!Receive(&device, sizeof device))
            return false;
    }
    return true;
}

bool VornScanClient::ResultOf(int32_t code, const void* record, size_t size, int32_t& result)
{
    return SendCommand(code, record, size) && Receive(&result, sizeof result);
}

bool VornScanClient::UsbScanLock(int devfd, const SettingInfo& info, int32_t& result)
{
    USBScanLockReq request {};
    request.devfd = devfd;
    request.info = info;
    return ResultOf(USB_SCAN_LOCK, &request, sizeof request, result);
}

bool VornScanClient::UsbScanStart(int devfd, USBScanStartRes& reply)
{
    const USBCommonReq request {devfd};
    return SendCommand(USB_SCAN_START, &request, sizeof request) && Receive(&reply, sizeof reply);
}

bool VornScanClient::ReadUsbRecord(USBScanRecordRes& record)
{
    return Receive(&record, sizeof record);
}

bool VornScanClient::UsbScanAbort(int devfd, const std::string& baseName, int32_t& result)
{
    USBScanAbortReq request {};
    request.devfd = devfd;
    snprintf(request.fileName, sizeof request.fileName, "%s", baseName.c_str());
    return ResultOf(USB_SCAN_ABORT, &request, sizeof request, result);
}

bool VornScanClient::UsbAdfStatus(int devfd, USBScanAdfStatusRes& reply)
{
    const USBCommonReq request {devfd};
    return SendCommand(USB_SCAN_ADFSTATUS, &request, sizeof request) && Receive(&reply, sizeof reply);
}

bool VornScanClient::UsbDeviceProperties(int devfd, USBScanDevicePropertiesRes& reply)
{
    const USBCommonReq request {devfd};
    return SendCommand(USB_SCAN_DEVPROPERTIES, &request, sizeof request) && Receive(&reply, sizeof reply);
}

VornSocket VornScanClient::SocketFor(const char* scanner)
{
    VornSocket sock {};
    sock.tcpFromScanner = -1;
    snprintf(sock.szScannerIP, sizeof sock.szScannerIP, "%s", scanner);
    return sock;
}

std::string VornScanClient::PageFileName(const std::string& baseName, int page)
{
    return baseName + "_" + std::to_string(page) + ".tmp";
}

bool VornScanClient::TcpScanStart(const char* scanner, const SettingInfo& info, TCPScanStartRes& reply)
{
    TCPScanStartReq request {};
    request.socket = SocketFor(scanner);
    request.info = info;
    return SendCommand(TCP_SCAN_START, &request, sizeof request) && Receive(&reply, sizeof reply);
}

bool VornScanClient::ReadTcpRecord(TCPRecordRes& record)
{
    return Receive(&record, sizeof record);
}

bool VornScanClient::TcpScanAbort(const char* scanner, const std::string& baseName, int32_t& result)
{
    TCPScanAbortReq request {};
    request.socket = SocketFor(scanner);
    snprintf(request.fileName, sizeof request.fileName, "%s", baseName.c_str());
    return ResultOf(TCP_SCAN_ABORT, &request, sizeof request, result);
}

bool VornScanClient::TcpAdfStatus(const char* scanner, TCPADFStatusRes& reply)
{
    const TCPCommonReq request {SocketFor(scanner)};
    return SendCommand(TCP_SCAN_ADFST, &request, sizeof request) && Receive(&reply, sizeof reply);
}

bool VornScanClient::TcpDeviceProperties(const char* scanner, TCPDevPropertiesRes& reply)
{
    const TCPCommonReq request {SocketFor(scanner)};
    return SendCommand(TCP_SCAN_DEVPROPERTIES, &request, sizeof request) && Receive(&reply, sizeof reply);
}

bool VornScanClient::TcpSendOsl(const char* scanner, int type, TCPOSLRes& reply, std::string& body)
{
    const TCPOSLReq request {SocketFor(scanner), type};
    if (!SendCommand(TCP_SEND_OSL, &request, sizeof request) || !Receive(&reply, sizeof reply))
        return false;
    body.assign(reply.bufferLen > 0 ? reply.bufferLen : 0, '\0');
    return body.empty() || Receive(body.data(), body.size());
}

bool VornScanClient::DeleteFile(const std::string& fileName)
{
    CmdDeleteFileReq request {};
    snprintf(request.fileName, sizeof request.fileName, "%s", fileName.c_str());
    return SendCommand(CMD_DELETE_FILE, &request, sizeof request);
}

bool VornScanClient::RunTcpScan(const char* scanner, const SettingInfo& info, stScanOutcome& outcome)
{
    outcome = stScanOutcome {};
    if (!TcpScanStart(scanner, info, outcome.start))
        return false;
    outcome.lastResult = outcome.start.result;
    if (outcome.start.result != SANE_STATUS_GOOD)
        return true;
    const std::string baseName(outcome.start.fileName, strnlen(outcome.start.fileName, sizeof outcome.start.fileName));
    TCPRecordRes record {};
    do {
        if (!ReadTcpRecord(record))
            return false;
        outcome.records.push_back(record);
        if (record.st == SCAN_STATUS_BEGIN_OF_PAGE)
            outcome.pages.push_back({record.fileIndex, PageFileName(baseName, record.fileIndex), 0});
    } while (record.result == SANE_STATUS_GOOD);
    outcome.lastResult = record.result;
    for (stPage& page : outcome.pages) {
        struct stat info {};
        page.bytes = stat(page.fileName.c_str(), &info) == 0 ? info.st_size : -1;
    }
    return true;
}
