// Removal of scan data files: only page files, only directly inside the scan folder.
#include "scanFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ScanFiles : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorn-scanfiles-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_folder = m_root + "/scan";
        fs::create_directory(m_folder);
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string Touch(const std::string& path)
    {
        std::ofstream(path) << "data";
        return path;
    }
    std::string Page(int scan, int page) { return vorn_PageFileName(vorn_ScanBaseName(m_folder, 812, scan), page); }

    std::string m_root;
    std::string m_folder;
};

} // namespace

TEST_F(ScanFiles, NamesFollowPidIndexAndPage)
{
    EXPECT_EQ(vorn_ScanBaseName("/opt/vorn/vorn-printer-t905/scan", 812, 0),
              "/opt/vorn/vorn-printer-t905/scan/vornscandata_812_0");
    EXPECT_EQ(vorn_PageFileName("/x/vornscandata_812_0", 1), "/x/vornscandata_812_0_1.tmp");
}

TEST_F(ScanFiles, AbortRemovesOnlyThatScansPages)
{
    Touch(Page(1, 0));
    Touch(Page(1, 1));
    Touch(Page(10, 0));
    Touch(Page(11, 3));
    Touch(Page(0, 0));
    Touch(m_folder + "/vorn_scan_info.log");
    Touch(vorn_ScanBaseName(m_folder, 812, 1) + "_notes.txt");
    EXPECT_EQ(deleteFileList(m_folder, vorn_ScanBaseName(m_folder, 812, 1).c_str()), 0);
    EXPECT_FALSE(fs::exists(Page(1, 0)));
    EXPECT_FALSE(fs::exists(Page(1, 1)));
    EXPECT_TRUE(fs::exists(Page(10, 0)));
    EXPECT_TRUE(fs::exists(Page(11, 3)));
    EXPECT_TRUE(fs::exists(Page(0, 0)));
    EXPECT_TRUE(fs::exists(m_folder + "/vorn_scan_info.log"));
    EXPECT_TRUE(fs::exists(vorn_ScanBaseName(m_folder, 812, 1) + "_notes.txt"));
}

TEST_F(ScanFiles, AbortAcceptsTheBareBaseName)
{
    Touch(Page(2, 0));
    deleteFileList(m_folder, "vornscandata_812_2");
    EXPECT_FALSE(fs::exists(Page(2, 0)));
}

TEST_F(ScanFiles, AbortWithEmptyOrForeignNameRemovesNothing)
{
    Touch(Page(0, 0));
    const std::string outside = Touch(m_root + "/vornscandata_812_0_0.tmp");
    EXPECT_EQ(deleteFileList(m_folder, ""), 0);
    EXPECT_EQ(deleteFileList(m_folder, (m_root + "/vornscandata_812_0").c_str()), 0);
    EXPECT_EQ(deleteFileList(m_folder, "/"), 0);
    EXPECT_TRUE(fs::exists(Page(0, 0)));
    EXPECT_TRUE(fs::exists(outside));
}

TEST_F(ScanFiles, AbortSkipsLinksAndFoldersThatLookLikePages)
{
    const std::string target = Touch(m_root + "/precious");
    fs::create_symlink(target, Page(3, 0));
    fs::create_directory(Page(3, 1));
    deleteFileList(m_folder, vorn_ScanBaseName(m_folder, 812, 3).c_str());
    EXPECT_TRUE(fs::is_symlink(Page(3, 0)));
    EXPECT_TRUE(fs::is_directory(Page(3, 1)));
    EXPECT_TRUE(fs::exists(target));
}

TEST_F(ScanFiles, AbortOnMissingFolderFails)
{
    EXPECT_EQ(deleteFileList(m_folder + "/gone", "vornscandata_1_0"), -1);
}

TEST_F(ScanFiles, DeleteRemovesARegularFileInTheFolder)
{
    Touch(Page(0, 0));
    vorn_DeleteScanFile(m_folder, Page(0, 0).c_str());
    EXPECT_FALSE(fs::exists(Page(0, 0)));
    vorn_DeleteScanFile(m_folder, Page(0, 0).c_str());  // already gone: nothing happens
}

TEST_F(ScanFiles, DeleteRefusesEverythingOutsideOrIrregular)
{
    const std::string outside = Touch(m_root + "/outside.tmp");
    fs::create_directory(m_folder + "/sub");
    const std::string nested = Touch(m_folder + "/sub/page.tmp");
    const std::string target = Touch(m_root + "/target");
    fs::create_symlink(target, m_folder + "/link.tmp");
    fs::create_symlink(m_root, m_root + "/alias");

    vorn_DeleteScanFile(m_folder, outside.c_str());
    vorn_DeleteScanFile(m_folder, (m_folder + "/../outside.tmp").c_str());
    vorn_DeleteScanFile(m_folder, nested.c_str());
    vorn_DeleteScanFile(m_folder, (m_folder + "/sub").c_str());
    vorn_DeleteScanFile(m_folder, (m_folder + "/link.tmp").c_str());
    vorn_DeleteScanFile(m_folder, (m_root + "/alias/outside.tmp").c_str());
    vorn_DeleteScanFile(m_folder, "outside.tmp");
    vorn_DeleteScanFile(m_folder, (m_folder + "/.").c_str());

    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(nested));
    EXPECT_TRUE(fs::is_symlink(m_folder + "/link.tmp"));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::is_directory(m_folder));
}

TEST_F(ScanFiles, DeleteAcceptsTheFolderReachedThroughALink)
{
    fs::create_directory_symlink(m_folder, m_root + "/scanlink");
    Touch(Page(5, 0));
    vorn_DeleteScanFile(m_folder, (m_root + "/scanlink/" + fs::path(Page(5, 0)).filename().string()).c_str());
    EXPECT_FALSE(fs::exists(Page(5, 0)));
}

TEST_F(ScanFiles, UnterminatedNameIsReadOnlyWithinItsField)
{
    char name[256];
    memset(name, 'a', sizeof name);
    // Must not read past the 256-byte field; the name names nothing in the folder.
    vorn_DeleteScanFile(m_folder, name);
    EXPECT_EQ(deleteFileList(m_folder, name), 0);
}

TEST_F(ScanFiles, PagesOfConnectionsThatAreGoneAreSweptAway)
{
    const std::string live = Touch(Page(0, 0));
    const std::string gone = Touch(vorn_PageFileName(vorn_ScanBaseName(m_folder, 813, 2), 0));
    const std::string goneToo = Touch(vorn_PageFileName(vorn_ScanBaseName(m_folder, 7, 0), 11));
    const std::string log = Touch(m_folder + "/vorn_scan_info.log");
    const std::string lookalike = Touch(m_folder + "/vornscandata_813_2_0.tmp.bak");
    const std::string target = Touch(m_root + "/precious");
    fs::create_symlink(target, vorn_PageFileName(vorn_ScanBaseName(m_folder, 813, 3), 0));

    EXPECT_EQ(vorn_RemoveOrphanPages(m_folder, {812}), 0);
    EXPECT_TRUE(fs::exists(live));
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_FALSE(fs::exists(goneToo));
    EXPECT_TRUE(fs::exists(log));
    EXPECT_TRUE(fs::exists(lookalike));
    EXPECT_TRUE(fs::exists(target));

    // A connection that ends removes its own pages, all of its scans.
    Touch(Page(1, 4));
    EXPECT_EQ(vorn_RemoveConnectionPages(m_folder, 812), 0);
    EXPECT_FALSE(fs::exists(live));
    EXPECT_FALSE(fs::exists(Page(1, 4)));
    EXPECT_EQ(vorn_RemoveOrphanPages(m_folder + "/gone", {}), -1);
}

// The daemon writes and deletes there as root: a folder another user can write into, or a
// link that points somewhere else, would let that user steer those writes.
TEST_F(ScanFiles, ScanFolderMustBeAPrivateFolderOfTheDaemon)
{
    const std::string target = m_root + "/elsewhere";
    fs::create_directory(target);
    struct stCase {
        const char* name;
        std::function<void(const std::string&)> make;
        bool accepted;
    };
    const stCase cases[] = {
        {"missing", [](const std::string&) {}, true},
        {"private", [](const std::string& f) { fs::create_directory(f); chmod(f.c_str(), 0755); }, true},
        {"world writable", [](const std::string& f) { fs::create_directory(f); chmod(f.c_str(), 0777); }, false},
        {"group writable", [](const std::string& f) { fs::create_directory(f); chmod(f.c_str(), 0775); }, false},
        {"link", [&](const std::string& f) { fs::create_directory_symlink(target, f); }, false},
        {"file", [&](const std::string& f) { Touch(f); }, false},
        {"other owner", [](const std::string& f) { fs::create_directory(f); chmod(f.c_str(), 0755);
                                                   if (chown(f.c_str(), geteuid() + 1, -1) != 0) {} },
         geteuid() != 0},
    };
    int index = 0;
    for (const stCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = m_root + "/scan" + std::to_string(index++);
        c.make(folder);
        std::string problem;
        EXPECT_EQ(vorn_PrepareScanFolder(folder, problem), c.accepted) << problem;
        EXPECT_EQ(problem.empty(), c.accepted);
    }
    struct stat info {};
    ASSERT_EQ(stat((m_root + "/scan0").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
}
