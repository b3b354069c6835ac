// What the daemon makes of a network scanner's replies and data stream.
#include "tcpcommanddef.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string Reply(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

// One end of a connected pair stands in for the data connection; the test writes the other.
class DataStream : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds), 0);
        m_sock.tcpFromScanner = m_fds[0];
    }
    void TearDown() override
    {
        if (m_sock.tcpFromScanner >= 0)
            close(m_sock.tcpFromScanner);
        close(m_fds[1]);
    }
    void Write(const std::string& bytes)
    {
        ASSERT_EQ(write(m_fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    int ReadRecord()
    {
        return vorn_tcp_ScanRecord(&m_sock, m_status, m_buffer, m_readSize);
    }

    int m_fds[2] = {-1, -1};
    VornSocket m_sock {};
    int m_status = -1;
    std::vector<unsigned char> m_buffer;
    int m_readSize = -1;
};

} // namespace

TEST(JobReplyResult, MapsScannerCodesToStatus)
{
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("RESULT=0\r\n").c_str()), SANE_STATUS_GOOD);
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("RESULT=91\r\n").c_str()), SANE_STATUS_DEVICE_BUSY);
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("RESULT=1\r\n").c_str()), SANE_STATUS_INVAL);
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("RESULT=7").c_str()), SANE_STATUS_INVAL);
}

TEST(JobReplyResult, OnlyTheBodyCounts)
{
    EXPECT_EQ(vorn_http_ScanStartResult("HTTP/1.1 200 OK\r\nRESULT=91\r\n\r\nSTATUS=OK\r\n"), SANE_STATUS_GOOD);
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("STATUS=1\nRESULT=91\n").c_str()), SANE_STATUS_DEVICE_BUSY);
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("").c_str()), SANE_STATUS_GOOD);
}

TEST(JobReplyResult, ValueThatIsNoNumberIsAnError)
{
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("RESULT=\r\n").c_str()), SANE_STATUS_INVAL);
    EXPECT_EQ(vorn_http_ScanStartResult(Reply("RESULT=0x\r\n").c_str()), SANE_STATUS_INVAL);
}

TEST(Capabilities, EveryKnownKeyFillsItsField)
{
    ScannerCapabilities caps {};
    vorn_ParseScanCapabilities(&caps, Reply("DUPLEX=true\r\nCOLOR=COLOR\r\nMINRES=75\r\nMAXRES=1200\r\n"
                                            "WIDTH_FORMAT=2\r\nFAMILY=7\r\nPERMPROFILES=true\r\nPROFILE=ON\r\n"
                                            "MAX_WIDTH=8500\r\nMAX_HEIGHT=14000\r\nBASIC_RESOLUTION=300\r\n")
                                          .c_str());
    EXPECT_TRUE(caps.duplex);
    EXPECT_TRUE(caps.color);
    EXPECT_EQ(caps.minres, 75u);
    EXPECT_EQ(caps.maxres, 1200u);
    EXPECT_EQ(caps.width_format, 2u);
    EXPECT_EQ(caps.family, 7u);
    EXPECT_TRUE(caps.permprofiles);
    EXPECT_TRUE(caps.profile);
    EXPECT_EQ(caps.maxWidth, 8500u);
    EXPECT_EQ(caps.maxHeight, 14000u);
    EXPECT_EQ(caps.basicres, 300u);
}

TEST(Capabilities, FlagsNeedTheirExactWords)
{
    ScannerCapabilities caps {};
    vorn_ParseScanCapabilities(&caps, Reply("DUPLEX=TRUE\nCOLOR=GRAY\nPERMPROFILES=yes\nPROFILE=DISABLED\n").c_str());
    EXPECT_FALSE(caps.duplex);
    EXPECT_FALSE(caps.color);
    EXPECT_FALSE(caps.permprofiles);
    EXPECT_FALSE(caps.profile);
    vorn_SetScanCapabilities(&caps, "PROFILE", "");
    EXPECT_TRUE(caps.profile);
}

TEST(Capabilities, UnknownKeysAndLinesWithoutEqualsAreIgnored)
{
    ScannerCapabilities caps {};
    vorn_ParseScanCapabilities(&caps, Reply("garbage line\r\nSPEED=9\r\nMAXRES=600=x\r\n=5\r\n").c_str());
    EXPECT_EQ(caps.maxres, 600u);  // the value ends at its first non-digit
    EXPECT_EQ(caps.minres, 0u);
}

TEST(AdfStatus, LastByteDecides)
{
    int status = -1;
    EXPECT_EQ(vorn_ParseAdfStatus("ADF=1", 5, &status), SANE_STATUS_GOOD);
    EXPECT_EQ(status, ADF_STATUS_EMPTY);
    vorn_ParseAdfStatus("2", 1, &status);
    EXPECT_EQ(status, ADF_STATUS_LOADED);
    vorn_ParseAdfStatus("x3", 2, &status);
    EXPECT_EQ(status, ADF_STATUS_PAPER_JAM);
}

TEST(AdfStatus, LineFeedAtTheEndLeavesStatusUnsetAndSucceeds)
{
    int status = 77;
    EXPECT_EQ(vorn_ParseAdfStatus("ADF=2\n", 6, &status), SANE_STATUS_GOOD);
    EXPECT_EQ(status, 77);
    EXPECT_EQ(vorn_ParseAdfStatus("", 0, &status), SANE_STATUS_GOOD);
    EXPECT_EQ(status, 77);
}

TEST(HeaderSize, SixDigitsOrNothing)
{
    const unsigned char header[] = "DATA  012345     \n";
    EXPECT_EQ(vorn_ParseHeaderSize(header, 6), 12345);
    const unsigned char spaced[] = "DATA   12345     \n";
    EXPECT_EQ(vorn_ParseHeaderSize(spaced, 6), -1);
    const unsigned char largest[] = "DATA  999999     \n";
    EXPECT_EQ(vorn_ParseHeaderSize(largest, 6), 999999);
}

TEST_F(DataStream, NewFileMarkerGivesPageBeginWithoutData)
{
    Write(std::string(kMarkerNewFile) + "PAGE  000004     \nbody");
    EXPECT_EQ(ReadRecord(), SANE_STATUS_GOOD);
    EXPECT_EQ(m_status, SCAN_STATUS_BEGIN_OF_PAGE);
    EXPECT_EQ(m_readSize, 0);
    EXPECT_GE(m_sock.tcpFromScanner, 0);
}

TEST_F(DataStream, DataBlockGrowsTheBufferAndDeliversItsBytes)
{
    const std::string bytes(70000, 'x');
    Write("DATA  070000     \n" + bytes + "DATA  000003     \nabc");
    ASSERT_EQ(ReadRecord(), SANE_STATUS_GOOD);
    EXPECT_EQ(m_status, SCAN_STATUS_OPERATION_CONTINUOUS);
    ASSERT_EQ(m_readSize, 70000);
    EXPECT_EQ(std::string(m_buffer.begin(), m_buffer.begin() + m_readSize), bytes);
    ASSERT_EQ(ReadRecord(), SANE_STATUS_GOOD);
    ASSERT_EQ(m_readSize, 3);
    EXPECT_EQ(std::string(m_buffer.begin(), m_buffer.begin() + 3), "abc");
    EXPECT_GE(m_buffer.size(), 70000u);  // never shrinks
}

TEST_F(DataStream, JobDoneEndsWithEofAndClosesTheConnection)
{
    Write(kMarkerJobDone);
    EXPECT_EQ(ReadRecord(), SANE_STATUS_EOF);
    EXPECT_EQ(m_status, SCAN_STATUS_END_OF_DATA);
    EXPECT_EQ(m_sock.tcpFromScanner, -1);
}

TEST_F(DataStream, JobCancelIsAbortedByDevice)
{
    Write(kMarkerJobCancel);
    EXPECT_EQ(ReadRecord(), SANE_STATUS_CANCELLED);
    EXPECT_EQ(m_status, SCAN_STATUS_ABORTED_BY_DEVICE);
    EXPECT_EQ(m_sock.tcpFromScanner, -1);
}

TEST_F(DataStream, MarkerMustMatchInFull)
{
    Write("JOBDONE         x\n");  // not the marker, and no size digits either
    EXPECT_EQ(ReadRecord(), SANE_STATUS_IO_ERROR);
    EXPECT_EQ(m_sock.tcpFromScanner, -1);
}

TEST_F(DataStream, StreamThatEndsInsideABlockIsAnIoError)
{
    Write("DATA  000100     \nonly a few bytes");
    close(m_fds[1]);
    m_fds[1] = socket(AF_UNIX, SOCK_STREAM, 0);  // keeps TearDown simple
    EXPECT_EQ(ReadRecord(), SANE_STATUS_IO_ERROR);
    EXPECT_EQ(m_sock.tcpFromScanner, -1);
}

TEST_F(DataStream, PageHeaderCutShortIsAnIoError)
{
    Write(std::string(kMarkerNewFile) + "PAGE  000050     \nshort");
    close(m_fds[1]);
    m_fds[1] = socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(ReadRecord(), SANE_STATUS_IO_ERROR);
    EXPECT_EQ(m_sock.tcpFromScanner, -1);
}
