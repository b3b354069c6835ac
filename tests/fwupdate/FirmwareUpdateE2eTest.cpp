// The real updater, started from the monitor's tray under a headless desktop and driven through
// the accessibility bus as a user would, sending an image to a slow simulated USB printer.
#include "ChildProcess.h"
#include "DesktopSession.h"
#include "PrinterListFile.h"
#include "PrivateNamespace.h"
#include "SuiteRoot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

using namespace VornTest;

namespace {

const std::string c_strApp = "vornT905FW";
const std::string c_strTitle = "Vorn激光打印机升级助手";
// The simulator, its bus and a Qt program with accessibility take a while on a loaded machine.
constexpr int c_iStartTimeoutMs = 30000;
constexpr int c_iImageBytes = 5 * 1024 * 1024 / 2;
// Slow enough that the send takes seconds, so the window is read while chunks are under way.
constexpr int c_iPrinterDelayPerKiBMs = 2;

std::string ReadText(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteText(const std::string& strPath, const std::string& strText)
{
    std::ofstream file(strPath, std::ios::binary);
    file << strText;
    return bool(file);
}

class FirmwareUpdateE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.IsReady());
        ASSERT_TRUE(m_root.InstallProgram(VORN_FWUPDATE));
        m_strDir = MakeScratchFolder("fwupdate-e2e");
        const QString strPort = QStringLiteral("Vorn/VL2120DN?serial=SN0001");
        ASSERT_TRUE(PrinterListFile(QString::fromStdString(SuiteRoot::Path("cfg/printerlist.ini")))
                        .Write({{QStringLiteral("Desk"), QStringLiteral("Vorn VL2120DN"), CONNECT_USB, strPort,
                                 QStringLiteral("usb://") + strPort},
                                {QStringLiteral("Spare"), QStringLiteral("Vorn VC5100DN"), CONNECT_USB,
                                 QStringLiteral("Vorn/VC5100DN?serial=SN0009"), QString()}}));
        ASSERT_TRUE(WriteText(SuiteRoot::Path("cfg/Desk.dat"), std::string(16, '\0')));
        std::string strImage(c_iImageBytes, '\0');
        for (int i = 0; i < c_iImageBytes; ++i)
            strImage[i] = char(i * 7 + i / 251);
        m_strImage = m_strDir + "/update.fls";
        ASSERT_TRUE(WriteText(m_strImage, strImage));
        ASSERT_TRUE(WriteText(m_strDir + "/printers.conf",
                              "add Desk usb VL2120DN SN0001\nimage Desk delay-per-kib "
                                  + std::to_string(c_iPrinterDelayPerKiBMs) + "\n"));
        ASSERT_TRUE(m_desktop.Start()) << m_desktop.LastError() << m_desktop.Diagnostics();
    }

    std::string Shot(const char* szName)
    {
        const std::string strPath = std::string(SHOT_DIR) + "/fwupdate-" + szName + ".png";
        EXPECT_TRUE(m_desktop.ScreenshotWindow(c_strApp, c_strTitle, strPath)) << m_desktop.LastError();
        return strPath;
    }

    SuiteRoot m_root;
    DesktopSession m_desktop;
    std::string m_strDir;
    std::string m_strImage;
};

TEST_F(FirmwareUpdateE2e, SlowPrinterTakesTheImageWhileTheWindowAnswersAndShowsProgress)
{
    // The user starts the updater from the monitor's tray. The simulated bus exists only for the
    // simulator's children, so the monitor runs as its child and the updater it starts inherits
    // the bus.
    ASSERT_TRUE(m_root.InstallProgram(VORN_MONITOR));
    const pid_t pid = m_desktop.StartProgram({VORN_PRINTER_SIM, "--config", m_strDir + "/printers.conf",
                                              "--control-dir", m_strDir, "--event-log", m_strDir + "/events.log",
                                              "--", SuiteRoot::Path("bin/VornPrinterTool"), "-hide"},
                                             m_strDir + "/stderr.log");
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(m_desktop.WaitForTrayItems(1, c_iStartTimeoutMs).empty())
        << m_desktop.LastError() << m_desktop.Diagnostics() << ReadText(m_strDir + "/stderr.log");
    ASSERT_TRUE(m_desktop.TriggerTrayMenuEntry("打印机更新助手")) << m_desktop.LastError();
    ASSERT_TRUE(m_desktop.WaitForApplication(c_strApp, c_iStartTimeoutMs)
                && m_desktop.WaitForWindow(c_strApp, c_strTitle))
        << m_desktop.LastError() << m_desktop.Diagnostics() << ReadText(m_strDir + "/stderr.log");

    const stTableContent table = m_desktop.Table(c_strApp);
    ASSERT_TRUE(table.bFound) << m_desktop.LastError();
    EXPECT_EQ(table.listHeaders, (std::vector<std::string>{"打印机名称", "打印机型号", "连接方式", "连接状态"}));
    EXPECT_EQ(table.listRows, (std::vector<std::vector<std::string>>{{"Desk", "Vorn VL2120DN", "USB", "已连接"},
                                                                     {"Spare", "Vorn VC5100DN", "USB", "未连接"}}));
    std::cout << "screenshot: " << Shot("window") << std::endl;

    ASSERT_TRUE(m_desktop.Click(c_strApp, stWidgetQuery::Named("Desk", "table cell"))) << m_desktop.LastError();
    ASSERT_TRUE(m_desktop.SetText(c_strApp, stWidgetQuery::OfRole("text"), "file://" + m_strImage))
        << m_desktop.LastError();
    ASSERT_TRUE(m_desktop.Press(c_strApp, stWidgetQuery::Named("一键升级", "push button"))) << m_desktop.LastError();

    const stMessageBox ask = m_desktop.WaitForMessageBox(c_strApp, c_strTitle);
    ASSERT_TRUE(ask.bFound) << m_desktop.LastError();
    EXPECT_EQ(ask.Text(), "是否升级打印机 Desk ？");
    EXPECT_EQ(ask.listButtons, (std::vector<std::string>{"确  定", "取  消"}));
    std::cout << "screenshot: " << Shot("confirm") << std::endl;
    ASSERT_TRUE(m_desktop.PressMessageBoxButton(c_strApp, "确  定", c_strTitle)) << m_desktop.LastError();
    ASSERT_TRUE(m_desktop.WaitUntilGone(c_strApp, stWidgetQuery::OfRole("alert"))) << m_desktop.LastError();

    // While the printer takes its time the window keeps answering, its update button stays
    // disabled and the progress line (the window's third label) advances chunk by chunk.
    stWidgetQuery progressQuery = stWidgetQuery::OfRole("label", 2);
    progressQuery.strWindow = c_strTitle;
    std::set<std::string> setProgress;
    int iPollsDisabled = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline
           && !m_desktop.WaitForMessageBox(c_strApp, c_strTitle, 100).bFound) {
        const stWidgetState button = m_desktop.Widget(c_strApp, stWidgetQuery::Named("一键升级", "push button"), 2000);
        ASSERT_TRUE(button.bFound) << "the window stopped answering: " << m_desktop.LastError();
        const stWidgetState progress = m_desktop.Widget(c_strApp, progressQuery, 2000);
        if (button.bEnabled || !progress.bFound)
            continue;
        ++iPollsDisabled;
        if (setProgress.insert(progress.strName).second && setProgress.size() == 2)
            std::cout << "screenshot: " << Shot("sending") << std::endl;
    }
    EXPECT_GE(iPollsDisabled, 2);
    EXPECT_TRUE(setProgress.count("正在发送升级文件：1048576 / 2621440 字节"))
        << ::testing::PrintToString(std::vector<std::string>(setProgress.begin(), setProgress.end()));

    const stMessageBox done = m_desktop.WaitForMessageBox(c_strApp, c_strTitle);
    ASSERT_TRUE(done.bFound) << m_desktop.LastError();
    EXPECT_EQ(done.Text(), "操作成功，请等待打印机更新完成，更新过程中请勿断开电源。");
    std::cout << "screenshot: " << Shot("done") << std::endl;
    ASSERT_TRUE(m_desktop.PressMessageBoxButton(c_strApp, "确  定", c_strTitle)) << m_desktop.LastError();

    // The field holds the path without its URL prefix.
    EXPECT_EQ(m_desktop.Widget(c_strApp, stWidgetQuery::OfRole("text")).strText, m_strImage);
    const stToolResult printers = RunTool({VORN_PRINTER_SIM, "--send", m_strDir, "printers"});
    EXPECT_NE(printers.strStdout.find("1048576,1048576,524288"), std::string::npos) << printers.strStdout;
    EXPECT_TRUE(StopChild(pid, SIGTERM));
}

} // namespace
