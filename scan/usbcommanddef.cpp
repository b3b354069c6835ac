// The scanner's command protocol: commands out on bulk OUT, flagged replies and data records back
// on bulk IN, each exchange turned into a SANE_Status number for the daemon's client.
#include "usbcommanddef.h"

#include "commDef.h"
#include "usblog.h"

#include <sane/sane.h>

#include <endian.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

// Header bytes of commands and replies.
constexpr uint8_t c_cmdStart = 0x1B;
constexpr uint8_t c_cmdClassScan = 0x53;   // "S"
constexpr uint8_t c_cmdClassDevice = 0x44; // "D", only for power-on
constexpr uint8_t c_cmdFlagsRequest = 0x80;

constexpr uint8_t c_cmdCodeStart = 0x01;
constexpr uint8_t c_cmdCodeRecord = 0x02;
constexpr uint8_t c_cmdCodeDeviceProperties = 0x03;
constexpr uint8_t c_cmdCodeAdfStatus = 0x04;
constexpr uint8_t c_cmdCodeLock = 0x05;
constexpr uint8_t c_cmdCodeUnlock = 0x06;
constexpr uint8_t c_cmdCodeGetScanSizes = 0x0A;
constexpr uint8_t c_cmdCodeAbort = 0x0F;
constexpr uint8_t c_cmdCodePowerOn = 0x04;

// Reply flags; every other value is unknown and does not fail the command.
constexpr uint8_t c_flagSuccess = 0x80;
constexpr uint8_t c_flagInvalidCommand = 0x81;
constexpr uint8_t c_flagFailed = 0x82;
constexpr uint8_t c_flagLockRequired = 0x83;
constexpr uint8_t c_flagPoweredOff = 0x84;
constexpr uint8_t c_flagCatastrophic = 0x85;
constexpr uint8_t c_flagCommunication = 0x86;
constexpr uint8_t c_flagBusyOrParameter = 0x88;
constexpr uint8_t c_flagNoMemory = 0x89;

// Lock parameters: device depth codes, filter, and the level used with any compression.
constexpr uint8_t c_depthBlackWhite = 1;
constexpr uint8_t c_depthGrey = 2;
constexpr uint8_t c_depthColour = 3;
constexpr uint8_t c_lockFilter = 3;
constexpr uint8_t c_compressionLevelOn = 70;
constexpr uint8_t c_lockDuplex = 1;
// The feeder cannot scan at 1200 dpi; such requests are scanned at 600.
constexpr uint16_t c_feederUnsupportedDpi = 1200;
constexpr uint16_t c_feederFallbackDpi = 600;

constexpr int c_requestTimeout = 5000;
constexpr int c_replyTimeout = 5000;
// The feeder needs time to sense paper before it answers its status.
constexpr int c_adfReplyTimeout = 15000;
constexpr int c_recordTimeout = 30000;
constexpr int c_readAttempts = 10;

// One reply buffer per process; the data process has its own copy after the fork.
unsigned char m_ResComBuf[c_scanReplyBufferSize];

ReqCommon MakeHeader(uint8_t cmdClass, uint8_t cmdCode, uint16_t dataSize = 0)
{
    ReqCommon header{};
    header.cmdStart = c_cmdStart;
    header.cmdClass = cmdClass;
    header.cmdCode = cmdCode;
    header.subCmdCode = 0;
    header.dataSize = htole16(dataSize);
    header.flags = c_cmdFlagsRequest;
    header.reserved = 0;
    return header;
}

bool StartsWith(const unsigned char* reply, uint8_t cmdCode)
{
    return reply[0] == c_cmdStart && reply[1] == c_cmdClassScan && reply[2] == cmdCode;
}

uint16_t DataSizeOf(const unsigned char* reply)
{
    return static_cast<uint16_t>(reply[4] | (reply[5] << 8));
}

int ReadReply(int dev, int timeout)
{
    memset(m_ResComBuf, 0, sizeof m_ResComBuf);
    return vorn_bulk_read(dev, m_ResComBuf, sizeof m_ResComBuf, timeout);
}

// Replies left over from an earlier scan or abort may still sit in the device's queue: reads past them.
int ReadAgainAfterStaleReply(int dev)
{
    int ret = ReadReply(dev, c_replyTimeout);
    if (ret > 0)
        vorn_usb_log(VornUsbLog::Info,
                     "[VornScanSDK] Header type(#2): cmdStart[0x%02X] cmdClass[0x%02X] cmdCode[0x%02X]\n",
                     m_ResComBuf[0], m_ResComBuf[1], m_ResComBuf[2]);
    else
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ResponseScanner(ResCommon) #2 failed. \n");
    return ret;
}

int LogExit(int nRet)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] [exit] nRet[0x%08x]\n", static_cast<unsigned>(nRet));
    return nRet;
}

void LogUnknownFlag(uint8_t flag)
{
    vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] Response flag is unknown [0x%02x]\n", flag);
}

int FailWith(const char* message)
{
    vorn_usb_log(VornUsbLog::Error, "%s\n", message);
    return SANE_STATUS_IO_ERROR;
}

// Sends an 8-byte command and reads its reply.
int ExchangeCommand(int dev, uint8_t cmdClass, uint8_t cmdCode, CommandType type)
{
    ReqCommon command = MakeHeader(cmdClass, cmdCode);
    int ret = RequestScanner(dev, &command, sizeof command);
    if (ret != SANE_STATUS_GOOD)
        return ret;
    return ResponseScanner(dev, type);
}

}  // namespace

ReqScanLock BuildScanLockRequest(const SettingInfo& info)
{
    ReqScanLock lock{};
    lock.header = MakeHeader(c_cmdClassScan, c_cmdCodeLock, sizeof(ReqScanLock) - sizeof(ReqCommon));

    bool blackWhite = info.bitDepth == 1;
    lock.depth = blackWhite ? c_depthBlackWhite : info.bitDepth == 8 ? c_depthGrey : c_depthColour;
    // Black-and-white pages are never compressed by the scanner.
    bool compressed = info.compType == COMPRESSION_WICKED || info.compType == COMPRESSION_JPEG;
    lock.compressionMode = blackWhite ? 0 : static_cast<uint8_t>(info.compType);
    lock.compressionLevel = blackWhite || !compressed ? 0 : c_compressionLevelOn;
    lock.filter = c_lockFilter;

    lock.width = htole32(info.width);
    lock.height = htole32(info.height);
    lock.xOffset = htole32(info.xStart);
    lock.yOffset = htole32(info.yStart);
    uint16_t xResolution = info.xResolution;
    uint16_t yResolution = info.yResolution;
    if (info.feederEnabled && xResolution == c_feederUnsupportedDpi)
        xResolution = yResolution = c_feederFallbackDpi;
    lock.xResolution = htole16(xResolution);
    lock.yResolution = htole16(yResolution);

    if (!info.feederEnabled)
        lock.scanSource = SCAN_SOURCE_FLATBED_SINGLE_PAGE;
    else
        lock.scanSource = info.isClient ? SCAN_SOURCE_ADF_MULTI_PAGE : SCAN_SOURCE_ADF_SINGLE_PAGE;
    lock.duplex = c_lockDuplex;
    lock.backgroundRemoval = info.backgroundRemoval != 0;
    lock.backgroundRemovalParam = info.backgroundRemovalParam;
    lock.brightness = info.BrightnessParam;
    lock.contrast = info.ContrastParam;
    return lock;
}

int RequestScanner(int dev, const void* command, int size)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] [enter] request size = %d\n", size);
    int written = vorn_bulk_write(dev, command, size, c_requestTimeout);
    int nRet = SANE_STATUS_GOOD;
    if (written < 0)
        nRet = SANE_STATUS_IO_ERROR;
    else if (written == 0)
        nRet = SANE_STATUS_DEVICE_BUSY;
    if (nRet != SANE_STATUS_GOOD)
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] RequestScanner failed.\n");
    return LogExit(nRet);
}

int ResponseScanner(int dev, CommandType type)
{
    int ret = ReadReply(dev, type == CMD_TYPE_SCAN_ADF_STATUS ? c_adfReplyTimeout : c_replyTimeout);
    if (ret > 0) {
        vorn_usb_log(VornUsbLog::Info,
                     "[VornScanSDK] Header type(#1): cmdStart[0x%02X] cmdClass[0x%02X] cmdCode[0x%02X]\n",
                     m_ResComBuf[0], m_ResComBuf[1], m_ResComBuf[2]);
        while (ret > 0 && StartsWith(m_ResComBuf, c_cmdCodeRecord)) {
            vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ScanRecord Response recieve. Retry read.\n");
            ret = ReadAgainAfterStaleReply(dev);
        }
        if (ret > 0 && StartsWith(m_ResComBuf, c_cmdCodeAbort)) {
            vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ScanAbort Response recieve. Retry read.\n");
            ret = ReadAgainAfterStaleReply(dev);
        }
    }
    if (ret <= 0) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ResponseScanner(ResCommon) #1 failed. \n");
        return LogExit(ret == 0 ? SANE_STATUS_DEVICE_BUSY : ret);
    }
    // Without a whole header there is no flag to judge; the zeroed rest must not pass as success.
    if (ret < static_cast<int>(sizeof(ResCommon))) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ResponseScanner reply too short: %d\n", ret);
        return LogExit(SANE_STATUS_IO_ERROR);
    }
    int needed = DataSizeOf(m_ResComBuf) + static_cast<int>(sizeof(ResCommon));
    if (DataSizeOf(m_ResComBuf) != 0 && needed > c_scanReplyBufferSize) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] m_ResComBuf is too small. needed = %d\n", needed);
        return LogExit(SANE_STATUS_NO_MEM);
    }
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK]   ** readSize = %d\n", needed);
    return LogExit(ConvertResponseFlagToErrorCode(m_ResComBuf[6], type));
}

int ConvertResponseFlagToErrorCode(uint8_t flag, CommandType type)
{
    switch (flag) {
    case c_flagSuccess:
        vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] Response: Command was successfully executed\n");
        return SANE_STATUS_GOOD;
    case c_flagInvalidCommand:
        return FailWith("[VornScanSDK] Response: Command is invalid or not supported");
    case c_flagFailed:
        return FailWith("[VornScanSDK] Response: Command execution has failed");
    case c_flagLockRequired:
        return FailWith("[VornScanSDK] Response: Lock required to execute command");
    case c_flagPoweredOff:
        return FailWith("[VornScanSDK] Response: Device is currently powered off");
    case c_flagCatastrophic:
        return FailWith("[VornScanSDK] Response: Catastrophic error");
    case c_flagCommunication:
        return FailWith("[VornScanSDK] Response: Communication error (Host software use only. Printer will "
                        "not send this error code.)");
    case c_flagBusyOrParameter:
        if (type == CMD_TYPE_SCAN_LOCK) {
            vorn_usb_log(VornUsbLog::Error,
                         "[VornScanSDK] Response: Lock could not be obtained - scanner resource is already locked\n");
            return SANE_STATUS_DEVICE_BUSY;
        }
        if (type == CMD_TYPE_SCAN_START || type == CMD_TYPE_SCAN_POWER_ON_COMMAND)
            return FailWith("[VornScanSDK] Response: Invalid scan request - parameter error");
        LogUnknownFlag(flag);
        return SANE_STATUS_IO_ERROR;
    case c_flagNoMemory:
        if (type == CMD_TYPE_SCAN_LOCK)
            return FailWith("[VornScanSDK] Response: Lock could not be obtained because device doesn't have "
                            "enough memory to perform scan");
        LogUnknownFlag(flag);
        return SANE_STATUS_IO_ERROR;
    default:
        // Flags this host does not know do not fail the command.
        LogUnknownFlag(flag);
        return SANE_STATUS_GOOD;
    }
}

int ScanStart(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    return ExchangeCommand(dev, c_cmdClassScan, c_cmdCodeStart, CMD_TYPE_SCAN_START);
}

int ScanDeviceProperties(int dev, ResScanDeviceProperties* pDevProp)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    int ret = ExchangeCommand(dev, c_cmdClassScan, c_cmdCodeDeviceProperties, CMD_TYPE_SCAN_DEVICE_PROPERTIES);
    if (ret == SANE_STATUS_GOOD && pDevProp)
        memcpy(pDevProp, m_ResComBuf, sizeof *pDevProp);
    return ret;
}

int ScanADFStatus(int dev, int* status)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    int ret = ExchangeCommand(dev, c_cmdClassScan, c_cmdCodeAdfStatus, CMD_TYPE_SCAN_ADF_STATUS);
    if (ret == SANE_STATUS_GOOD && status)
        *status = reinterpret_cast<const ResCommon*>(m_ResComBuf)->reserved;
    return ret;
}

int ScanLock(int dev, const SettingInfo* pSettingInfo)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    if (!pSettingInfo)
        return SANE_STATUS_INVAL;
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] x:%d y:%d width:%d height:%d dpi:%d depth:%d\n",
                 pSettingInfo->xStart, pSettingInfo->yStart, pSettingInfo->width, pSettingInfo->height,
                 pSettingInfo->xResolution, pSettingInfo->bitDepth);
    ReqScanLock command = BuildScanLockRequest(*pSettingInfo);
    int ret = RequestScanner(dev, &command, sizeof command);
    if (ret != SANE_STATUS_GOOD)
        return ret;
    return ResponseScanner(dev, CMD_TYPE_SCAN_LOCK);
}

int ScanUnlock(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    return ExchangeCommand(dev, c_cmdClassScan, c_cmdCodeUnlock, CMD_TYPE_SCAN_UNLOCK);
}

int ScanGetScanSizes(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    return ExchangeCommand(dev, c_cmdClassScan, c_cmdCodeGetScanSizes, CMD_TYPE_SCAN_GET_SCAN_SIZES);
}

int ScanAbort(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    ReqCommon command = MakeHeader(c_cmdClassScan, c_cmdCodeAbort);
    int ret = RequestScanner(dev, &command, sizeof command);
    // The reset drops whatever the scanner still queues for this scan, even if the abort did not go out.
    ioctl(dev, USBDEVFS_RESET, nullptr);
    return ret;
}

int ScanPowerOn(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    int ret = ExchangeCommand(dev, c_cmdClassDevice, c_cmdCodePowerOn, CMD_TYPE_SCAN_POWER_ON_COMMAND);
    // The client waits out the warm-up itself; the daemon only records it.
    if (ret == SANE_STATUS_GOOD)
        vorn_usb_log(VornUsbLog::Info,
                     "[VornScanSDK] ScanPowerOn Sleep: %d seconds for the scanner to warm prior to scanning.\n",
                     reinterpret_cast<const ResScanPowerOnCommand*>(m_ResComBuf)->timeToScan);
    return ret;
}

int ScanRecord(int dev, int& scanStatus, std::vector<unsigned char>& buffer, uint16_t& readSize)
{
    int silentReads = 0;
    return ScanRecord(dev, scanStatus, buffer, readSize, silentReads);
}

int ScanRecord(int dev, int& scanStatus, std::vector<unsigned char>& buffer, uint16_t& readSize, int& silentReads)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    readSize = 0;
    unsigned char record[c_scanReplyBufferSize] = {};
    int ret = vorn_bulk_read(dev, record, sizeof record, c_recordTimeout);
    if (ret < 0) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ScanRecord(ResCommon) failed. \n");
        return SANE_STATUS_IO_ERROR;
    }
    if (StartsWith(record, c_cmdCodeAbort)) {
        vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ScanAbort Command from Device.\n");
        return SANE_STATUS_CANCELLED;
    }
    if (ret == 0 && ++silentReads >= c_maxSilentRecordReads) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ScanRecord: the scanner stopped answering.\n");
        return SANE_STATUS_IO_ERROR;
    }
    if (ret > 0)
        silentReads = 0;
    uint16_t dataSize = DataSizeOf(record);
    if (ret == 0 || dataSize == 0) {
        scanStatus = SCAN_STATUS_OPERATION_CONTINUOUS;
        return SANE_STATUS_GOOD;
    }

    const auto* header = reinterpret_cast<const ResScanRecord*>(record);
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK]   ** status = %d, resCmd.dataSize = %d\n", header->status,
                 dataSize);
    scanStatus = header->status;
    switch (header->status) {
    case SCAN_STATUS_OPERATION_CONTINUOUS: {
        if (dataSize < c_scanRecordFieldsSize) {
            vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ScanRecord too short for its fields: dataSize = %d\n",
                         dataSize);
            return SANE_STATUS_IO_ERROR;
        }
        uint16_t imageSize = static_cast<uint16_t>(dataSize - c_scanRecordFieldsSize);
        if (imageSize > buffer.size()) {
            try {
                buffer.resize(imageSize);
            } catch (const std::bad_alloc&) {
                vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] resize scan data buffer err\n");
                return SANE_STATUS_NO_MEM;
            }
        }
        int result = ReadWithRetry(dev, buffer.data(), imageSize);
        readSize = imageSize;
        vorn_usb_log(VornUsbLog::Info, "[VornScanSDK]   ** exist scan data : readSize = %d\n", readSize);
        return result;
    }
    case SCAN_STATUS_END_OF_DATA:
        return SANE_STATUS_EOF;
    case SCAN_STATUS_ABORTED_OUT_OF_MEMORY:
        return SANE_STATUS_NO_MEM;
    case SCAN_STATUS_ABORTED_BY_REQUEST:
    case SCAN_STATUS_ABORTED_BY_DEVICE:
        return SANE_STATUS_CANCELLED;
    case SCAN_STATUS_ABORTED_PAPER_JAM:
        return SANE_STATUS_JAMMED;
    case SCAN_STATUS_END_OF_PAGE:
    case SCAN_STATUS_BEGIN_OF_SCAN:
    case SCAN_STATUS_BEGIN_OF_PAGE:
        return SANE_STATUS_GOOD;
    default:
        return SANE_STATUS_INVAL;
    }
}

int ReadWithRetry(int fd, unsigned char* lpBuffer, uint32_t dwBytesToRead)
{
    if (dwBytesToRead == 0)
        return SANE_STATUS_GOOD;
    uint32_t received = 0;
    for (int attempt = 0; attempt < c_readAttempts; ++attempt) {
        int ask = static_cast<int>(std::min<uint32_t>(dwBytesToRead - received, INT_MAX));
        int ret = vorn_bulk_read(fd, lpBuffer + received, ask, c_recordTimeout);
        if (ret > 0)
            received += static_cast<uint32_t>(ret);
        if (received == dwBytesToRead)
            return SANE_STATUS_GOOD;
    }
    vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ReadWithRetry failed.\n");
    return SANE_STATUS_IO_ERROR;
}
