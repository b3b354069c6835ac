// vorn.conf and where the backend looks for it.
#include "VornSaneConfig.h"

#include <gtest/gtest.h>

TEST(SaneConfig, ListsEveryAddressLineAndSkipsTheRest)
{
    const std::string text = "# network scanners\n"
                             "127.0.0.2\n"
                             "   127.0.0.3   # the second floor\r\n"
                             "\n"
                             "scanner.local\n"
                             "127.0.0.300\n"
                             "#127.0.0.4\n"
                             "127.0.0.5";
    EXPECT_EQ(VornParseScannerAddresses(text), (std::vector<std::string> {"127.0.0.2", "127.0.0.3", "127.0.0.5"}));
    EXPECT_TRUE(VornParseScannerAddresses("").empty());
}

TEST(SaneConfig, FoldersComeFromSaneConfigDirWithTheDefaultLastOnATrailingColon)
{
    EXPECT_EQ(VornConfigDirs(nullptr), (std::vector<std::string> {"/etc/sane.d"}));
    EXPECT_EQ(VornConfigDirs(""), (std::vector<std::string> {"/etc/sane.d"}));
    EXPECT_EQ(VornConfigDirs("/run/a:/run/b"), (std::vector<std::string> {"/run/a", "/run/b"}));
    EXPECT_EQ(VornConfigDirs("/run/a:"), (std::vector<std::string> {"/run/a", "/etc/sane.d"}));
}
