// Client protocol of the scan daemon: command codes, status values and the raw records a scan
// front-end exchanges with VornScanDaemon over TCP port 7001. Records travel as native
// little-endian memory images, so every size and offset below is part of the wire format.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sane/sane.h>

#include "usbcommanddef.h"  // ResScanDeviceProperties

// Install tree folder that holds scanned pages and the daemon's two logs.
constexpr const char* kVornScanFolder = "/opt/vorn/vorn-printer-t905/scan";
// The folder a daemon creates, and its logs and page files: readable by the desktop user's
// client, writable only by the daemon, whatever the umask.
constexpr unsigned kVornScanFolderMode = 0755;
constexpr unsigned kVornScanFileMode = 0644;
constexpr int kVornScanDaemonPort = 7001;
constexpr int kVornScanListenBacklog = 20;
constexpr size_t kVornFileNameSize = 256;
constexpr size_t kVornDescriptorStringSize = 1024;
constexpr size_t kVornIpTextSize = 16;

enum scanCommandType : int32_t {
    USB_FIND_DEV = 0,
    USB_OPEN_DEV = 1,
    USB_CLOSE_DEV = 2,
    USB_CLEAR_DEV = 3,
    USB_RESET_DEVEP = 4,
    USB_SCAN_START = 5,
    USB_SCAN_ABORT = 6,
    USB_SCAN_LOCK = 7,
    USB_SCAN_UNLOCK = 8,
    USB_SCAN_ADFSTATUS = 9,
    USB_SCAN_POWERON = 10,
    USB_SCAN_GETSIZES = 11,
    USB_SCAN_DEVPROPERTIES = 12,
    TCP_SEND_OSL = 13,
    TCP_SCAN_START = 14,
    TCP_SCAN_ABORT = 15,
    TCP_SCAN_ADFST = 16,
    TCP_SCAN_DEVPROPERTIES = 17,
    USB_REOPEN_DEV = 18,
    CMD_DELETE_FILE = 19,
};

// Status of one scan data record; 6 is not used by the scanners.
enum ScanStatus : int32_t {
    SCAN_STATUS_OPERATION_CONTINUOUS = 0,
    SCAN_STATUS_END_OF_DATA = 1,
    SCAN_STATUS_ABORTED_OUT_OF_MEMORY = 2,
    SCAN_STATUS_ABORTED_BY_REQUEST = 3,
    SCAN_STATUS_ABORTED_BY_DEVICE = 4,
    SCAN_STATUS_ABORTED_PAPER_JAM = 5,
    SCAN_STATUS_END_OF_PAGE = 7,
    SCAN_STATUS_BEGIN_OF_SCAN = 8,
    SCAN_STATUS_BEGIN_OF_PAGE = 9,
};

enum ADFStatus : int32_t {
    ADF_STATUS_EMPTY = 1,
    ADF_STATUS_LOADED = 2,
    ADF_STATUS_PAPER_JAM = 3,
};

enum CompressionType : int32_t {
    COMPRESSION_NONE = 0,
    COMPRESSION_WICKED = 1,
    COMPRESSION_JPEG = 2,
};

// Attribute queries a network scanner answers on its attribute port.
enum OSL_CMD_TYPE : int32_t {
    OSL_CMD_FAMILYTYPE = 0,
    OSL_CMD_GETLIST = 1,
    OSL_CMD_SUMMARY = 2,
};

// Scan parameters chosen by the client (36 bytes).
//   0 bitDepth | 4 compType | 8 width | 12 height | 16 xStart | 20 yStart | 24 xResolution
//   26 yResolution | 28 feederEnabled | 29 backgroundRemoval | 30 backgroundRemovalParam
//   31 BrightnessParam | 32 ContrastParam | 33 isClient | 34-35 padding
typedef struct tagSettingInfo {
    uint8_t bitDepth;
    int32_t compType;
    uint32_t width;
    uint32_t height;
    uint32_t xStart;
    uint32_t yStart;
    uint16_t xResolution;
    uint16_t yResolution;
    // A one-byte flag (non-zero: on). Not bool: a client may send any byte value there.
    uint8_t feederEnabled;
    uint8_t backgroundRemoval;
    uint8_t backgroundRemovalParam;
    uint8_t BrightnessParam;
    uint8_t ContrastParam;
    uint8_t isClient;
} SettingInfo;

// Handle of a network scanner: the open data connection and the scanner's dotted IPv4 address.
struct VornSocket {
    int32_t tcpFromScanner;
    char szScannerIP[kVornIpTextSize];
};

// What a network scanner's capability page tells the client (36 bytes).
typedef struct tagScannerCapabilities {
    bool duplex;
    bool color;
    uint32_t minres;
    uint32_t maxres;
    uint32_t width_format;
    uint32_t family;
    bool permprofiles;
    bool profile;
    uint32_t maxWidth;
    uint32_t maxHeight;
    uint32_t basicres;
} ScannerCapabilities;

// ---- request records (after the 4-byte command code) ----

struct USBFindDevReq {
    int32_t vid;
    int32_t pid;
    uint8_t compareWithPID;  // one-byte flag, as feederEnabled
};

struct USBCommonReq {
    int32_t devfd;
};

struct USBClearDevEpReq {
    int32_t devfd;
    uint32_t ep;
};
typedef USBClearDevEpReq USBResetDevEpReq;

struct USBScanLockReq {
    int32_t devfd;
    SettingInfo info;
};

struct USBScanAbortReq {
    int32_t devfd;
    char fileName[kVornFileNameSize];
};

struct USBReopenDevReq {
    int32_t devfd;
    int32_t vid;
    int32_t pid;
    char SerialNumber[kVornDescriptorStringSize];
};

struct TCPCommonReq {
    VornSocket socket;
};

struct TCPOSLReq {
    VornSocket socket;
    int32_t type;
};

struct TCPScanStartReq {
    VornSocket socket;
    SettingInfo info;
};

struct TCPScanAbortReq {
    VornSocket socket;
    char fileName[kVornFileNameSize];
};

struct CmdDeleteFileReq {
    char fileName[kVornFileNameSize];
};

// ---- reply records ----
// USB replies put the status before the result, network replies the result first.

struct USBFindDevRes {
    int32_t fd;
    int32_t vid;
    int32_t pid;
    char Manufacturer[kVornDescriptorStringSize];
    char Product[kVornDescriptorStringSize];
    char SerialNumber[kVornDescriptorStringSize];
};

struct USBReopenDevRes {
    int32_t ret;
    int32_t fd;
};

struct USBScanStartRes {
    int32_t result;
    char fileName[kVornFileNameSize];
};

struct USBScanRecordRes {
    int32_t st;
    int32_t fileIndex;
    int32_t dataSize;
    int32_t result;
};

struct USBScanAdfStatusRes {
    int32_t st;
    int32_t result;
};

struct USBScanDevicePropertiesRes {
    ResScanDeviceProperties st;
    int32_t result;
};

struct TCPOSLRes {
    int32_t result;
    int32_t bufferLen;
};

struct TCPScanStartRes {
    int32_t result;
    int32_t socketDataFd;
    char fileName[kVornFileNameSize];
};

struct TCPRecordRes {
    int32_t result;
    int32_t bufferLen;
    int32_t fileIndex;
    int32_t st;
};

struct TCPADFStatusRes {
    int32_t result;
    int32_t st;
};

struct TCPDevPropertiesRes {
    int32_t result;
    ScannerCapabilities devPro;
};

// The layout is the wire format: a compiler or edit that moves a field breaks every client.
static_assert(sizeof(bool) == 1 && sizeof(int) == 4, "records assume 1-byte bool and 32-bit int");
static_assert(sizeof(scanCommandType) == 4);
static_assert(sizeof(SettingInfo) == 36);
static_assert(offsetof(SettingInfo, compType) == 4);
static_assert(offsetof(SettingInfo, width) == 8);
static_assert(offsetof(SettingInfo, height) == 12);
static_assert(offsetof(SettingInfo, xStart) == 16);
static_assert(offsetof(SettingInfo, yStart) == 20);
static_assert(offsetof(SettingInfo, xResolution) == 24);
static_assert(offsetof(SettingInfo, yResolution) == 26);
static_assert(offsetof(SettingInfo, feederEnabled) == 28);
static_assert(offsetof(SettingInfo, backgroundRemoval) == 29);
static_assert(offsetof(SettingInfo, backgroundRemovalParam) == 30);
static_assert(offsetof(SettingInfo, BrightnessParam) == 31);
static_assert(offsetof(SettingInfo, ContrastParam) == 32);
static_assert(offsetof(SettingInfo, isClient) == 33);
static_assert(sizeof(VornSocket) == 20);
static_assert(offsetof(VornSocket, szScannerIP) == 4);
static_assert(sizeof(ScannerCapabilities) == 36);
static_assert(offsetof(ScannerCapabilities, color) == 1);
static_assert(offsetof(ScannerCapabilities, minres) == 4);
static_assert(offsetof(ScannerCapabilities, maxres) == 8);
static_assert(offsetof(ScannerCapabilities, width_format) == 12);
static_assert(offsetof(ScannerCapabilities, family) == 16);
static_assert(offsetof(ScannerCapabilities, permprofiles) == 20);
static_assert(offsetof(ScannerCapabilities, profile) == 21);
static_assert(offsetof(ScannerCapabilities, maxWidth) == 24);
static_assert(offsetof(ScannerCapabilities, maxHeight) == 28);
static_assert(offsetof(ScannerCapabilities, basicres) == 32);

static_assert(sizeof(USBFindDevReq) == 12);
static_assert(offsetof(USBFindDevReq, pid) == 4);
static_assert(offsetof(USBFindDevReq, compareWithPID) == 8);
static_assert(sizeof(USBCommonReq) == 4);
static_assert(sizeof(USBClearDevEpReq) == 8);
static_assert(offsetof(USBClearDevEpReq, ep) == 4);
static_assert(sizeof(USBScanLockReq) == 40);
static_assert(offsetof(USBScanLockReq, info) == 4);
static_assert(sizeof(USBScanAbortReq) == 260);
static_assert(offsetof(USBScanAbortReq, fileName) == 4);
static_assert(sizeof(USBReopenDevReq) == 1036);
static_assert(offsetof(USBReopenDevReq, vid) == 4);
static_assert(offsetof(USBReopenDevReq, pid) == 8);
static_assert(offsetof(USBReopenDevReq, SerialNumber) == 12);
static_assert(sizeof(TCPCommonReq) == 20);
static_assert(sizeof(TCPOSLReq) == 24);
static_assert(offsetof(TCPOSLReq, type) == 20);
static_assert(sizeof(TCPScanStartReq) == 56);
static_assert(offsetof(TCPScanStartReq, info) == 20);
static_assert(sizeof(TCPScanAbortReq) == 276);
static_assert(offsetof(TCPScanAbortReq, fileName) == 20);
static_assert(sizeof(CmdDeleteFileReq) == 256);

static_assert(sizeof(USBFindDevRes) == 3084);
static_assert(offsetof(USBFindDevRes, vid) == 4);
static_assert(offsetof(USBFindDevRes, pid) == 8);
static_assert(offsetof(USBFindDevRes, Manufacturer) == 12);
static_assert(offsetof(USBFindDevRes, Product) == 1036);
static_assert(offsetof(USBFindDevRes, SerialNumber) == 2060);
static_assert(sizeof(USBReopenDevRes) == 8);
static_assert(offsetof(USBReopenDevRes, fd) == 4);
static_assert(sizeof(USBScanStartRes) == 260);
static_assert(offsetof(USBScanStartRes, fileName) == 4);
static_assert(sizeof(USBScanRecordRes) == 16);
static_assert(offsetof(USBScanRecordRes, fileIndex) == 4);
static_assert(offsetof(USBScanRecordRes, dataSize) == 8);
static_assert(offsetof(USBScanRecordRes, result) == 12);
static_assert(sizeof(USBScanAdfStatusRes) == 8);
static_assert(offsetof(USBScanAdfStatusRes, result) == 4);
static_assert(sizeof(USBScanDevicePropertiesRes) == 28);
static_assert(offsetof(USBScanDevicePropertiesRes, result) == 24);
static_assert(sizeof(TCPOSLRes) == 8);
static_assert(offsetof(TCPOSLRes, bufferLen) == 4);
static_assert(sizeof(TCPScanStartRes) == 264);
static_assert(offsetof(TCPScanStartRes, socketDataFd) == 4);
static_assert(offsetof(TCPScanStartRes, fileName) == 8);
static_assert(sizeof(TCPRecordRes) == 16);
static_assert(offsetof(TCPRecordRes, bufferLen) == 4);
static_assert(offsetof(TCPRecordRes, fileIndex) == 8);
static_assert(offsetof(TCPRecordRes, st) == 12);
static_assert(sizeof(TCPADFStatusRes) == 8);
static_assert(offsetof(TCPADFStatusRes, st) == 4);
static_assert(sizeof(TCPDevPropertiesRes) == 40);
static_assert(offsetof(TCPDevPropertiesRes, devPro) == 4);
