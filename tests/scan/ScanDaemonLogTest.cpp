// The daemon's two logs: what peers can put into them, rotation, and links in the scan folder.
#include "daemonHelper.h"
#include "logText.h"
#include "scanFiles.h"
#include "tcpcommanddef.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ScanDaemonLog : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorn-scanlog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        VornInitDbg("/nonexistent");  // leaves no log open for the next test
        fs::remove_all(m_folder);
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream in(m_folder + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string m_folder;
};

} // namespace

TEST(ScanLogText, ControlCharactersFromPeersAreEscaped)
{
    const struct {
        std::string raw;
        std::string logged;
    } cases[] = {
        {"plain text = 1", "plain text = 1"},
        {"two\nlines", "two\\x0Alines"},
        {"cr\r\nlf", "cr\\x0D\\x0Alf"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"\x1b[2Jclear", "\\x1B[2Jclear"},
        {"del\x7f", "del\\x7F"},
        {"back\\x0Aslash", "back\\\\x0Aslash"},  // cannot pass for an escaped line end
        {"utf-8 \xe6\x89\xab\xe6\x8f\x8f", "utf-8 \xe6\x89\xab\xe6\x8f\x8f"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vorn_LogText(c.raw), c.logged);
}

TEST_F(ScanDaemonLog, PeersCannotForgeLogLines)
{
    ASSERT_TRUE(VornInitDbg(m_folder));
    const std::string forged = "\n[VornScanSDK] new conn pid:1";
    ScannerCapabilities caps {};
    vorn_ParseScanCapabilities(&caps, ("HTTP/1.1 200 OK\r\n\r\nCOLOR=COLOR" + forged + "\x1b[2J=x\r\nMAXRES=600").c_str());
    EXPECT_TRUE(caps.color);
    EXPECT_EQ(caps.maxres, 600u);
    fs::create_directory(m_folder + "/scan");
    vorn_DeleteScanFile(m_folder + "/scan", ("/etc/passwd" + forged).c_str());
    deleteFileList(m_folder + "/scan", ("/etc/vornscandata_1_0" + forged).c_str());

    for (const char* log : {kVornInfoLogName, kVornErrLogName}) {
        const std::string text = Read(log);
        SCOPED_TRACE(log);
        EXPECT_EQ(text.find(forged), std::string::npos);
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_EQ(text.find('\r'), std::string::npos);
    }
    EXPECT_NE(Read(kVornErrLogName).find("refuse to delete file:/etc/passwd\\x0A[VornScanSDK] new conn"),
              std::string::npos);
}

TEST_F(ScanDaemonLog, LogRotatesOnlyOnceItHasGrownPastOneMebibyte)
{
    ASSERT_TRUE(VornInitDbg(m_folder));
    const std::string info = m_folder + "/" + kVornInfoLogName;
    ASSERT_EQ(truncate(info.c_str(), kVornLogRotateSize), 0);
    vorn_log_info("[VornScanSDK] exactly full");
    EXPECT_FALSE(fs::exists(info + kVornRotatedLogSuffix)) << "a log of exactly 1 MiB still takes the line";
    EXPECT_EQ(fs::file_size(info), static_cast<uintmax_t>(kVornLogRotateSize) + 27);

    vorn_log_info("[VornScanSDK] next file");
    EXPECT_TRUE(Read(kVornInfoLogName) == "[VornScanSDK] next file\n");
    EXPECT_EQ(fs::file_size(info + kVornRotatedLogSuffix), static_cast<uintmax_t>(kVornLogRotateSize) + 27);

    // Another process rotated first: this one follows it to the new file and renames nothing.
    ASSERT_EQ(truncate(info.c_str(), kVornLogRotateSize + 1), 0);
    fs::rename(info, info + kVornRotatedLogSuffix);
    std::ofstream(info) << "other\n";
    vorn_log_info("[VornScanSDK] third");
    EXPECT_TRUE(Read(kVornInfoLogName) == "other\n[VornScanSDK] third\n");
    EXPECT_EQ(fs::file_size(info + kVornRotatedLogSuffix), static_cast<uintmax_t>(kVornLogRotateSize) + 1);
    EXPECT_TRUE(Read(kVornErrLogName).empty());
}

TEST_F(ScanDaemonLog, LogsAreNeverOpenedThroughALink)
{
    const std::string target = m_folder + "/precious";
    std::ofstream(target) << "keep";
    fs::create_symlink(target, m_folder + "/" + kVornInfoLogName);
    EXPECT_FALSE(VornInitDbg(m_folder));
    vorn_log_info("[VornScanSDK] must go nowhere");
    EXPECT_FALSE(VornReopenDbg(m_folder));
    vorn_log_info("[VornScanSDK] must go nowhere");
    EXPECT_EQ(Read("precious"), "keep");
}
