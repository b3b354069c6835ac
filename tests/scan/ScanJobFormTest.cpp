// The scan job form and the HTTP requests the daemon sends to a network scanner.
#include "tcpcommanddef.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SettingInfo GreyFlatbed300()
{
    SettingInfo info {};
    info.bitDepth = 8;
    info.compType = COMPRESSION_NONE;
    info.width = 2550;
    info.height = 3300;
    info.xStart = 10;
    info.yStart = 20;
    info.xResolution = 300;
    info.yResolution = 300;
    info.BrightnessParam = 4;
    info.ContrastParam = 5;
    return info;
}

std::string ValueOf(const std::string& form, const std::string& key)
{
    const std::string field = key + "=";
    const size_t at = form.rfind(field, 0) == 0 ? 0 : form.find("&" + field);
    if (at == std::string::npos)
        return "<missing>";
    const size_t start = at == 0 ? field.size() : at + 1 + field.size();
    return form.substr(start, form.find('&', start) - start);
}

} // namespace

TEST(ScanJobForm, GreyFlatbedWithoutExtrasSendsEmptyValuesInFixedOrder)
{
    const std::string form = vorn_BuildScanForm(GreyFlatbed300());
    const std::string expectedStart = "SCANTYPE=2&ADVCONTRAST=5&BACKGROUNDREMOVAL=&COMPRESSION=JPEG&CONTRAST=MIXED&"
                                      "DARKNESS=4&DEPTH=8&DOCSOURCE=0&EDGETOEDGE=0&IPADDRESS=";
    EXPECT_EQ(form.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(form.find("&JPEGQUALITY=&KEEPALIVE=0&NAME="), std::string::npos);
    const std::string expectedEnd = "&ORIENTATION=PORTRAIT&RESOLUTION=300&SCANSOURCE=7&SHARPNESS=0&START_NOW=1&"
                                    "TCPPORT=2080&TYPE=RAW&SINGLEPAGE=&CUSTOM_WIDTH=2550&CUSTOM_HEIGHT=3300&"
                                    "OFFSETX=10&OFFSETY=20&";
    ASSERT_GE(form.size(), expectedEnd.size());
    EXPECT_EQ(form.substr(form.size() - expectedEnd.size()), expectedEnd);
    EXPECT_EQ(ValueOf(form, "IPADDRESS"), kJobPlaceholderAddress);
}

TEST(ScanJobForm, DepthFollowsBitDepth)
{
    SettingInfo info = GreyFlatbed300();
    info.bitDepth = 1;
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "DEPTH"), "other");
    info.bitDepth = 24;
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "DEPTH"), "24");
    info.bitDepth = 16;  // anything unknown is sent as colour
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "DEPTH"), "24");
}

TEST(ScanJobForm, JpegCompressionSetsQualityAndType)
{
    SettingInfo info = GreyFlatbed300();
    info.compType = COMPRESSION_JPEG;
    const std::string form = vorn_BuildScanForm(info);
    EXPECT_EQ(ValueOf(form, "JPEGQUALITY"), "70");
    EXPECT_EQ(ValueOf(form, "TYPE"), "JPEG");
    info.compType = COMPRESSION_WICKED;
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "TYPE"), "RAW");
}

TEST(ScanJobForm, BackgroundRemovalLevelOnlyWhenSwitchedOn)
{
    SettingInfo info = GreyFlatbed300();
    info.backgroundRemovalParam = 3;
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "BACKGROUNDREMOVAL"), "");
    info.backgroundRemoval = 1;
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "BACKGROUNDREMOVAL"), "3");
}

TEST(ScanJobForm, FeederSelectsSourceAndSinglePageForNonClientMode)
{
    SettingInfo info = GreyFlatbed300();
    info.feederEnabled = true;
    info.isClient = 0;
    std::string form = vorn_BuildScanForm(info);
    EXPECT_EQ(ValueOf(form, "SCANSOURCE"), "0");
    EXPECT_EQ(ValueOf(form, "SINGLEPAGE"), "TRUE");
    info.isClient = 1;
    form = vorn_BuildScanForm(info);
    EXPECT_EQ(ValueOf(form, "SCANSOURCE"), "0");
    EXPECT_EQ(ValueOf(form, "SINGLEPAGE"), "");
}

TEST(ScanJobForm, AnyNonZeroFeederByteMeansFeeder)
{
    SettingInfo info = GreyFlatbed300();
    info.feederEnabled = 232;  // clients send a raw byte, not necessarily 1
    EXPECT_EQ(ValueOf(vorn_BuildScanForm(info), "SCANSOURCE"), "0");
}

TEST(ScanJobForm, LargestValuesAreWrittenInFull)
{
    SettingInfo info = GreyFlatbed300();
    info.width = 4294967295u;
    info.xResolution = 65535;
    info.ContrastParam = 255;
    const std::string form = vorn_BuildScanForm(info);
    EXPECT_EQ(ValueOf(form, "CUSTOM_WIDTH"), "4294967295");
    EXPECT_EQ(ValueOf(form, "RESOLUTION"), "65535");
    EXPECT_EQ(ValueOf(form, "ADVCONTRAST"), "255");
}

TEST(ScanRequests, JobPostCarriesLengthHostAndBody)
{
    EXPECT_EQ(vorn_BuildNetscanPost("SCANTYPE=4", "10.1.2.3"),
              "POST /netscan/post HTTP/1.1\r\nConnection: Keep-Alive\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "Accept: text/html, image/gif, image/jpeg, *;q=.2, */*; q=.2\r\n"
              "User-Agent: HttpScanConnection\r\nContent-Length: 10\r\nHost: 10.1.2.3\r\n\r\nSCANTYPE=4");
}

TEST(ScanRequests, AdfStatusPostGoesToItsOwnPage)
{
    EXPECT_EQ(vorn_BuildAdfStatusPost("GETADFSTATUS", ""),
              "POST /cgi-bin/dynamic/printer/netscan/adfStatus.html HTTP/1.1\r\nConnection: Keep-Alive\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "Accept: text/html, image/gif, image/jpeg, *;q=.2, */*; q=.2\r\n"
              "User-Agent: HttpScanConnection\r\nContent-Length: 12\r\nHost: \r\n\r\nGETADFSTATUS");
}

TEST(ScanRequests, CapabilitiesGetEndsWithCrLfLf)
{
    EXPECT_EQ(vorn_BuildCapabilitiesGet("10.1.2.3"),
              "GET /netscan/capabilites HTTP/1.1\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
              "User-Agent: Jav/1.6.0_18\r\nHost: 10.1.2.3\r\n\r\nConnection: Keep-Alive\r\n"
              "Accept: text/html, image/gif, image/jpeg, *;q=.2, */*; q=.2\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n\n");
}

TEST(ScanRequests, AttributeQueriesNameTheirObjects)
{
    EXPECT_EQ(vorn_BuildOslQuery(OSL_CMD_FAMILYTYPE),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<method name=\"getAttribute\" requestID=\"10001\">\r\n"
              "  <arg name=\"objName\">system</arg>\r\n  <arg name=\"attribName\">familyType</arg>\r\n</method>\r\n");
    EXPECT_NE(vorn_BuildOslQuery(OSL_CMD_GETLIST).find("requestID=\"10002\""), std::string::npos);
    EXPECT_NE(vorn_BuildOslQuery(OSL_CMD_GETLIST).find(">mfp.profileFactory<"), std::string::npos);
    EXPECT_NE(vorn_BuildOslQuery(OSL_CMD_SUMMARY).find(">summary<"), std::string::npos);
}
