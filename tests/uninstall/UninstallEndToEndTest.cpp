// The real queue-removal tool against a throwaway CUPS: which queues go, which stay, names
// full of shell characters, a translated listing, and CUPS not running at all.
#include "ChildProcess.h"
#include "CupsScheduler.h"
#include "SuiteRoot.h"
#include "TestPpd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>

using namespace VornTest;

namespace {

const std::string c_strCode = "VC5100DN";
const std::string c_strSuiteModel = SuiteModelName(c_strCode);

class UninstallEndToEndTest : public testing::Test {
protected:
    SuiteRoot root;
    CupsScheduler cups;

    void SetUp() override
    {
        ASSERT_TRUE(root.IsReady());
        ASSERT_TRUE(cups.IsReady()) << cups.LastError();
        ASSERT_TRUE(cups.Start()) << cups.LastError();
    }

    void AddQueue(const std::string& strName, const std::string& strUri, const std::string& strModel = c_strSuiteModel)
    {
        ASSERT_TRUE(cups.AddQueue(strName, strUri, strModel)) << cups.LastError();
    }

    static stToolResult RunUninstall(const std::string& strLang = "C")
    {
        stToolOptions options;
        options.listEnv = {"LANG=" + strLang, "LC_ALL=" + strLang};
        return RunTool({VORN_UNINSTALL_BINARY}, options);
    }

    // The queue names "lpstat -v" lists, whatever the tool left.
    std::set<std::string> Queues() const
    {
        stToolOptions options;
        options.listEnv = {"LANG=C", "LC_ALL=C"};
        std::istringstream listing(cups.Run({"lpstat", "-v"}, options).strStdout);
        std::set<std::string> setNames;
        std::string strDevice, strFor, strName;
        std::string strLine;
        while (std::getline(listing, strLine)) {
            std::istringstream words(strLine);
            if (words >> strDevice >> strFor >> strName && strName.size() > 1)
                setNames.insert(strName.substr(0, strName.size() - 1));
        }
        return setNames;
    }
};

TEST_F(UninstallEndToEndTest, DeletesTheSuiteQueuesAndNothingElse)
{
    AddQueue("SuiteUsb", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    AddQueue("SuiteSocket", CupsScheduler::SocketUri("127.0.0.2"));
    AddQueue("SuiteVornSocket", CupsScheduler::VornSocketUri("127.0.0.3"));
    // Another driver's queue stays whatever its device, and so does a suite PPD behind a
    // backend the suite does not drive.
    AddQueue("ForeignUsb", CupsScheduler::UsbUri(c_strCode, "SN0002"), c_strForeignModelName);
    AddQueue("SuiteModelOverIpp", "ipp://127.0.0.1:8631/ipp/print");

    const stToolResult result = RunUninstall();
    ASSERT_TRUE(result.bStarted);
    EXPECT_EQ(result.iExitCode, 0);
    EXPECT_EQ(Queues(), (std::set<std::string>{"ForeignUsb", "SuiteModelOverIpp"})) << cups.Diagnostics();
}

TEST_F(UninstallEndToEndTest, LeavesNoListingFileBehind)
{
    AddQueue("SuiteUsb", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    ASSERT_EQ(RunUninstall().iExitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(SuiteRoot::Path("temp/un_printerlist.tmp")));
    EXPECT_TRUE(std::filesystem::is_empty(SuiteRoot::Path("temp")));
    EXPECT_TRUE(std::filesystem::is_empty(SuiteRoot::Path("log")));
}

TEST_F(UninstallEndToEndTest, NamesWithShellCharactersAreDeletedByNameAndRunNothing)
{
    // Were a name ever handed to a shell, it would delete the foreign queue "Victim".
    const std::set<std::string> setHostile = {
        "Semicolon;lpadmin${IFS}-x${IFS}Victim",
        "Dollar$(lpadmin${IFS}-x${IFS}Victim)",
        "Backquote`lpadmin${IFS}-x${IFS}Victim`",
        "Pipe|lpadmin${IFS}-x${IFS}Victim",
        "-Dash&&!*",
    };
    for (const std::string& strName : setHostile)
        AddQueue(strName, CupsScheduler::UsbUri(c_strCode, "SN0001"));
    AddQueue("Victim", CupsScheduler::UsbUri(c_strCode, "SN0002"), c_strForeignModelName);
    ASSERT_EQ(Queues().size(), setHostile.size() + 1);

    ASSERT_EQ(RunUninstall().iExitCode, 0);
    EXPECT_EQ(Queues(), std::set<std::string>{"Victim"}) << cups.Diagnostics();
}

TEST_F(UninstallEndToEndTest, TranslatedListingFindsTheSameQueues)
{
    AddQueue("SuiteUsb", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    AddQueue("SuiteSocket", CupsScheduler::SocketUri("127.0.0.2"));
    AddQueue("Foreign", CupsScheduler::SocketUri("127.0.0.4"), c_strForeignModelName);

    ASSERT_EQ(RunUninstall("zh_CN.UTF-8").iExitCode, 0);
    EXPECT_EQ(Queues(), std::set<std::string>{"Foreign"});
}

TEST_F(UninstallEndToEndTest, ExitsZeroWhenCupsIsNotRunning)
{
    AddQueue("SuiteUsb", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    ASSERT_TRUE(cups.Stop());

    const stToolResult result = RunUninstall();
    ASSERT_TRUE(result.bStarted);
    EXPECT_EQ(result.iExitCode, 0);

    // Nothing was deleted behind the scheduler's back.
    ASSERT_TRUE(cups.Start()) << cups.LastError();
    EXPECT_EQ(Queues(), std::set<std::string>{"SuiteUsb"});
}

} // namespace

namespace {

TEST_F(UninstallEndToEndTest, OptionsAnswerOrRefuseWithoutDeletingAnything)
{
    struct stCall {
        std::vector<std::string> listArgs;
        int iExitCode;
        std::string strStdoutStart;
    };
    const stCall c_calls[] = {
        {{"--help"}, 0, "usage: VornPrintUninstall "},
        {{"--version"}, 0, "VornPrintUninstall 1."},
        // A typo or a habit from other tools must never cost the user every queue.
        {{"-h"}, 2, ""},
        {{"--force"}, 2, ""},
        {{"extra", "--help"}, 0, "usage: VornPrintUninstall "},
    };
    AddQueue("SuiteUsb", CupsScheduler::UsbUri(c_strCode, "SN0001"));
    for (const stCall& call : c_calls) {
        std::vector<std::string> listCommand = {VORN_UNINSTALL_BINARY};
        listCommand.insert(listCommand.end(), call.listArgs.begin(), call.listArgs.end());
        const stToolResult result = RunTool(listCommand);
        ASSERT_TRUE(result.bStarted);
        EXPECT_EQ(result.iExitCode, call.iExitCode) << call.listArgs.front();
        EXPECT_EQ(result.strStdout.rfind(call.strStdoutStart, 0), 0u) << result.strStdout;
        EXPECT_EQ(Queues(), std::set<std::string>{"SuiteUsb"}) << call.listArgs.front();
    }
}

} // namespace
