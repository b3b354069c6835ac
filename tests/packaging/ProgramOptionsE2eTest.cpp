// The installed programs asked what they are: "--help" and "--version" answer with one line and
// exit 0 without acting (no daemon left running, no service started, nothing written into the
// suite's root), and the status command refuses other arguments and reports a missing service.
#include "ChildProcess.h"
#include "SuiteRoot.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace VornTest;

namespace {

struct stProgram {
    const char* pszBinary;
    const char* pszName;
};

const stProgram c_programs[] = {
    {VORN_SERVICE_BINARY, "vornT905Service"},
    {VORN_WATCHDOG_BINARY, "VornPrintWatchdog"},
    {VORN_SCAN_DAEMON_BINARY, "VornScanDaemon"},
    {VORN_STATUS_BINARY, "vorn-printer-status"},
};

// Command names of every process in the test's private PID namespace.
std::vector<std::string> ProcessNames()
{
    std::vector<std::string> listNames;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream comm(entry.path() / "comm");
        std::string strName;
        if (comm && std::getline(comm, strName))
            listNames.push_back(strName);
    }
    return listNames;
}

bool IsTreeEmpty(const std::string& strFolder)
{
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strFolder))
        if (!entry.is_directory())
            return false;
    return true;
}

class ProgramOptionsE2eTest : public testing::TestWithParam<stProgram> {
protected:
    SuiteRoot root;
    void SetUp() override { ASSERT_TRUE(root.IsReady()); }
};

} // namespace

TEST_P(ProgramOptionsE2eTest, HelpAndVersionAnswerOneLineAndDoNothingElse)
{
    const stProgram& program = GetParam();
    const std::string strName = program.pszName;
    const struct {
        const char* pszOption;
        std::string strStart;
    } c_options[] = {{"--help", "usage: " + strName + " "}, {"--version", strName + " 1."}};
    for (const auto& option : c_options) {
        const stToolResult result = RunTool({program.pszBinary, option.pszOption});
        ASSERT_TRUE(result.bStarted);
        EXPECT_EQ(result.iExitCode, 0) << option.pszOption;
        EXPECT_EQ(result.strStdout.rfind(option.strStart, 0), 0u) << result.strStdout;
        EXPECT_EQ(std::count(result.strStdout.begin(), result.strStdout.end(), '\n'), 1) << result.strStdout;
    }
    const std::vector<std::string> listNames = ProcessNames();
    for (const char* pszActor : {"VornScanDaemon", "VornPrintWatchd", "vornT905Service"})
        EXPECT_EQ(std::count(listNames.begin(), listNames.end(), pszActor), 0) << pszActor;
    EXPECT_TRUE(IsTreeEmpty(SuiteRoot::Path(""))) << "the program wrote into the suite's root";
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramOptionsE2eTest, testing::ValuesIn(c_programs),
                         [](const testing::TestParamInfo<stProgram>& info) {
                             std::string strName = info.param.pszName;
                             strName.erase(std::remove(strName.begin(), strName.end(), '-'), strName.end());
                             return strName;
                         });

TEST(StatusCommandE2eTest, RefusesUnknownArgumentsAndReportsAServiceThatNeverRan)
{
    SuiteRoot root;
    ASSERT_TRUE(root.IsReady());

    const stToolResult refused = RunTool({VORN_STATUS_BINARY, "--jsn"});
    EXPECT_EQ(refused.iExitCode, 2);
    EXPECT_TRUE(refused.strStdout.empty());

    const stToolResult text = RunTool({VORN_STATUS_BINARY});
    EXPECT_EQ(text.iExitCode, 1);
    EXPECT_EQ(text.strStdout,
              "service: not running (no heartbeat in /opt/vorn/vorn-printer-t905/cfg/service.hb)\n"
              "no printer list published yet\n");

    const stToolResult json = RunTool({VORN_STATUS_BINARY, "--json"});
    EXPECT_EQ(json.iExitCode, 1);
    EXPECT_NE(json.strStdout.find("\"alive\": false"), std::string::npos) << json.strStdout;
}
