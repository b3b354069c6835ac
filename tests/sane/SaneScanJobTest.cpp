// How a scan job turns the daemon's records into frames: pages begun, bytes taken from the page
// files, short pages, feeder batches, device ends and cancels. A scripted link plays the daemon:
// it writes each record's bytes into the page file before handing the record out.
#include "VornScanJob.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBegin = SCAN_STATUS_BEGIN_OF_PAGE;
constexpr int kData = SCAN_STATUS_OPERATION_CONTINUOUS;

class ScriptedLink : public VornScanLink {
public:
    std::vector<stVornRecord> listRecords;
    int iAdfStatus = ADF_STATUS_LOADED;
    int iStarts = 0;
    int iAborts = 0;
    int iFinishes = 0;
    std::vector<std::string> listDeleted;
    std::string strBase = testing::TempDir() + "vornscandata_1_0";

    SANE_Status Probe(stVornCapabilities&) override { return SANE_STATUS_GOOD; }
    SANE_Status Start(const SettingInfo&, std::string& baseName) override
    {
        ++iStarts;
        m_uNext = 0;
        m_iPage = -1;
        baseName = strBase;
        return SANE_STATUS_GOOD;
    }
    bool ReadRecord(stVornRecord& record) override
    {
        if (m_uNext >= listRecords.size())
            return false;
        record = listRecords[m_uNext++];
        if (record.iStatus == kBegin) {
            // The daemon creates the page file before it sends the page-begin record.
            m_iPage = record.iFileIndex;
            std::ofstream(VornScanClient::PageFileName(strBase, m_iPage), std::ios::trunc);
        }
        if (record.iResult == SANE_STATUS_GOOD && record.iDataSize > 0 && m_iPage >= 0) {
            std::ofstream page(VornScanClient::PageFileName(strBase, m_iPage), std::ios::app | std::ios::binary);
            page << std::string(static_cast<size_t>(record.iDataSize), static_cast<char>('a' + m_iPage));
        }
        return true;
    }
    void Abort(const std::string&) override
    {
        ++iAborts;
        for (int page = 0; page < 4; ++page)
            unlink(VornScanClient::PageFileName(strBase, page).c_str());
    }
    int AdfStatus() override { return iAdfStatus; }
    void Finish() override { ++iFinishes; }
    bool FirstRecordBeginsPage() const override { return false; }
    void DeleteFile(const std::string& fileName) override
    {
        listDeleted.push_back(fileName);
        unlink(fileName.c_str());
    }

private:
    size_t m_uNext = 0;
    int m_iPage = -1;
};

stVornCapabilities Caps()
{
    stVornCapabilities caps;
    caps.bAdf = true;
    caps.listDpi = {100};
    caps.uMaxWidthMils = 8500;
    caps.uMaxHeightMils = 11000;
    return caps;
}

// Grey, 100 dpi, 0.1 x 0.1 inch: a frame of 10 lines of 10 bytes.
constexpr long long kFrameBytes = 100;

class SaneScanJob : public testing::Test {
protected:
    SaneScanJob() : m_job(m_link, m_bCancel)
    {
        char gray[] = "Gray";
        m_options.Control(OPT_MODE, SANE_ACTION_SET_VALUE, gray, nullptr);
        SANE_Word tenth = SANE_FIX(2.54);
        m_options.Control(OPT_BR_X, SANE_ACTION_SET_VALUE, &tenth, nullptr);
        tenth = SANE_FIX(2.54);
        m_options.Control(OPT_BR_Y, SANE_ACTION_SET_VALUE, &tenth, nullptr);
    }
    void UseFeeder()
    {
        char adf[] = "ADF";
        m_options.Control(OPT_SOURCE, SANE_ACTION_SET_VALUE, adf, nullptr);
    }
    // Reads the page to its end: what it held and the status that ended it.
    SANE_Status ReadPage(std::string& page)
    {
        SANE_Byte buffer[7];
        SANE_Int length = 0;
        SANE_Status status;
        page.clear();
        while ((status = m_job.Read(buffer, sizeof buffer, &length)) == SANE_STATUS_GOOD)
            page.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(length));
        return status;
    }
    static bool Exists(const std::string& path)
    {
        struct stat info {};
        return stat(path.c_str(), &info) == 0;
    }
    std::string PageFile(int page) const { return VornScanClient::PageFileName(m_link.strBase, page); }

    ScriptedLink m_link;
    volatile sig_atomic_t m_bCancel = 0;
    VornSaneOptions m_options {Caps()};
    VornScanJob m_job;
};

} // namespace

TEST_F(SaneScanJob, ShortPagesAreFilledWhiteAndLongOnesCutToTheFrame)
{
    struct {
        int sent;
        std::string expected;
    } cases[] = {
        {60, std::string(60, 'a') + std::string(40, '\xFF')},
        {130, std::string(100, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        m_link.listRecords = {{kBegin, 0, 0, 0}, {kData, 1, c.sent / 2, 0}, {kData, 1, c.sent - c.sent / 2, 0},
                              {SCAN_STATUS_END_OF_PAGE, 1, 0, 0}, {SCAN_STATUS_END_OF_DATA, 1, 0, SANE_STATUS_EOF}};
        ASSERT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_GOOD);
        EXPECT_EQ(m_job.Frame().Bytes(), kFrameBytes);
        std::string page;
        EXPECT_EQ(ReadPage(page), SANE_STATUS_EOF);
        EXPECT_EQ(page, c.expected);
        // A flatbed job is read to its end with its page, so the scanner is free at once.
        EXPECT_FALSE(Exists(PageFile(0)));
        EXPECT_EQ(m_link.iFinishes, 1);
        m_link.iFinishes = 0;
        m_job.Stop();
        EXPECT_EQ(m_link.iAborts, 0);
    }
}

TEST_F(SaneScanJob, FeederJobHandsOutItsPagesThenNoDocsOnceThenStartsAnew)
{
    UseFeeder();
    m_link.listRecords = {{kBegin, 0, 0, 0}, {kData, 1, 100, 0}, {kBegin, 1, 0, 0}, {kData, 2, 100, 0},
                          {SCAN_STATUS_END_OF_DATA, 2, 0, SANE_STATUS_EOF}};
    std::string page;
    ASSERT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_GOOD);
    EXPECT_EQ(ReadPage(page), SANE_STATUS_EOF);
    EXPECT_EQ(page, std::string(100, 'a'));
    ASSERT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_GOOD);
    EXPECT_EQ(ReadPage(page), SANE_STATUS_EOF);
    EXPECT_EQ(page, std::string(100, 'b'));
    EXPECT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_NO_DOCS);
    EXPECT_EQ(m_link.iStarts, 1);
    EXPECT_EQ(m_link.iFinishes, 1);
    EXPECT_EQ(m_link.listDeleted, (std::vector<std::string> {PageFile(0), PageFile(1)}));

    // Paper loaded again: the next start is a new job; an empty feeder says so before one.
    ASSERT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_GOOD);
    EXPECT_EQ(m_link.iStarts, 2);
    m_job.Stop();
    m_link.iAdfStatus = ADF_STATUS_EMPTY;
    EXPECT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_NO_DOCS);
    EXPECT_EQ(m_link.iStarts, 2);
}

TEST_F(SaneScanJob, ScansEndedByTheScannerOrTheLinkReportWhy)
{
    struct {
        const char* what;
        std::vector<stVornRecord> records;
        int adf;
        SANE_Status start, read;
        int aborts;
    } cases[] = {
        {"device cancel with a jammed feeder", {{kBegin, 0, 0, 0}, {kData, 1, 50, 0}, {SCAN_STATUS_ABORTED_BY_DEVICE, 1, 0, 2}},
         ADF_STATUS_PAPER_JAM, SANE_STATUS_GOOD, SANE_STATUS_JAMMED, 0},
        {"device cancel", {{kBegin, 0, 0, 0}, {kData, 1, 50, 0}, {SCAN_STATUS_ABORTED_BY_DEVICE, 1, 0, 2}},
         ADF_STATUS_LOADED, SANE_STATUS_GOOD, SANE_STATUS_CANCELLED, 0},
        {"jam record", {{kBegin, 0, 0, 0}, {SCAN_STATUS_ABORTED_PAPER_JAM, 1, 0, 6}}, ADF_STATUS_LOADED,
         SANE_STATUS_GOOD, SANE_STATUS_JAMMED, 0},
        {"negative transfer result", {{kBegin, 0, 0, 0}, {kData, 1, 0, -110}}, ADF_STATUS_LOADED, SANE_STATUS_GOOD,
         SANE_STATUS_IO_ERROR, 0},
        // The connection broke mid-page: the daemon is told to abort whatever it still runs.
        {"broken connection", {{kBegin, 0, 0, 0}, {kData, 1, 50, 0}}, ADF_STATUS_LOADED, SANE_STATUS_GOOD,
         SANE_STATUS_IO_ERROR, 1},
        // Data before any page has no file; a flatbed job without a page is a failure.
        {"no page", {{kData, 0, 50, 0}, {SCAN_STATUS_END_OF_DATA, 0, 0, SANE_STATUS_EOF}}, ADF_STATUS_LOADED,
         SANE_STATUS_IO_ERROR, SANE_STATUS_EOF, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_link.listRecords = c.records;
        m_link.iAdfStatus = c.adf;
        m_link.iAborts = 0;
        ASSERT_EQ(m_job.StartPage(m_options, false), c.start);
        std::string page;
        EXPECT_EQ(ReadPage(page), c.read);
        EXPECT_EQ(m_link.iAborts, c.aborts);
        EXPECT_FALSE(Exists(PageFile(0)));
        m_job.Stop();
    }
}

TEST_F(SaneScanJob, CancelDuringAReadAbortsTheScanAndRemovesItsPages)
{
    UseFeeder();
    m_link.listRecords = {{kBegin, 0, 0, 0}, {kData, 1, 50, 0}, {kData, 1, 50, 0}, {kBegin, 1, 0, 0}};
    ASSERT_EQ(m_job.StartPage(m_options, false), SANE_STATUS_GOOD);
    SANE_Byte buffer[10];
    SANE_Int length = 0;
    ASSERT_EQ(m_job.Read(buffer, sizeof buffer, &length), SANE_STATUS_GOOD);
    m_bCancel = 1;
    EXPECT_EQ(m_job.Read(buffer, sizeof buffer, &length), SANE_STATUS_CANCELLED);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(m_link.iAborts, 1);
    EXPECT_FALSE(Exists(PageFile(0)));
    m_bCancel = 0;
    // Stopping a job that was stopped already asks nothing more of the daemon.
    m_job.Stop();
    EXPECT_EQ(m_link.iAborts, 1);
}
