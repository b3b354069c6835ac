// The scanner's command protocol on top of the usbfs layer: 8-byte command headers on the bulk OUT
// endpoint, flagged replies and data records on the bulk IN endpoint. Every command returns a
// SANE_Status number, or a negative usbfs result passed through unchanged.
#pragma once

#include "usbfs.h"

#include <cstdint>
#include <vector>

struct tagSettingInfo;  // the client's scan parameters, defined in commDef.h
typedef struct tagSettingInfo SettingInfo;

// Header of every command and every reply (little-endian, byte-packed):
//   0 cmdStart 0x1B | 1 cmdClass | 2 cmdCode | 3 subCmdCode | 4-5 dataSize (bytes after the header)
//   6 flags (0x80 in commands, result flag in replies) | 7 reserved (ADF status in its reply)
#pragma pack(push, 1)
struct ReqCommon {
    uint8_t cmdStart;
    uint8_t cmdClass;
    uint8_t cmdCode;
    uint8_t subCmdCode;
    uint16_t dataSize;
    uint8_t flags;
    uint8_t reserved;
};
typedef ReqCommon ResCommon;

// The lock command: header with dataSize 47, then the scan parameters.
struct ReqScanLock {
    ReqCommon header;
    uint8_t depth;
    uint8_t compressionMode;
    uint8_t compressionLevel;
    uint8_t filter;
    uint32_t width;
    uint32_t height;
    uint32_t xOffset;
    uint32_t yOffset;
    uint16_t xResolution;
    uint16_t yResolution;
    uint8_t scanSource;
    uint8_t duplex;
    uint8_t mirror;
    bool negative;
    bool useColorDropout;
    uint8_t colorDropoutRed;
    uint8_t colorDropoutBlue;
    uint8_t colorDropoutGreen;
    uint8_t colorDropoutThreshold;
    bool backgroundRemoval;
    uint8_t backgroundRemovalParam;
    bool edit;
    uint8_t descreen;
    uint8_t brightness;
    uint8_t contrast;
    uint8_t originalDocumentSource;
    uint8_t sharpen;
    uint8_t colorTemperature;
    uint8_t colorSaturation;
    bool useColorBalance;
    uint8_t colorBalanceRed;
    uint8_t colorBalanceBlue;
    uint8_t colorBalanceGreen;
};

struct ResScanPowerOnCommand {
    ResCommon header;
    uint8_t timeToScan;  // warm-up time in seconds
};

struct ResScanGetScanSize {
    ResCommon header;
    uint8_t mumOfList;
};

// A data record (cmdCode 0x02). The fields from status on are counted in dataSize; the image
// bytes it announces (dataSize - 23) follow in separate transfers.
struct ResScanRecord {
    ResCommon header;
    uint8_t status;  // ScanStatus
    uint8_t flip;
    uint8_t split;
    uint32_t width;
    uint32_t height;
    uint32_t xOffset;
    uint32_t yOffset;
    uint32_t tmp;
};
#pragma pack(pop)

static_assert(sizeof(ReqCommon) == 8, "command header is 8 bytes");
static_assert(sizeof(ReqScanLock) == 55, "lock command is 55 bytes");
static_assert(sizeof(ResScanRecord) == 31, "data record is the header and 23 record bytes");

// The first 24 bytes of the device-properties reply, passed to the client as they stand.
struct ResScanDeviceProperties {
    ResCommon header;
    uint8_t majorVersion;
    uint8_t minorVersion;
    bool customStr;
    uint8_t compression;
    uint8_t boundery24;
    uint8_t boundery8;
    uint8_t alignment1[2];
    uint32_t supportProcessing;
    uint16_t deviceCaps;
    uint8_t sources;
    uint8_t alignment2;
};
static_assert(sizeof(ResScanDeviceProperties) == 24, "device properties record is 24 bytes");

enum ScanSource {
    SCAN_SOURCE_AUTO = 0,
    SCAN_SOURCE_FLATBED_SINGLE_PAGE = 1,
    SCAN_SOURCE_FLATBED_MULTI_PAGE = 2,
    SCAN_SOURCE_ADF_MULTI_PAGE = 3,
    SCAN_SOURCE_ADF_SINGLE_PAGE = 4,
};

// Which command a reply belongs to; decides time-outs and how flags 0x88/0x89 read.
enum CommandType {
    CMD_TYPE_SCAN_START = 0,
    CMD_TYPE_SCAN_DEVICE_PROPERTIES = 1,
    CMD_TYPE_SCAN_ADF_STATUS = 2,
    CMD_TYPE_SCAN_LOCK = 3,
    CMD_TYPE_SCAN_UNLOCK = 4,
    CMD_TYPE_SCAN_GET_SCAN_SIZES = 5,
    CMD_TYPE_SCAN_ABORT = 6,
    CMD_TYPE_SCAN_POWER_ON_COMMAND = 7,
    CMD_TYPE_SCAN_RECORD = 8,
};

// Size of the per-process reply buffer m_ResComBuf: a reply whose header and data exceed it is refused.
constexpr int c_scanReplyBufferSize = 200;
// Bytes of a data record counted in its dataSize before the image bytes begin.
constexpr int c_scanRecordFieldsSize = 23;

// The lock command's bytes for the client's scan parameters.
ReqScanLock BuildScanLockRequest(const SettingInfo& info);

// Sends a command; 0, 9 when the write failed, 3 when nothing was written.
int RequestScanner(int dev, const void* command, int size);
// Reads the reply to a command of `type` into the reply buffer, skipping stale data records and a
// stale abort reply; returns the converted flag, 3 for an empty read, 10 for an oversize reply.
int ResponseScanner(int dev, CommandType type);
// Maps a reply's result flag to a SANE_Status number.
int ConvertResponseFlagToErrorCode(uint8_t flag, CommandType type);

int ScanStart(int dev);
int ScanDeviceProperties(int dev, ResScanDeviceProperties* pDevProp);
int ScanADFStatus(int dev, int* status);  // status: ADFStatus
int ScanLock(int dev, const SettingInfo* pSettingInfo);
int ScanUnlock(int dev);
int ScanGetScanSizes(int dev);
// Sends the abort, then resets the device whatever the send gave; returns the send's result.
int ScanAbort(int dev);
int ScanPowerOn(int dev);

// Reads one data record. scanStatus receives the record's ScanStatus; for a record with image
// bytes, buffer grows to hold them (never shrinks) and readSize is their count. A record without
// image bytes gives readSize 0, and one that carries nothing (an empty read, dataSize 0) also
// status 0 (SCAN_STATUS_OPERATION_CONTINUOUS), so a caller never sees the last record's page
// marker or data twice. Returns 0 to go on, 5 at the end of data, 2 on an abort, another
// SANE_Status number on failure (9 for a data record too short to hold its fields).
int ScanRecord(int dev, int& scanStatus, std::vector<unsigned char>& buffer, uint16_t& readSize);

// A scanner whose record reads come back empty this many times in a row (each after the
// record time-out) has stopped answering.
constexpr int c_maxSilentRecordReads = 3;
// As above, for the reads of one scan: silentReads counts the empty reads in a row across calls
// (start it at 0) and the scan ends with 9 once it reaches c_maxSilentRecordReads.
int ScanRecord(int dev, int& scanStatus, std::vector<unsigned char>& buffer, uint16_t& readSize, int& silentReads);

// Reads exactly dwBytesToRead bytes in up to 10 bulk reads; 0, or 9 when they do not arrive.
int ReadWithRetry(int fd, unsigned char* lpBuffer, uint32_t dwBytesToRead);
