// Network scanner protocol: the HTTP job form, abort, capability and ADF pages on port 80 and
// the length-prefixed XML attribute queries on port 5000 (the data stream on port 2080 has its
// own parser, tcpDataStream.h). Every operation returns a SANE_Status number.
#pragma once

#include "commDef.h"
#include "tcpDataStream.h"

#include <string>
#include <vector>

constexpr int kScannerHttpPort = 80;
constexpr int kScannerDataPort = 2080;
constexpr int kScannerAttributePort = 5000;
constexpr int kScannerSocketTimeoutSeconds = 5;
// Every reply of the scanner is read into a buffer of this size; a longer one is a failure.
constexpr int kScannerReplyBufferSize = 8192;
// The job form names this address where a host address is expected; the scanner ignores it.
constexpr const char* kJobPlaceholderAddress = "10.10.10.10";

// Result code in the scanner's job reply.
enum ResultScanPost {
    RESULT_SUCCESS = 0,
    RESULT_BADFIELD = 1,
    RESULT_DEVICEBUSY = 91,
};

enum ScanSourceNet {
    SCAN_SOURCE_ADF = 0,
    SCAN_SOURCE_FLATBED = 7,
};

// Entries of the scan job form, in the order they are sent.
enum TmpNumPostCmd {
    eScanType,
    eAdvContrast,
    eBackgroundRemoval,
    eCompression,
    eContrast,
    eDarkness,
    eDepth,
    eDocSource,
    eEdgeToEdge,
    eIpAddress,
    eJpegQuality,
    eKeepAlive,
    eName,
    eOrientation,
    eResolution,
    eScanSource,
    eSharpness,
    eStartNow,
    eTcpPort,
    eType,
    eSinglePage,
    eCustomWidth,
    eCustomHeight,
    eOffsetX,
    eOffsetY,
    eNumPostCmd
};

struct LSP_POST_CMD {
    char szKey[256];
    char szValue[256];
};

// Connects to ip:port with 5-second send and receive time-outs; the descriptor or -1.
int vorn_init_tcp(const char* ip, int port);
void vorn_close_tcp(int fd);
// Receives exactly len bytes in up to 4 receives; 0 when they all arrived, else -1.
int vorn_tcp_recv_with_retry(int fd, void* buffer, int len);
// The computer's first non-loopback IPv4 address of an up, broadcast and multicast interface.
int GetHostIPAddress(char* buffer, size_t size);

// The 25 form entries for the client's scan parameters.
void vorn_FillScanPostCmd(const SettingInfo& info, LSP_POST_CMD (&cmds)[eNumPostCmd]);
// "key=value&" for every entry, empty values and the last "&" included.
std::string vorn_BuildScanForm(const SettingInfo& info);
// The POST request for a form body, to the job page or the ADF status page.
std::string vorn_BuildNetscanPost(const std::string& body, const char* host);
std::string vorn_BuildAdfStatusPost(const std::string& body, const char* host);
std::string vorn_BuildCapabilitiesGet(const char* host);
std::string vorn_BuildOslQuery(int type);

// Status from the RESULT line of a job reply: 0, 3 for a busy scanner, 4 for anything else.
int vorn_http_ScanStartResult(const char* reply);
// Sends the job, opens the data connection (stored in tcpFromScanner) and skips the job header.
int vorn_http_ScanStart(VornSocket* sock, const SettingInfo* info);
int vorn_http_ScanAbort(VornSocket* sock);
int vorn_http_DeviceProperties(const VornSocket& sock, ScannerCapabilities* caps);
int vorn_ParseScanCapabilities(ScannerCapabilities* caps, const char* reply);
int vorn_SetScanCapabilities(ScannerCapabilities* caps, const char* key, const char* value);
// ADF state from the last byte of the ADF status page; status is left alone when that byte is unknown.
int vorn_ParseAdfStatus(const char* reply, size_t length, int* status);
int vorn_http_adfstatus(const VornSocket& sock, int* status);
// Attribute query; on success reply holds exactly the scanner's reply body.
int vorn_send_osl(const VornSocket& sock, std::vector<char>& reply, int type);
