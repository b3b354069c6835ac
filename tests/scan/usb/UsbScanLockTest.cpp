// The lock command's bytes for the client's scan parameters, and how reply flags become results.
#include "UsbLogCapture.h"
#include "commDef.h"
#include "usbcommanddef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

SettingInfo GreyFlatbed()
{
    SettingInfo info;
    memset(&info, 0, sizeof info);
    info.bitDepth = 8;
    info.compType = COMPRESSION_NONE;
    info.width = 2480;
    info.height = 3508;
    info.xStart = 16;
    info.yStart = 32;
    info.xResolution = 300;
    info.yResolution = 300;
    return info;
}

std::vector<unsigned char> BytesOf(const ReqScanLock& lock)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&lock);
    return {bytes, bytes + sizeof lock};
}

TEST(UsbScanLock, SendsTheWholeParameterBlockLittleEndian)
{
    SettingInfo info = GreyFlatbed();
    info.backgroundRemoval = 5;
    info.backgroundRemovalParam = 3;
    info.BrightnessParam = 120;
    info.ContrastParam = 130;

    const std::vector<unsigned char> expected = {
        0x1B, 0x53, 0x05, 0x00, 47, 0x00, 0x80, 0x00,  // header, 47 parameter bytes follow
        2, 0, 0, 3,                                      // grey, no compression, filter 3
        0xB0, 0x09, 0, 0, 0xB4, 0x0D, 0, 0,              // width 2480, height 3508
        16, 0, 0, 0, 32, 0, 0, 0,                        // offsets
        0x2C, 0x01, 0x2C, 0x01,                          // 300 x 300 dpi
        1, 1, 0, 0, 0, 0, 0, 0, 0,                       // flatbed, duplex, no mirror/negative/dropout
        1, 3, 0, 0, 120, 130,                            // background removal on at 3, brightness, contrast
        0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(BytesOf(BuildScanLockRequest(info)), expected);
}

TEST(UsbScanLock, DepthAndCompressionFollowTheBitDepth)
{
    struct Case {
        uint8_t bitDepth;
        int32_t compType;
        uint8_t depth, mode, level;
    };
    const Case cases[] = {
        {1, COMPRESSION_JPEG, 1, 0, 0},    // black and white is never compressed
        {1, COMPRESSION_WICKED, 1, 0, 0},
        {8, COMPRESSION_JPEG, 2, 2, 70},
        {8, COMPRESSION_NONE, 2, 0, 0},
        {24, COMPRESSION_WICKED, 3, 1, 70},
        {24, COMPRESSION_NONE, 3, 0, 0},
        {16, COMPRESSION_JPEG, 3, 2, 70},  // any other depth is sent as colour
    };
    for (const Case& c : cases) {
        SettingInfo info = GreyFlatbed();
        info.bitDepth = c.bitDepth;
        info.compType = c.compType;
        ReqScanLock lock = BuildScanLockRequest(info);
        SCOPED_TRACE(testing::Message() << "bitDepth " << int(c.bitDepth) << " compType " << c.compType);
        EXPECT_EQ(lock.depth, c.depth);
        EXPECT_EQ(lock.compressionMode, c.mode);
        EXPECT_EQ(lock.compressionLevel, c.level);
    }
}

TEST(UsbScanLock, FeederScansAt1200DpiAreLockedAt600)
{
    SettingInfo info = GreyFlatbed();
    info.xResolution = 1200;
    info.yResolution = 1200;

    ReqScanLock flatbed = BuildScanLockRequest(info);
    EXPECT_EQ(flatbed.xResolution, 1200);
    EXPECT_EQ(flatbed.yResolution, 1200);

    info.feederEnabled = true;
    ReqScanLock feeder = BuildScanLockRequest(info);
    EXPECT_EQ(feeder.xResolution, 600);
    EXPECT_EQ(feeder.yResolution, 600);

    info.xResolution = 600;
    info.yResolution = 1200;  // only the horizontal resolution triggers the rule
    ReqScanLock mixed = BuildScanLockRequest(info);
    EXPECT_EQ(mixed.xResolution, 600);
    EXPECT_EQ(mixed.yResolution, 1200);
}

TEST(UsbScanLock, SourceFollowsFeederAndClientMode)
{
    SettingInfo info = GreyFlatbed();
    info.isClient = 1;
    EXPECT_EQ(BuildScanLockRequest(info).scanSource, SCAN_SOURCE_FLATBED_SINGLE_PAGE);
    info.feederEnabled = true;
    EXPECT_EQ(BuildScanLockRequest(info).scanSource, SCAN_SOURCE_ADF_MULTI_PAGE);
    info.isClient = 0;
    EXPECT_EQ(BuildScanLockRequest(info).scanSource, SCAN_SOURCE_ADF_SINGLE_PAGE);
}

TEST(UsbReplyFlags, MapToResultsAndLogLines)
{
    struct Case {
        uint8_t flag;
        CommandType type;
        int result;
        VornUsbLog log;
        const char* line;
    };
    const Case cases[] = {
        {0x80, CMD_TYPE_SCAN_UNLOCK, 0, VornUsbLog::Info, "Command was successfully executed"},
        {0x81, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Command is invalid or not supported"},
        {0x82, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Command execution has failed"},
        {0x83, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Lock required to execute command"},
        {0x84, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Device is currently powered off"},
        {0x85, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Catastrophic error"},
        {0x86, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Printer will not send this error code."},
        {0x88, CMD_TYPE_SCAN_LOCK, 3, VornUsbLog::Error, "scanner resource is already locked"},
        {0x88, CMD_TYPE_SCAN_START, 9, VornUsbLog::Error, "Invalid scan request - parameter error"},
        {0x88, CMD_TYPE_SCAN_POWER_ON_COMMAND, 9, VornUsbLog::Error, "Invalid scan request - parameter error"},
        {0x88, CMD_TYPE_SCAN_UNLOCK, 9, VornUsbLog::Error, "Response flag is unknown [0x88]"},
        {0x89, CMD_TYPE_SCAN_LOCK, 9, VornUsbLog::Error, "doesn't have enough memory to perform scan"},
        {0x89, CMD_TYPE_SCAN_ADF_STATUS, 9, VornUsbLog::Error, "Response flag is unknown [0x89]"},
        // Flags this host does not know are logged but do not fail the command.
        {0x87, CMD_TYPE_SCAN_LOCK, 0, VornUsbLog::Error, "Response flag is unknown [0x87]"},
        {0x40, CMD_TYPE_SCAN_START, 0, VornUsbLog::Error, "Response flag is unknown [0x40]"},
        {0x8A, CMD_TYPE_SCAN_START, 0, VornUsbLog::Error, "Response flag is unknown [0x8a]"},
    };
    for (const Case& c : cases) {
        UsbLogCapture logs;
        SCOPED_TRACE(testing::Message() << "flag " << std::hex << int(c.flag) << " type " << c.type);
        EXPECT_EQ(ConvertResponseFlagToErrorCode(c.flag, c.type), c.result);
        EXPECT_TRUE(logs.Contains(c.log, c.line));
    }
}

}  // namespace
