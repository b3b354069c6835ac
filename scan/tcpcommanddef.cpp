// Network scanner protocol: job form, abort, capability, ADF and attribute queries, each over
// its own short-lived TCP connection.
#include "tcpcommanddef.h"

#include "socketIo.h"

#include "daemonHelper.h"
#include "logText.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <new>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kExactReceiveAttempts = 4;
constexpr int kJobReplyReceives = 10;
constexpr int kOslReplyReceives = 10;
constexpr int kDataConnectRetries = 10;
constexpr useconds_t kDataConnectPauseMicros = 500 * 1000;
constexpr useconds_t kFailedReceivePauseMicros = 1;
constexpr size_t kLoginNameSize = 256;
constexpr const char* kLoopbackAddress = "127.0.0.1";
constexpr const char* kResultKey = "RESULT";
constexpr const char* kResultKeyWithEquals = "RESULT=";

constexpr const char* kPostHead =
    "User-Agent: HttpScanConnection\r\n%s%s\r\n%s";
constexpr const char* kCommonPostHeaders =
    "Connection: Keep-Alive\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n"
    "Accept: text/html, image/gif, image/jpeg, *;q=.2, */*; q=.2\r\n";
constexpr const char* kNetscanPostLine = "POST /netscan/post HTTP/1.1\r\n";
constexpr const char* kAdfStatusPostLine = "POST /cgi-bin/dynamic/printer/netscan/adfStatus.html HTTP/1.1\r\n";
constexpr const char* kCapabilitiesGet =
    "GET /netscan/capabilites HTTP/1.1\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
    "User-Agent: Jav/1.6.0_18\r\n%s\r\nConnection: Keep-Alive\r\n"
    "Accept: text/html, image/gif, image/jpeg, *;q=.2, */*; q=.2\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n\n";
constexpr const char* kAbortBody = "SCANTYPE=4";
constexpr const char* kAdfStatusBody = "GETADFSTATUS";
constexpr const char* kOslFormat =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<method name=\"getAttribute\" requestID=\"%d\">\r\n"
    "  <arg name=\"objName\">%s</arg>\r\n"
    "  <arg name=\"attribName\">%s</arg>\r\n"
    "</method>\r\n";

struct stOslQuery {
    const char* objName;
    const char* attribName;
    int requestId;
};
constexpr stOslQuery kOslQueries[] = {
    {"system", "familyType", 10001},
    {"mfp.profileFactory", "getList", 10002},
    {"mfp.scanner", "summary", 10003},
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? length : 0, '\0');
    if (length > 0)
        vsnprintf(text.data(), length + 1, format, args);
    va_end(args);
    return text;
}

// The client's address field need not be terminated; never read past it.
std::string ScannerAddress(const VornSocket& sock)
{
    return std::string(sock.szScannerIP, strnlen(sock.szScannerIP, sizeof sock.szScannerIP));
}

std::string HostAddress()
{
    char address[kVornIpTextSize] = {};
    if (GetHostIPAddress(address, sizeof address) != 0)
        address[0] = '\0';
    return address;
}

// Receives one reply of up to kScannerReplyBufferSize bytes: until the buffer is full, the
// scanner closes, or the receive time-out passes.
int ReceiveReply(int fd, std::string& reply)
{
    reply.assign(kScannerReplyBufferSize, '\0');
    const ssize_t received = recv(fd, reply.data(), kScannerReplyBufferSize, MSG_WAITALL);
    if (received <= 0) {
        reply.clear();
        return -1;
    }
    reply.resize(received);
    return 0;
}

// One request and its reply on a fresh port-80 connection; the failure texts differ per page.
int HttpExchange(const VornSocket& sock, const std::string& request, std::string& reply)
{
    const int fd = vorn_init_tcp(ScannerAddress(sock).c_str(), kScannerHttpPort);
    if (fd < 0)
        return SANE_STATUS_IO_ERROR;
    if (!vorn_send_all(fd, request.data(), request.size())) {
        vorn_log_err("[VornScanSDK] send msg error: %s(errno: %d)", strerror(errno), errno);
        vorn_close_tcp(fd);
        return SANE_STATUS_IO_ERROR;
    }
    const int received = ReceiveReply(fd, reply);
    vorn_close_tcp(fd);
    if (received != 0) {
        vorn_log_err("[VornScanSDK] recv error");
        return SANE_STATUS_IO_ERROR;
    }
    return SANE_STATUS_GOOD;
}

// The part of an HTTP reply after its first empty line, or null when it has none.
const char* HttpBody(const char* reply)
{
    const char* separator = strstr(reply, "\r\n\r\n");
    return separator ? separator + 4 : nullptr;
}

// Calls visit(key, value) for every "key=value" line of a body; lines end at CR or LF.
template <typename Visitor>
void ForEachPair(const char* body, Visitor visit)
{
    const char* line = body;
    while (*line != '\0') {
        const size_t length = strcspn(line, "\r\n");
        const char* equals = static_cast<const char*>(memchr(line, '=', length));
        if (equals != nullptr) {
            const std::string key(line, equals - line);
            const std::string value(equals + 1, line + length - (equals + 1));
            visit(key, value);
        }
        line += length;
        line += strspn(line, "\r\n");
    }
}

bool ParseDecimal(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = strtol(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

uint32_t DecimalOrZero(const char* text)
{
    return static_cast<uint32_t>(strtoul(text, nullptr, 10));
}

std::string Decimal(unsigned value)
{
    return std::to_string(value);
}

void SetEntry(LSP_POST_CMD& cmd, const char* key, const std::string& value)
{
    snprintf(cmd.szKey, sizeof cmd.szKey, "%s", key);
    snprintf(cmd.szValue, sizeof cmd.szValue, "%s", value.c_str());
}

std::string LoginName()
{
    char name[kLoginNameSize] = {};
    if (getlogin_r(name, sizeof name) != 0)
        name[0] = '\0';
    return name;
}

// The common head of every form POST, then length, host and body.
std::string BuildPost(const char* requestLine, const std::string& body, const char* host)
{
    const std::string length = Format("Content-Length: %d\r\n", static_cast<int>(body.size()));
    const std::string hostLine = Format("Host: %s\r\n", host);
    return requestLine + std::string(kCommonPostHeaders)
        + Format(kPostHead, length.c_str(), hostLine.c_str(), body.c_str());
}

} // namespace

int vorn_init_tcp(const char* ip, int port)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        vorn_log_err("[VornScanSDK] create socket error: %s(errno: %d)", strerror(errno), errno);
        return -1;
    }
    timeval timeout {kScannerSocketTimeoutSeconds, 0};
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) {
        vorn_log_err("[VornScanSDK] setsockopt SO_SNDTIMEO error: %s(errno: %d)", strerror(errno), errno);
        close(fd);
        return -1;
    }
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        vorn_log_err("[VornScanSDK] setsockopt SO_RCVTIMEO error: %s(errno: %d)", strerror(errno), errno);
        close(fd);
        return -1;
    }
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, ip, &address.sin_addr) != 1) {
        errno = EINVAL;
        vorn_log_err("[VornScanSDK] connect error: %s(errno: %d)", strerror(errno), errno);
        close(fd);
        return -1;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        vorn_log_err("[VornScanSDK] connect error: %s(errno: %d)", strerror(errno), errno);
        close(fd);
        return -1;
    }
    return fd;
}

void vorn_close_tcp(int fd)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    if (fd >= 0)
        close(fd);
}

int vorn_tcp_recv_with_retry(int fd, void* buffer, int len)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    char* bytes = static_cast<char*>(buffer);
    int received = 0;
    for (int attempt = 0; attempt < kExactReceiveAttempts && received < len; ++attempt) {
        const ssize_t count = recv(fd, bytes + received, len - received, MSG_WAITALL);
        if (count > 0)
            received += count;
        else if (count == 0)
            break;  // the scanner closed: nothing more will come
    }
    return received == len ? 0 : -1;
}

int GetHostIPAddress(char* buffer, size_t size)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        vorn_log_err("[VornScanSDK] getifaddrs fail");
        return -1;
    }
    constexpr unsigned kWantedFlags = IFF_UP | IFF_RUNNING | IFF_BROADCAST | IFF_MULTICAST;
    int result = -1;
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & kWantedFlags) != kWantedFlags)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text, sizeof text);
        if (strcmp(text, kLoopbackAddress) == 0)
            continue;
        if (strlen(text) >= size) {
            vorn_log_err("[VornScanSDK] szHostIpAddress size over");
        } else {
            memcpy(buffer, text, strlen(text) + 1);
            result = 0;
        }
        break;
    }
    freeifaddrs(list);
    return result;
}

void vorn_FillScanPostCmd(const SettingInfo& info, LSP_POST_CMD (&cmds)[eNumPostCmd])
{
    const bool jpeg = info.compType == COMPRESSION_JPEG;
    const char* depth = info.bitDepth == 1 ? "other" : info.bitDepth == 8 ? "8" : "24";
    SetEntry(cmds[eScanType], "SCANTYPE", "2");
    SetEntry(cmds[eAdvContrast], "ADVCONTRAST", Decimal(info.ContrastParam));
    SetEntry(cmds[eBackgroundRemoval], "BACKGROUNDREMOVAL",
             info.backgroundRemoval != 0 ? Decimal(info.backgroundRemovalParam) : "");
    SetEntry(cmds[eCompression], "COMPRESSION", "JPEG");
    SetEntry(cmds[eContrast], "CONTRAST", "MIXED");
    SetEntry(cmds[eDarkness], "DARKNESS", Decimal(info.BrightnessParam));
    SetEntry(cmds[eDepth], "DEPTH", depth);
    SetEntry(cmds[eDocSource], "DOCSOURCE", "0");
    SetEntry(cmds[eEdgeToEdge], "EDGETOEDGE", "0");
    SetEntry(cmds[eIpAddress], "IPADDRESS", kJobPlaceholderAddress);
    SetEntry(cmds[eJpegQuality], "JPEGQUALITY", jpeg ? "70" : "");
    SetEntry(cmds[eKeepAlive], "KEEPALIVE", "0");
    SetEntry(cmds[eName], "NAME", LoginName());
    SetEntry(cmds[eOrientation], "ORIENTATION", "PORTRAIT");
    SetEntry(cmds[eResolution], "RESOLUTION", Decimal(info.xResolution));
    SetEntry(cmds[eScanSource], "SCANSOURCE", Decimal(info.feederEnabled ? SCAN_SOURCE_ADF : SCAN_SOURCE_FLATBED));
    SetEntry(cmds[eSharpness], "SHARPNESS", "0");
    SetEntry(cmds[eStartNow], "START_NOW", "1");
    SetEntry(cmds[eTcpPort], "TCPPORT", Decimal(kScannerDataPort));
    SetEntry(cmds[eType], "TYPE", jpeg ? "JPEG" : "RAW");
    SetEntry(cmds[eSinglePage], "SINGLEPAGE", info.feederEnabled && info.isClient == 0 ? "TRUE" : "");
    SetEntry(cmds[eCustomWidth], "CUSTOM_WIDTH", Decimal(info.width));
    SetEntry(cmds[eCustomHeight], "CUSTOM_HEIGHT", Decimal(info.height));
    SetEntry(cmds[eOffsetX], "OFFSETX", Decimal(info.xStart));
    SetEntry(cmds[eOffsetY], "OFFSETY", Decimal(info.yStart));
}

std::string vorn_BuildScanForm(const SettingInfo& info)
{
    LSP_POST_CMD cmds[eNumPostCmd] = {};
    vorn_FillScanPostCmd(info, cmds);
    std::string body;
    for (const LSP_POST_CMD& cmd : cmds)
        body += Format("%s=%s&", cmd.szKey, cmd.szValue);
    return body;
}

std::string vorn_BuildNetscanPost(const std::string& body, const char* host)
{
    return BuildPost(kNetscanPostLine, body, host);
}

std::string vorn_BuildAdfStatusPost(const std::string& body, const char* host)
{
    return BuildPost(kAdfStatusPostLine, body, host);
}

std::string vorn_BuildCapabilitiesGet(const char* host)
{
    return Format(kCapabilitiesGet, Format("Host: %s\r\n", host).c_str());
}

std::string vorn_BuildOslQuery(int type)
{
    const stOslQuery& query = kOslQueries[type];
    return Format(kOslFormat, query.requestId, query.objName, query.attribName);
}

int vorn_http_ScanStartResult(const char* reply)
{
    const char* body = HttpBody(reply);
    if (body == nullptr)
        return SANE_STATUS_GOOD;
    int status = SANE_STATUS_GOOD;
    bool seen = false;
    ForEachPair(body, [&](const std::string& key, const std::string& value) {
        if (seen || key != kResultKey)
            return;
        seen = true;
        long code = -1;
        if (!ParseDecimal(value, code))
            status = SANE_STATUS_INVAL;
        else if (code == RESULT_SUCCESS)
            status = SANE_STATUS_GOOD;
        else if (code == RESULT_DEVICEBUSY)
            status = SANE_STATUS_DEVICE_BUSY;
        else
            status = SANE_STATUS_INVAL;
    });
    return status;
}

int vorn_http_ScanStart(VornSocket* sock, const SettingInfo* info)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    const std::string request = vorn_BuildNetscanPost(vorn_BuildScanForm(*info), kJobPlaceholderAddress);
    vorn_tcp_CloseDataConnection(sock);
    vorn_log_info("[VornScanSDK] %s", request.c_str());

    const std::string scanner = ScannerAddress(*sock);
    const int http = vorn_init_tcp(scanner.c_str(), kScannerHttpPort);
    if (http < 0) {
        vorn_log_err("[VornScanSDK] vorn_init_tcp 80 ERR");
        return SANE_STATUS_IO_ERROR;
    }
    if (!vorn_send_all(http, request.data(), request.size())) {
        vorn_log_err("[VornScanSDK] send vorn_http_ScanStart msg error: %s(errno: %d)", strerror(errno), errno);
        vorn_close_tcp(http);
        return SANE_STATUS_IO_ERROR;
    }

    std::string reply(kScannerReplyBufferSize, '\0');
    size_t used = 0;
    bool complete = false;
    for (int receives = 0; receives < kJobReplyReceives && !complete; ++receives) {
        // One byte stays free so the reply is always a terminated text.
        const size_t room = kScannerReplyBufferSize - 1 - used;
        if (room == 0)
            break;
        const ssize_t count = recv(http, reply.data() + used, room, 0);
        if (count <= 0) {
            usleep(kFailedReceivePauseMicros);
            continue;
        }
        used += count;
        vorn_log_err("[VornScanSDK] %s", vorn_LogText(reply.c_str(), used).c_str());
        complete = strstr(reply.c_str(), kResultKeyWithEquals) != nullptr;
    }
    if (!complete) {
        vorn_close_tcp(http);
        vorn_log_err("[VornScanSDK] recv vorn_http_ScanStart error");
        return SANE_STATUS_DEVICE_BUSY;
    }
    const int result = vorn_http_ScanStartResult(reply.c_str());
    if (result != SANE_STATUS_GOOD) {
        vorn_log_err("[VornScanSDK] parse vorn_http_ScanStartResult error");
        vorn_close_tcp(http);
        return result;
    }

    int data = vorn_init_tcp(scanner.c_str(), kScannerDataPort);
    for (int retry = 0; data < 0; ++retry) {
        // The scanner opens its data port a moment after accepting the job.
        usleep(kDataConnectPauseMicros);
        if (retry == kDataConnectRetries)
            break;
        data = vorn_init_tcp(scanner.c_str(), kScannerDataPort);
    }
    if (data < 0) {
        vorn_log_err("[VornScanSDK] vorn_init_tcp 2080 error");
        vorn_close_tcp(http);
        return SANE_STATUS_IO_ERROR;
    }
    sock->tcpFromScanner = data;

    const int header = vorn_tcp_SkipHeader(data, kJobHeaderSize, kJobHeaderDigitsOffset);
    vorn_close_tcp(http);
    if (header != SANE_STATUS_GOOD) {
        vorn_tcp_CloseDataConnection(sock);
        return SANE_STATUS_IO_ERROR;
    }
    return SANE_STATUS_GOOD;
}

int vorn_http_ScanAbort(VornSocket* sock)
{
    const std::string request = vorn_BuildNetscanPost(kAbortBody, HostAddress().c_str());
    vorn_tcp_CloseDataConnection(sock);
    std::string reply;
    const int result = HttpExchange(*sock, request, reply);
    if (result == SANE_STATUS_GOOD)
        vorn_log_info("[VornScanSDK] vorn_http_ScanAbort Received : %s ", vorn_LogText(reply).c_str());
    return result;
}

int vorn_SetScanCapabilities(ScannerCapabilities* caps, const char* key, const char* value)
{
    if (strcmp(key, "DUPLEX") == 0)
        caps->duplex = strcmp(value, "true") == 0;
    else if (strcmp(key, "COLOR") == 0)
        caps->color = strcmp(value, "COLOR") == 0;
    else if (strcmp(key, "MINRES") == 0)
        caps->minres = DecimalOrZero(value);
    else if (strcmp(key, "MAXRES") == 0)
        caps->maxres = DecimalOrZero(value);
    else if (strcmp(key, "WIDTH_FORMAT") == 0)
        caps->width_format = DecimalOrZero(value);
    else if (strcmp(key, "FAMILY") == 0)
        caps->family = DecimalOrZero(value);
    else if (strcmp(key, "PERMPROFILES") == 0)
        caps->permprofiles = strcmp(value, "true") == 0;
    else if (strcmp(key, "PROFILE") == 0)
        caps->profile = strcmp(value, "DISABLED") != 0;
    else if (strcmp(key, "MAX_WIDTH") == 0)
        caps->maxWidth = DecimalOrZero(value);
    else if (strcmp(key, "MAX_HEIGHT") == 0)
        caps->maxHeight = DecimalOrZero(value);
    else if (strcmp(key, "BASIC_RESOLUTION") == 0)
        caps->basicres = DecimalOrZero(value);
    return 0;
}

int vorn_ParseScanCapabilities(ScannerCapabilities* caps, const char* reply)
{
    const char* body = HttpBody(reply);
    if (body == nullptr)
        return 0;
    vorn_log_info("[VornScanSDK] vorn_ParseScanCapabilities \n%s\n", vorn_LogText(body, strlen(body)).c_str());
    ForEachPair(body, [&](const std::string& key, const std::string& value) {
        vorn_log_info("[VornScanSDK] %s:%s", vorn_LogText(key).c_str(), vorn_LogText(value).c_str());
        vorn_SetScanCapabilities(caps, key.c_str(), value.c_str());
    });
    return 0;
}

int vorn_http_DeviceProperties(const VornSocket& sock, ScannerCapabilities* caps)
{
    *caps = ScannerCapabilities {};
    std::string reply;
    const int result = HttpExchange(sock, vorn_BuildCapabilitiesGet(HostAddress().c_str()), reply);
    if (result != SANE_STATUS_GOOD)
        return result;
    return vorn_ParseScanCapabilities(caps, reply.c_str());
}

int vorn_ParseAdfStatus(const char* reply, size_t length, int* status)
{
    const char last = length > 0 ? reply[length - 1] : '\0';
    switch (last) {
    case '1':
        vorn_log_info("[VornScanSDK] ADF_STATUS_EMPTY");
        *status = ADF_STATUS_EMPTY;
        break;
    case '2':
        vorn_log_info("[VornScanSDK] ADF_STATUS_LOADED");
        *status = ADF_STATUS_LOADED;
        break;
    case '3':
        vorn_log_info("[VornScanSDK] ADF_STATUS_PAPER_JAM");
        *status = ADF_STATUS_PAPER_JAM;
        break;
    default:
        vorn_log_err("[VornScanSDK] ADF status is invalid or not supported");
        break;
    }
    return SANE_STATUS_GOOD;
}

int vorn_http_adfstatus(const VornSocket& sock, int* status)
{
    const std::string request = vorn_BuildAdfStatusPost(kAdfStatusBody, HostAddress().c_str());
    std::string reply;
    const int result = HttpExchange(sock, request, reply);
    if (result != SANE_STATUS_GOOD)
        return result;
    vorn_log_info("[VornScanSDK] vorn_http_adfstatus Received : \n%s \n", vorn_LogText(reply).c_str());
    return vorn_ParseAdfStatus(reply.data(), reply.size(), status);
}

int vorn_send_osl(const VornSocket& sock, std::vector<char>& reply, int type)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    reply.clear();
    if (type < OSL_CMD_FAMILYTYPE || type > OSL_CMD_SUMMARY)
        return SANE_STATUS_INVAL;
    const std::string query = vorn_BuildOslQuery(type);
    const int fd = vorn_init_tcp(ScannerAddress(sock).c_str(), kScannerAttributePort);
    if (fd < 0)
        return SANE_STATUS_IO_ERROR;

    // Length prefix and text go out as one message.
    std::string message(4, '\0');
    const uint32_t length = htonl(static_cast<uint32_t>(query.size()));
    memcpy(message.data(), &length, 4);
    message += query;
    if (!vorn_send_all(fd, message.data(), message.size())) {
        vorn_log_err("[VornScanSDK] send vorn_send_osl msg error: %s(errno: %d)", strerror(errno), errno);
        vorn_close_tcp(fd);
        return SANE_STATUS_IO_ERROR;
    }
    uint32_t announced = 0;
    if (vorn_tcp_recv_with_retry(fd, &announced, sizeof announced) != 0) {
        vorn_log_err("[VornScanSDK] recv vorn_send_osl error");
        vorn_close_tcp(fd);
        return SANE_STATUS_IO_ERROR;
    }
    announced = ntohl(announced);
    if (announced > static_cast<uint32_t>(kScannerReplyBufferSize)) {
        vorn_close_tcp(fd);
        return SANE_STATUS_IO_ERROR;
    }
    std::vector<char> body(announced);
    size_t received = 0;
    for (int receives = 0; receives < kOslReplyReceives && received < announced; ++receives) {
        const ssize_t count = recv(fd, body.data() + received, announced - received, 0);
        if (count < 0) {
            vorn_log_err("[VornScanSDK] recv vorn_send_osl error");
            vorn_close_tcp(fd);
            return SANE_STATUS_IO_ERROR;
        }
        if (count == 0)
            break;
        received += count;
    }
    vorn_close_tcp(fd);
    if (received < announced)
        return SANE_STATUS_IO_ERROR;
    reply = std::move(body);
    return SANE_STATUS_GOOD;
}
