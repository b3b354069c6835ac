// The headless desktop drives a real Qt program the way the suite's GUI tests will: widgets
// through AT-SPI, combo boxes with the mouse, the tray menu over D-Bus, balloons recorded.
#include "ChildProcess.h"
#include "DesktopSession.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace VornTest;

namespace {

constexpr const char* c_szProbe = "VornDesktopProbe";
constexpr const char* c_szWindow = "探针窗口";
// Short, for calls that are expected to fail: the test checks they give up, not how fast.
constexpr int c_iAbsentMs = 300;
constexpr int c_iProcessesGoneMs = 5000;
constexpr int c_iProcessPollMs = 50;

struct stScreen {
    int iWidth;
    int iHeight;
};

// Width and height from a PNG's header chunk.
stScreen PngSize(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    unsigned char header[24] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    auto BigEndian = [&header](int iAt) {
        return (header[iAt] << 24) | (header[iAt + 1] << 16) | (header[iAt + 2] << 8) | header[iAt + 3];
    };
    return {BigEndian(16), BigEndian(20)};
}

bool Inside(const stExtents& inner, const stExtents& outer)
{
    return inner.iWidth > 0 && inner.iHeight > 0 && inner.iX >= outer.iX && inner.iY >= outer.iY
        && inner.iX + inner.iWidth <= outer.iX + outer.iWidth && inner.iY + inner.iHeight <= outer.iY + outer.iHeight;
}

// Processes of this namespace other than the reaper and the test itself.
std::vector<int> OtherProcesses()
{
    std::vector<int> listPids;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        const int iPid = std::stoi(entry->d_name);
        if (iPid != 1 && iPid != getpid())
            listPids.push_back(iPid);
    }
    if (proc != nullptr)
        closedir(proc);
    return listPids;
}

bool NoOtherProcessesWithin(int iTimeoutMs)
{
    for (int iWaited = 0; iWaited < iTimeoutMs; iWaited += c_iProcessPollMs) {
        if (OtherProcesses().empty())
            return true;
        usleep(c_iProcessPollMs * 1000);
    }
    return OtherProcesses().empty();
}

// A started session with the probe program on it, stopped again at the end of the test.
class ProbeOnDesktop {
public:
    explicit ProbeOnDesktop(stScreen screen) : m_desktop(screen.iWidth, screen.iHeight) {}
    ~ProbeOnDesktop() { StopChild(m_pidProbe, SIGTERM); }

    bool Start()
    {
        if (!m_desktop.Start())
            return false;
        m_pidProbe = m_desktop.StartProgram({PROBE_PATH});
        return m_pidProbe > 0 && m_desktop.WaitForApplication(c_szProbe) && m_desktop.WaitForWindow(c_szProbe, c_szWindow);
    }
    DesktopSession& Desktop() { return m_desktop; }

private:
    DesktopSession m_desktop;
    pid_t m_pidProbe = -1;
};

void PrintTo(const stScreen& screen, std::ostream* stream)
{
    *stream << screen.iWidth << "x" << screen.iHeight;
}

class DesktopSessionAtScreenSize : public testing::TestWithParam<stScreen> {};

} // namespace

TEST_P(DesktopSessionAtScreenSize, ReadsAndDrivesEveryKindOfWidgetTheTrayAndItsBalloons)
{
    const stScreen screen = GetParam();
    const std::string strSize = std::to_string(screen.iWidth) + "x" + std::to_string(screen.iHeight);
    {
        ProbeOnDesktop probe(screen);
        DesktopSession& desktop = probe.Desktop();
        ASSERT_TRUE(probe.Start()) << desktop.LastError() << "\n" << desktop.Diagnostics();
        EXPECT_EQ(desktop.WindowTitles(c_szProbe), std::vector<std::string>{c_szWindow});

        const stTableContent table = desktop.Table(c_szProbe);
        ASSERT_TRUE(table.bFound) << desktop.LastError();
        EXPECT_EQ(table.listHeaders, (std::vector<std::string>{"打印机", "状态", "Serial"}));
        EXPECT_EQ(table.listRows, (std::vector<std::vector<std::string>>{{"VL2120DN", "就绪", "SN0001"},
                                                                        {"VL3300", "缺纸", "SN0002"}}));

        const stWidgetState cell = desktop.Widget(c_szProbe, stWidgetQuery::Named("缺纸", "table cell"));
        ASSERT_TRUE(cell.bFound) << desktop.LastError();
        EXPECT_TRUE(Inside(cell.extents, desktop.Widget(c_szProbe, stWidgetQuery::OfRole("table")).extents));

        const stWidgetState locked = desktop.Widget(c_szProbe, stWidgetQuery::Named("不可用", "push button"));
        ASSERT_TRUE(locked.bFound) << desktop.LastError();
        EXPECT_FALSE(locked.bEnabled);
        EXPECT_TRUE(locked.bShowing);

        // Everything the program shows lies on the screen of the chosen size.
        const stWidgetState window = desktop.Widget(c_szProbe, stWidgetQuery::OfRole("frame"));
        ASSERT_TRUE(window.bFound) << desktop.LastError();
        EXPECT_EQ(window.strName, c_szWindow);
        EXPECT_TRUE(Inside(window.extents, {0, 0, screen.iWidth, screen.iHeight}));
        EXPECT_TRUE(Inside(locked.extents, window.extents));

        stWidgetQuery autostart = stWidgetQuery::Named("开机自动启动", "check box");
        EXPECT_FALSE(desktop.Widget(c_szProbe, autostart).bChecked);
        ASSERT_TRUE(desktop.Press(c_szProbe, autostart)) << desktop.LastError();
        autostart.enChecked = enWidgetState::Yes;
        EXPECT_TRUE(desktop.Widget(c_szProbe, autostart).bFound) << desktop.LastError();

        ASSERT_TRUE(desktop.SetText(c_szProbe, stWidgetQuery::Named("名称", "text"), "打印机 A1"))
            << desktop.LastError();
        EXPECT_TRUE(desktop.Widget(c_szProbe, stWidgetQuery::Named("已输入：打印机 A1", "label")).bFound)
            << desktop.LastError();
        EXPECT_EQ(desktop.Widget(c_szProbe, stWidgetQuery::Named("名称", "text")).strText, "打印机 A1");
        ASSERT_TRUE(desktop.PressKeys(c_szProbe, stWidgetQuery::Named("名称", "text"), {"End", "BackSpace", "2"}))
            << desktop.LastError();
        EXPECT_TRUE(desktop.Widget(c_szProbe, stWidgetQuery::Named("已输入：打印机 A2", "label")).bFound)
            << desktop.LastError();

        ASSERT_TRUE(desktop.SelectComboItem(c_szProbe, stWidgetQuery::OfRole("combo box"), "信封")) << desktop.LastError();
        EXPECT_TRUE(desktop.Widget(c_szProbe, stWidgetQuery::Named("纸张：信封", "label")).bFound) << desktop.LastError();
        EXPECT_EQ(desktop.Widget(c_szProbe, stWidgetQuery::OfRole("combo box")).strName, "信封");

        ASSERT_TRUE(desktop.Press(c_szProbe, stWidgetQuery::Named("显示消息", "push button"))) << desktop.LastError();
        const stMessageBox box = desktop.WaitForMessageBox(c_szProbe, "提示");
        ASSERT_TRUE(box.bFound) << desktop.LastError();
        EXPECT_EQ(box.Text(), "打印机缺纸，请放入纸张。");
        EXPECT_EQ(box.listButtons, (std::vector<std::string>{"确  定", "取  消"}));
        EXPECT_TRUE(Inside(box.extents, {0, 0, screen.iWidth, screen.iHeight}));
        const std::string strBoxShot = std::string(SHOT_DIR) + "/desktop-box-" + strSize + ".png";
        ASSERT_TRUE(desktop.ScreenshotWindow(c_szProbe, "提示", strBoxShot)) << desktop.LastError();
        EXPECT_EQ(PngSize(strBoxShot).iHeight, box.extents.iHeight);
        ASSERT_TRUE(desktop.PressMessageBoxButton(c_szProbe, "取  消", "提示")) << desktop.LastError();
        EXPECT_TRUE(desktop.Widget(c_szProbe, stWidgetQuery::Named("结果：取消", "label")).bFound) << desktop.LastError();

        const std::string strWindowShot = std::string(SHOT_DIR) + "/desktop-window-" + strSize + ".png";
        ASSERT_TRUE(desktop.ScreenshotWindow(c_szProbe, c_szWindow, strWindowShot)) << desktop.LastError();
        EXPECT_EQ(PngSize(strWindowShot).iWidth, window.extents.iWidth);

        const std::vector<stTrayItem> listItems = desktop.WaitForTrayItems();
        ASSERT_EQ(listItems.size(), 1u) << desktop.LastError();
        EXPECT_EQ(listItems[0].strToolTipTitle, "探针托盘");
        EXPECT_TRUE(listItems[0].bHasIconPixmap);
        EXPECT_EQ(desktop.TrayMenuLabels(), (std::vector<std::string>{"显示窗口", "显示气泡"})) << desktop.LastError();

        ASSERT_TRUE(desktop.TriggerTrayMenuEntry("显示气泡")) << desktop.LastError();
        ASSERT_TRUE(desktop.TriggerTrayMenuEntry("显示气泡")) << desktop.LastError();
        const stNotification second = desktop.WaitForNotification(2);
        ASSERT_NE(second.uId, 0u) << desktop.LastError();
        const std::vector<stNotification> listShown = desktop.Notifications();
        ASSERT_EQ(listShown.size(), 2u);
        for (const stNotification& shown : listShown) {
            EXPECT_EQ(shown.strAppName, c_szProbe);
            EXPECT_EQ(shown.strSummary, "缺纸");
            EXPECT_EQ(shown.strBody, "请在纸盒中放入纸张");
            EXPECT_EQ(shown.strAppIcon, "dialog-warning");
            EXPECT_EQ(shown.iExpireTimeoutMs, 4000);
            EXPECT_EQ(shown.iUrgency, 1);
        }

        // The recorder answers the rest of the notification interface, as a desktop's would.
        auto AskNotifications = [&desktop](const std::string& strMethod, const std::vector<std::string>& listArgs) {
            stToolOptions options;
            options.listEnv = desktop.Environment();
            std::vector<std::string> listArgv = {"dbus-send", "--session", "--print-reply",
                                                 "--dest=org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                 "org.freedesktop.Notifications." + strMethod};
            listArgv.insert(listArgv.end(), listArgs.begin(), listArgs.end());
            return RunTool(listArgv, options);
        };
        EXPECT_NE(AskNotifications("GetCapabilities", {}).strStdout.find("\"body\""), std::string::npos);
        EXPECT_TRUE(AskNotifications("GetServerInformation", {}).Succeeded());
        ASSERT_TRUE(AskNotifications("CloseNotification", {"uint32:" + std::to_string(second.uId)}).Succeeded());
        EXPECT_FALSE(desktop.Notifications().at(0).bClosed);
        EXPECT_TRUE(desktop.Notifications().at(1).bClosed);

        // The tray's way back to a hidden window (hidden by a button, then closed as a user
        // closes it), and a click on the icon itself.
        ASSERT_TRUE(desktop.Press(c_szProbe, stWidgetQuery::Named("隐藏窗口", "push button"))) << desktop.LastError();
        EXPECT_TRUE(desktop.WaitUntilGone(c_szProbe, stWidgetQuery::Named("显示消息", "push button")))
            << desktop.LastError();
        ASSERT_TRUE(desktop.TriggerTrayMenuEntry("显示窗口")) << desktop.LastError();
        ASSERT_TRUE(desktop.Widget(c_szProbe, stWidgetQuery::Named("显示消息", "push button")).bShowing);
        ASSERT_TRUE(desktop.CloseWindow(c_szProbe, c_szWindow)) << desktop.LastError();
        EXPECT_TRUE(desktop.WaitUntilGone(c_szProbe, stWidgetQuery::Named("显示消息", "push button")))
            << desktop.LastError();
        EXPECT_TRUE(desktop.WindowTitles(c_szProbe).empty());
        ASSERT_TRUE(desktop.TriggerTrayMenuEntry("显示窗口")) << desktop.LastError();
        EXPECT_TRUE(desktop.Press(c_szProbe, stWidgetQuery::Named("显示消息", "push button"))) << desktop.LastError();
        ASSERT_TRUE(desktop.PressMessageBoxButton(c_szProbe, "确  定")) << desktop.LastError();
        ASSERT_TRUE(desktop.ActivateTrayItem()) << desktop.LastError();
        EXPECT_TRUE(desktop.Widget(c_szProbe, stWidgetQuery::Named("托盘图标已点击", "label")).bFound)
            << desktop.LastError();

        const std::string strScreenShot = std::string(SHOT_DIR) + "/desktop-" + strSize + ".png";
        ASSERT_TRUE(desktop.Screenshot(strScreenShot)) << desktop.LastError();
        const stScreen shot = PngSize(strScreenShot);
        EXPECT_EQ(shot.iWidth, screen.iWidth);
        EXPECT_EQ(shot.iHeight, screen.iHeight);
    }
    EXPECT_TRUE(NoOtherProcessesWithin(c_iProcessesGoneMs)) << OtherProcesses().size() << " processes left behind";
}

INSTANTIATE_TEST_SUITE_P(Screens, DesktopSessionAtScreenSize,
                         testing::Values(stScreen{1920, 1080}, stScreen{2560, 1440}),
                         [](const testing::TestParamInfo<stScreen>& info) {
                             return "Screen" + std::to_string(info.param.iWidth) + "x" + std::to_string(info.param.iHeight);
                         });

TEST(DesktopSession, CallsThatCannotSucceedGiveUpAndNameWhatTheyAwaited)
{
    ProbeOnDesktop probe({1920, 1080});
    DesktopSession& desktop = probe.Desktop();
    ASSERT_TRUE(probe.Start()) << desktop.LastError() << "\n" << desktop.Diagnostics();
    struct stCase {
        const char* szCall;
        std::function<bool()> call;
        const char* szNamed;
    };
    const std::vector<stCase> listCases = {
        {"a program that never starts", [&] { return desktop.WaitForApplication("NoSuchProgram", c_iAbsentMs); },
         "NoSuchProgram"},
        {"a widget that stays", [&] { return desktop.WaitUntilGone(c_szProbe, stWidgetQuery::OfRole("table"), c_iAbsentMs); },
         "to go from the screen"},
        {"a window that never opens", [&] { return desktop.WaitForWindow(c_szProbe, "设置", c_iAbsentMs); }, "设置"},
        {"a missing widget", [&] { return desktop.Widget(c_szProbe, stWidgetQuery::Named("没有"), c_iAbsentMs).bFound; },
         "没有"},
        {"a button that stays disabled",
         [&] {
             stWidgetQuery query = stWidgetQuery::Named("不可用", "push button");
             query.enEnabled = enWidgetState::Yes;
             return desktop.Widget(c_szProbe, query, c_iAbsentMs).bFound;
         },
         "不可用"},
        {"a disabled button",
         [&] { return desktop.Press(c_szProbe, stWidgetQuery::Named("不可用", "push button"), c_iAbsentMs); }, "不可用"},
        {"text into a missing line edit",
         [&] { return desktop.SetText(c_szProbe, stWidgetQuery::Named("地址", "text"), "x", c_iAbsentMs); }, "地址"},
        {"an item the combo box lacks",
         [&] { return desktop.SelectComboItem(c_szProbe, stWidgetQuery::OfRole("combo box"), "B5", c_iAbsentMs); }, "B5"},
        {"a message box nobody opened", [&] { return desktop.WaitForMessageBox(c_szProbe, "", c_iAbsentMs).bFound; },
         "message box"},
        {"a message box button nobody can press",
         [&] { return desktop.PressMessageBoxButton(c_szProbe, "确  定", "", c_iAbsentMs); }, "确  定"},
        {"a tray entry the menu lacks", [&] { return !desktop.WaitForTrayItems().empty() && desktop.TriggerTrayMenuEntry("退出"); }, "退出"},
        {"a second tray item", [&] { return !desktop.WaitForTrayItems(2, c_iAbsentMs).empty(); }, "2 tray item"},
        {"a balloon never shown", [&] { return desktop.WaitForNotification(1, c_iAbsentMs).uId != 0; }, "notification number 1"},
    };
    for (const stCase& testCase : listCases) {
        EXPECT_FALSE(testCase.call()) << testCase.szCall;
        EXPECT_NE(desktop.LastError().find(testCase.szNamed), std::string::npos)
            << testCase.szCall << ": " << desktop.LastError();
    }
    // The driver outlives failed calls.
    EXPECT_TRUE(desktop.Press(c_szProbe, stWidgetQuery::Named("显示消息", "push button"))) << desktop.LastError();
    EXPECT_TRUE(desktop.WaitForMessageBox(c_szProbe).bFound) << desktop.LastError();
}
