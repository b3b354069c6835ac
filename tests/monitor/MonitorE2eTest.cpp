// The real status monitor on a private headless desktop, as a user meets it: fed by the real
// service, a throwaway CUPS and simulated network printers; texts read through AT-SPI, the
// tray menu and balloons through the session bus.
#include "ChildProcess.h"
#include "CupsScheduler.h"
#include "DesktopSession.h"
#include "PrinterListFile.h"
#include "ServiceE2eSupport.h"
#include "SuiteRoot.h"
#include "TestPpd.h"
#include "UtilPrinterStatus.h"

#include <QFile>

#include <gtest/gtest.h>

#include <signal.h>

using namespace ServiceE2e;
using namespace VornTest;

namespace {

constexpr const char* c_szApp = "VornPrinterTool";
constexpr const char* c_szWindow = "Vorn激光打印机助手";
constexpr const char* c_szSettings = "设置";
constexpr const char* c_szAutostartEntry = "/opt/apps/vorn-printer-t905/entries/autostart/vorn-t905-tool-autostart.desktop";
// The service publishes a new queue list within one 5 s pass, a printer's change within a
// second or two; sanitizer builds are slower, so the waits only bound a failing test.
constexpr int c_iServiceWaitMs = 20000;
constexpr int c_iRowWaitMs = 15000;

using Rows = std::vector<std::vector<std::string>>;

// Polls the monitor's table until a row holds the wanted text in the column.
bool WaitForCell(DesktopSession& desktop, size_t uRow, size_t uColumn, const std::string& strWanted,
                 int iTimeoutMs = c_iRowWaitMs)
{
    return WaitFor(
        [&] {
            const stTableContent table = desktop.Table(c_szApp, stWidgetQuery::OfRole("table"), 1000);
            return uRow < table.listRows.size() && uColumn < table.listRows[uRow].size()
                && table.listRows[uRow][uColumn] == strWanted;
        },
        iTimeoutMs);
}

// Width and height from a PNG's header chunk.
std::pair<int, int> PngSize(const std::string& strPath)
{
    const QByteArray ba = ReadFile(strPath);
    if (ba.size() < 24)
        return {0, 0};
    auto BigEndian = [&ba](int iAt) {
        return (uint8_t(ba[iAt]) << 24) | (uint8_t(ba[iAt + 1]) << 16) | (uint8_t(ba[iAt + 2]) << 8) | uint8_t(ba[iAt + 3]);
    };
    return {BigEndian(16), BigEndian(20)};
}

Rows TableRows(DesktopSession& desktop)
{
    return desktop.Table(c_szApp).listRows;
}

std::string RowsText(const Rows& rows)
{
    std::string str;
    for (const auto& row : rows) {
        for (const auto& cell : row)
            str += cell + " | ";
        str += "\n";
    }
    return str;
}

// The lines of one job in "lpstat -W all -l" output, up to the next job.
std::string JobBlock(const std::string& strListing, const std::string& strJob)
{
    const size_t uStart = strListing.find(strJob + " ");
    if (uStart == std::string::npos)
        return std::string();
    const size_t uNext = strListing.find("\n", strListing.find("\n", uStart) + 1);
    size_t uEnd = uNext;
    while (uEnd != std::string::npos && uEnd + 1 < strListing.size() && strListing[uEnd + 1] == '\t')
        uEnd = strListing.find("\n", uEnd + 1);
    return strListing.substr(uStart, uEnd == std::string::npos ? std::string::npos : uEnd - uStart);
}

class MonitorE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.IsReady());
        ASSERT_TRUE(m_root.InstallProgram(MONITOR_PATH));
        ASSERT_TRUE(m_root.InstallProgram(AUTOSTART_ENTRY));
    }

    void TearDown() override
    {
        if (m_pidMonitor > 0)
            StopChild(m_pidMonitor, SIGTERM);
    }

    bool StartMonitor(DesktopSession& desktop)
    {
        m_pidMonitor = desktop.StartProgram({SuiteRoot::Path("bin/VornPrinterTool")}, SuiteRoot::Path("log/monitor.err"));
        if (m_pidMonitor > 0 && desktop.WaitForApplication(c_szApp) && desktop.WaitForWindow(c_szApp, c_szWindow))
            return true;
        std::string strTitles;
        for (const std::string& strTitle : desktop.WindowTitles(c_szApp))
            strTitles += "\"" + strTitle + "\" ";
        ADD_FAILURE() << "windows: " << strTitles << "\nmonitor errors:\n"
                      << ReadFile(SuiteRoot::Path("log/monitor.err")).constData();
        return false;
    }

    // Ends through the tray as a user would; true once the process is gone.
    bool ExitThroughTray(DesktopSession& desktop, int iTimeoutMs)
    {
        if (!desktop.TriggerTrayMenuEntry("退出"))
            return false;
        const bool bEnded = WaitFor([&] { return !IsChildAlive(m_pidMonitor); }, iTimeoutMs);
        if (bEnded)
            m_pidMonitor = -1;
        return bEnded;
    }

    SuiteRoot m_root;
    pid_t m_pidMonitor = -1;
};

} // namespace

TEST_F(MonitorE2eTest, RowsAndBalloonsFollowThePrintersAndAPanelCancelEmptiesTheQueueOnce)
{
    ASSERT_TRUE(m_root.InstallProgram(SERVICE_PATH));
    CupsScheduler cups;
    ASSERT_TRUE(cups.Start()) << cups.LastError();
    ASSERT_TRUE(cups.AddQueue("Front", CupsScheduler::VornSocketUri("127.0.0.2"), SuiteModelName("VL2120DN")));
    ASSERT_TRUE(cups.AddQueue("Back", CupsScheduler::VornSocketUri("127.0.0.3"), SuiteModelName("VL2120DN")));
    PrinterSimulator sim;
    // Printing printers are read every second.
    ASSERT_TRUE(sim.Start({"add P2 udp 127.0.0.2 VL2120DN", "set P2 status printing", "set P2 toner 7532",
                           "add P3 udp 127.0.0.3 VL2120DN", "set P3 status printing"}));
    ServiceProcess service;
    ASSERT_TRUE(service.Start());
    DesktopSession desktop;
    ASSERT_TRUE(desktop.Start()) << desktop.LastError() << "\n" << desktop.Diagnostics();
    ASSERT_TRUE(StartMonitor(desktop)) << desktop.LastError() << "\n" << desktop.Diagnostics();

    const stTableContent table = desktop.Table(c_szApp);
    ASSERT_TRUE(table.bFound) << desktop.LastError();
    EXPECT_EQ(table.listHeaders, (std::vector<std::string>{"打印机名称", "连接方式", "剩余碳粉量", "状态"}));
    ASSERT_TRUE(WaitForCell(desktop, 0, 3, "正在打印", c_iServiceWaitMs)) << RowsText(TableRows(desktop));
    ASSERT_TRUE(WaitForCell(desktop, 1, 2, "75.32%")) << RowsText(TableRows(desktop));
    // The service lists the queues in the order CUPS keeps them.
    EXPECT_EQ(TableRows(desktop), (Rows{{"Back", "网络(127.0.0.3)", "100.00%", "正在打印"},
                                       {"Front", "网络(127.0.0.2)", "75.32%", "正在打印"}}));

    const std::vector<stTrayItem> listTray = desktop.WaitForTrayItems();
    ASSERT_EQ(listTray.size(), 1u);
    EXPECT_EQ(listTray[0].strToolTipTitle, c_szWindow);
    EXPECT_EQ(desktop.TrayMenuLabels(), (std::vector<std::string>{"显示主界面", "打印机更新助手", "设置", "退出"}));
    EXPECT_TRUE(desktop.Notifications().empty());

    // Toner low while printing: in the row and as a warning balloon.
    ASSERT_TRUE(sim.Send({"warning", "add", "P2", "0x110D"}));
    EXPECT_TRUE(WaitForCell(desktop, 1, 3, "正在打印(碳粉不足)")) << RowsText(TableRows(desktop));
    stNotification balloon = desktop.WaitForNotification(1);
    EXPECT_EQ(balloon.strSummary, "Front");
    EXPECT_EQ(balloon.strBody, "碳粉不足");
    EXPECT_EQ(balloon.strAppIcon, "dialog-warning");
    EXPECT_EQ(balloon.iExpireTimeoutMs, 3000);

    // The front cover opened: the error replaces the state, as a critical balloon.
    ASSERT_TRUE(sim.Send({"error", "add", "P3", "0x1106"}));
    EXPECT_TRUE(WaitForCell(desktop, 0, 3, "前盖已打开")) << RowsText(TableRows(desktop));
    balloon = desktop.WaitForNotification(2);
    EXPECT_EQ(balloon.strSummary, "Back");
    EXPECT_EQ(balloon.strBody, "前盖已打开");
    EXPECT_EQ(balloon.strAppIcon, "dialog-error");

    // Cancel pressed on Front's panel: its CUPS jobs go, once; a job sent while the printer
    // still cancels stays.
    const std::string strJob1 = cups.SubmitRawJob("Front", "page data");
    ASSERT_FALSE(strJob1.empty()) << cups.LastError();
    ASSERT_TRUE(cups.WaitForJobListing("Front", "job-printing"));
    ASSERT_TRUE(sim.Send({"set", "P2", "status", "canceling"}));
    EXPECT_TRUE(WaitForCell(desktop, 1, 3, "正在取消任务")) << RowsText(TableRows(desktop));
    EXPECT_TRUE(WaitFor([&] { return JobBlock(cups.JobListing("Front"), strJob1).find("job-canceled-by-user") != std::string::npos; },
                        c_iRowWaitMs))
        << cups.JobListing("Front");
    const std::string strJob2 = cups.SubmitRawJob("Front", "more page data");
    ASSERT_FALSE(strJob2.empty()) << cups.LastError();
    ASSERT_TRUE(sim.Send({"set", "P2", "toner", "7000"}));
    EXPECT_TRUE(WaitForCell(desktop, 1, 2, "70.00%"));
    EXPECT_NE(JobBlock(cups.JobListing("Front"), strJob2).find("job-printing"), std::string::npos)
        << cups.JobListing("Front");
    cups.CancelJob(strJob2);

    // A queue removed from CUPS leaves the table after the service's next pass.
    ASSERT_TRUE(cups.RemoveQueue("Back"));
    EXPECT_TRUE(WaitFor([&] { return TableRows(desktop).size() == 1; }, c_iServiceWaitMs)) << RowsText(TableRows(desktop));
    EXPECT_EQ(TableRows(desktop).at(0).at(0), "Front");

    // The settings dialog at the design width, and Cancel hides it again.
    ASSERT_TRUE(desktop.TriggerTrayMenuEntry(c_szSettings));
    const std::string strSettingsShot = SHOT_DIR "/monitor-settings-1920.png";
    ASSERT_TRUE(desktop.ScreenshotWindow(c_szApp, c_szSettings, strSettingsShot)) << desktop.LastError();
    EXPECT_EQ(PngSize(strSettingsShot), std::make_pair(400, 300));
    ASSERT_TRUE(desktop.Press(c_szApp, stWidgetQuery::Named("取消", "push button")));
    EXPECT_TRUE(desktop.WaitUntilGone(c_szApp, stWidgetQuery::Named("开机启动", "check box")));
    EXPECT_FALSE(FileExists(c_szAutostartEntry));

    // "退出" ends the program and its three workers promptly.
    EXPECT_TRUE(ExitThroughTray(desktop, 4000)) << desktop.LastError();
}

TEST_F(MonitorE2eTest, WideDesktopScalesTheWindowsAndAutostartIsSwitchedFromTheSettings)
{
    const QList<stPrinterInfo> listInfo = {
        {QStringLiteral("办公室打印机"), QStringLiteral("Vorn VL2120DN"), 1, QStringLiteral("Vorn/VL2120DN?serial=SN1"), QStringLiteral("usb://Vorn/VL2120DN?serial=SN1")},
        {QStringLiteral("Hall"), QStringLiteral("Vorn VL2120DN"), 2, QStringLiteral("192.168.100.200"), QStringLiteral("socket://192.168.100.200")}};
    ASSERT_TRUE(PrinterListFile(QString::fromStdString(SuiteRoot::Path("cfg/printerlist.ini"))).Write(listInfo));
    stStatusRecordFields fields;
    fields.byStatusCode = 0x10;
    fields.listWarningCode = {0x110E};
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 1532, 2)};
    QFile status(QString::fromStdString(SuiteRoot::Path("cfg/办公室打印机.dat")));
    ASSERT_TRUE(status.open(QIODevice::WriteOnly));
    status.write(EncodeStatusRecord(fields));
    status.close();

    DesktopSession desktop(2560, 1440);
    ASSERT_TRUE(desktop.Start()) << desktop.LastError() << "\n" << desktop.Diagnostics();
    ASSERT_TRUE(StartMonitor(desktop)) << desktop.LastError() << "\n" << desktop.Diagnostics();
    ASSERT_TRUE(WaitForCell(desktop, 0, 3, "正在打印(碳粉已用完，继续打印将影响质量)")) << RowsText(TableRows(desktop));
    const std::string strWindowShot = SHOT_DIR "/monitor-window-2560.png";
    ASSERT_TRUE(desktop.ScreenshotWindow(c_szApp, c_szWindow, strWindowShot)) << desktop.LastError();
    EXPECT_EQ(PngSize(strWindowShot), std::make_pair(800, 400));

    // A second start finds the first one running: it adds no second tray icon and leaves the
    // first alone. (Its message box belongs to an application of the same name, which the
    // accessibility bus cannot tell apart from the first.)
    const pid_t pidSecond = desktop.StartProgram({SuiteRoot::Path("bin/VornPrinterTool")});
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(desktop.TrayItems().size(), 1u);
    EXPECT_TRUE(IsChildAlive(pidSecond)) << "it waits for its message box to be answered";
    StopChild(pidSecond, SIGTERM);
    EXPECT_TRUE(IsChildAlive(m_pidMonitor));

    // The settings: switched on and confirmed, the entry lands in the autostart folder.
    ASSERT_TRUE(desktop.TriggerTrayMenuEntry(c_szSettings));
    ASSERT_TRUE(desktop.WaitForWindow(c_szApp, c_szSettings));
    const std::string strSettingsShot = SHOT_DIR "/monitor-settings-2560.png";
    ASSERT_TRUE(desktop.ScreenshotWindow(c_szApp, c_szSettings, strSettingsShot)) << desktop.LastError();
    EXPECT_EQ(PngSize(strSettingsShot), std::make_pair(533, 400));
    stWidgetQuery box1 = stWidgetQuery::Named("开机启动", "check box");
    EXPECT_FALSE(desktop.Widget(c_szApp, box1).bChecked);
    ASSERT_TRUE(desktop.Click(c_szApp, box1));
    EXPECT_TRUE(WaitFor([&] { return desktop.Widget(c_szApp, box1).bChecked; }, 5000));
    ASSERT_TRUE(desktop.Press(c_szApp, stWidgetQuery::Named("确定", "push button")));
    EXPECT_TRUE(WaitFor([] { return FileExists(c_szAutostartEntry); }, 5000));
    EXPECT_EQ(ReadFile(c_szAutostartEntry), ReadFile(SuiteRoot::Path("bin/vorn-t905-tool-autostart.desktop")));

    // The title bar's close only hides the window; a click on the tray icon brings it back.
    ASSERT_TRUE(desktop.CloseWindow(c_szApp, c_szWindow)) << desktop.LastError();
    EXPECT_TRUE(desktop.WaitUntilGone(c_szApp, stWidgetQuery::OfRole("table")));
    EXPECT_TRUE(IsChildAlive(m_pidMonitor));
    ASSERT_TRUE(desktop.ActivateTrayItem());
    EXPECT_TRUE(desktop.WaitForWindow(c_szApp, c_szWindow));

    EXPECT_TRUE(ExitThroughTray(desktop, 4000)) << desktop.LastError();
}
