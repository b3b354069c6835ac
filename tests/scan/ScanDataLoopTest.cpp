// The scan data process: page files and the record stream the client sees.
#include "scanDataProcess.h"

#include "commDef.h"
#include "scanFiles.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct stScriptedRecord {
    int result;
    int status;
    std::string data;
};

class ScanDataLoop : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorn-dataloop-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        m_base = vorn_ScanBaseName(m_folder, 900, 0);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_client), 0);
    }
    void TearDown() override
    {
        close(m_client[0]);
        close(m_client[1]);
        fs::remove_all(m_folder);
    }

    int Run(enScanTransport transport, std::deque<stScriptedRecord> script, uint64_t maxScanBytes = kVornMaxScanBytes)
    {
        std::string current;
        const ScanRecordReader reader = [&](int& status, const unsigned char*& data, size_t& size) {
            const stScriptedRecord record = script.front();
            script.pop_front();
            current = record.data;
            status = record.status;
            data = reinterpret_cast<const unsigned char*>(current.data());
            size = current.size();
            return record.result;
        };
        return vorn_RunScanDataLoop(m_client[0], m_base, transport, reader, maxScanBytes);
    }

    template <typename Record>
    std::vector<Record> Records()
    {
        shutdown(m_client[0], SHUT_WR);
        std::vector<Record> records;
        Record record {};
        while (read(m_client[1], &record, sizeof record) == sizeof record)
            records.push_back(record);
        return records;
    }

    std::string Page(int page)
    {
        std::ifstream in(vorn_PageFileName(m_base, page), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string m_folder;
    std::string m_base;
    int m_client[2] = {-1, -1};
};

} // namespace

TEST_F(ScanDataLoop, UsbTwoPagesGoToNumberedFilesWithRecordIndices)
{
    const int last = Run(enScanTransport::Usb, {
                                                   {0, SCAN_STATUS_BEGIN_OF_SCAN, ""},
                                                   {0, SCAN_STATUS_BEGIN_OF_PAGE, ""},
                                                   {0, SCAN_STATUS_OPERATION_CONTINUOUS, "first "},
                                                   {0, SCAN_STATUS_OPERATION_CONTINUOUS, "page"},
                                                   {0, SCAN_STATUS_END_OF_PAGE, ""},
                                                   {0, SCAN_STATUS_BEGIN_OF_PAGE, ""},
                                                   {0, SCAN_STATUS_OPERATION_CONTINUOUS, "second"},
                                                   {SANE_STATUS_EOF, SCAN_STATUS_END_OF_DATA, ""},
                                               });
    EXPECT_EQ(last, SANE_STATUS_EOF);
    EXPECT_EQ(Page(0), "first page");
    EXPECT_EQ(Page(1), "second");
    EXPECT_FALSE(fs::exists(vorn_PageFileName(m_base, 2)));
    const auto records = Records<USBScanRecordRes>();
    ASSERT_EQ(records.size(), 8u);
    const int expectedIndex[] = {0, 0, 1, 1, 1, 1, 2, 2};
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i].fileIndex, expectedIndex[i]) << "record " << i;
    EXPECT_EQ(records[1].st, SCAN_STATUS_BEGIN_OF_PAGE);
    EXPECT_EQ(records[2].dataSize, 6);
    EXPECT_EQ(records[2].result, 0);
    EXPECT_EQ(records[7].st, SCAN_STATUS_END_OF_DATA);
    EXPECT_EQ(records[7].result, SANE_STATUS_EOF);
}

TEST_F(ScanDataLoop, PageFilesAreNotWritableByOthers)
{
    Run(enScanTransport::Usb, {{0, SCAN_STATUS_BEGIN_OF_PAGE, ""}, {SANE_STATUS_EOF, SCAN_STATUS_END_OF_DATA, ""}});
    struct stat info {};
    ASSERT_EQ(stat(vorn_PageFileName(m_base, 0).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0022, 0u);
}

TEST_F(ScanDataLoop, DataBeforeAnyPageBeginStartsAPage)
{
    Run(enScanTransport::Usb, {
                                  {0, SCAN_STATUS_OPERATION_CONTINUOUS, "early"},
                                  {0, SCAN_STATUS_OPERATION_CONTINUOUS, " bytes"},
                                  {SANE_STATUS_EOF, SCAN_STATUS_END_OF_DATA, ""},
                              });
    EXPECT_EQ(Page(0), "early bytes");
    const auto records = Records<USBScanRecordRes>();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fileIndex, 0);
    EXPECT_EQ(records[1].fileIndex, 1);
}

TEST_F(ScanDataLoop, NetworkFirstRecordBeginsThePageAndRecordsPutResultFirst)
{
    Run(enScanTransport::Tcp, {
                                  {0, SCAN_STATUS_OPERATION_CONTINUOUS, "abc"},
                                  {0, SCAN_STATUS_BEGIN_OF_PAGE, ""},
                                  {0, SCAN_STATUS_OPERATION_CONTINUOUS, "def"},
                                  {SANE_STATUS_EOF, SCAN_STATUS_END_OF_DATA, ""},
                              });
    EXPECT_EQ(Page(0), "abc");
    EXPECT_EQ(Page(1), "def");
    const auto records = Records<TCPRecordRes>();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].st, SCAN_STATUS_BEGIN_OF_PAGE);
    EXPECT_EQ(records[0].bufferLen, 3);
    EXPECT_EQ(records[0].fileIndex, 0);
    EXPECT_EQ(records[1].fileIndex, 1);
    EXPECT_EQ(records[2].fileIndex, 2);
    EXPECT_EQ(records[3].result, SANE_STATUS_EOF);
    EXPECT_EQ(records[3].st, SCAN_STATUS_END_OF_DATA);
}

TEST_F(ScanDataLoop, FailedFirstReadLeavesNoEmptyPage)
{
    EXPECT_EQ(Run(enScanTransport::Tcp, {{SANE_STATUS_IO_ERROR, 0, ""}}), SANE_STATUS_IO_ERROR);
    EXPECT_FALSE(fs::exists(vorn_PageFileName(m_base, 0)));
    const auto records = Records<TCPRecordRes>();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, SANE_STATUS_IO_ERROR);
}

// A page file is always a new file of the daemon's: a name already taken (by a link planted
// to make root write elsewhere, or by any file) is not written through.
TEST_F(ScanDataLoop, PageFileThatCannotBeCreatedAnewEndsWithAccessDenied)
{
    const std::string target = m_folder + "/precious";
    const std::string base = m_base;
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"missing folder", [&] { m_base = m_folder + "/missing/vornscandata_900_0"; }},
        {"link", [&] { fs::create_symlink(target, vorn_PageFileName(m_base, 0)); }},
        {"existing file", [&] { std::ofstream(vorn_PageFileName(m_base, 0)) << "older"; }},
    };
    for (const auto& [name, plant] : cases) {
        SCOPED_TRACE(name);
        m_base = base;
        fs::remove(vorn_PageFileName(m_base, 0));
        std::ofstream(target) << "keep";
        plant();
        const int last = Run(enScanTransport::Usb, {
                                                       {0, SCAN_STATUS_BEGIN_OF_SCAN, ""},
                                                       {0, SCAN_STATUS_BEGIN_OF_PAGE, ""},
                                                       {0, SCAN_STATUS_OPERATION_CONTINUOUS, "never read"},
                                                   });
        EXPECT_EQ(last, SANE_STATUS_ACCESS_DENIED);
        std::vector<USBScanRecordRes> records;
        USBScanRecordRes record {};
        for (int i = 0; i < 2 && read(m_client[1], &record, sizeof record) == sizeof record; ++i)
            records.push_back(record);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].st, SCAN_STATUS_OPERATION_CONTINUOUS);
        EXPECT_EQ(records[1].fileIndex, 0);
        EXPECT_EQ(records[1].dataSize, 0);
        EXPECT_EQ(records[1].result, SANE_STATUS_ACCESS_DENIED);
        std::ifstream in(target);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
    }
}

TEST_F(ScanDataLoop, PagesStopGrowingAtTheScanBoundAndTheScanEndsWithNoMem)
{
    const int last = Run(enScanTransport::Usb,
                         {
                             {0, SCAN_STATUS_BEGIN_OF_PAGE, ""},
                             {0, SCAN_STATUS_OPERATION_CONTINUOUS, "12345"},
                             {0, SCAN_STATUS_BEGIN_OF_PAGE, ""},
                             {0, SCAN_STATUS_OPERATION_CONTINUOUS, "6789"},
                             {0, SCAN_STATUS_OPERATION_CONTINUOUS, "ab"},  // one byte past the bound
                             {0, SCAN_STATUS_OPERATION_CONTINUOUS, "never read"},
                         },
                         10);
    EXPECT_EQ(last, SANE_STATUS_NO_MEM);
    EXPECT_EQ(Page(0), "12345");
    EXPECT_EQ(Page(1), "6789");
    const auto records = Records<USBScanRecordRes>();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[4].result, SANE_STATUS_NO_MEM);
    EXPECT_EQ(records[4].dataSize, 0);
}

TEST_F(ScanDataLoop, ClientThatLeftStopsTheLoop)
{
    close(m_client[1]);
    m_client[1] = socket(AF_UNIX, SOCK_STREAM, 0);
    // The reader would go on for ever; the failed record send must end the loop.
    const ScanRecordReader endless = [](int& status, const unsigned char*& data, size_t& size) {
        static const unsigned char byte = 'x';
        status = SCAN_STATUS_OPERATION_CONTINUOUS;
        data = &byte;
        size = 1;
        return 0;
    };
    EXPECT_EQ(vorn_RunScanDataLoop(m_client[0], m_base, enScanTransport::Usb, endless), SANE_STATUS_GOOD);
}
