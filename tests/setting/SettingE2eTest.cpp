// The real VornPrintSetting on a headless desktop, driven through AT-SPI as a user would,
// against the printer simulator's USB printer (the tool runs as the simulator's child, so it
// sees the simulated bus).
#include "ChildProcess.h"
#include "DesktopSession.h"
#include "PrinterListFile.h"
#include "PrivateNamespace.h"
#include "SuiteRoot.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <thread>

using namespace VornTest;

namespace {

const std::string c_strApp = "VornPrintSetting";
const std::string c_strTitle = "Vorn激光打印工具";
const std::string c_strOk = "确  定";
constexpr int c_iPollMs = 100;
const char* const c_arrRow[] = {"IP地址", "子网掩码", "网关地址", "主DNS服务器", "辅助DNS服务器", "主WINS服务器", "辅助WINS服务器"};

stPrinterInfo Queue(const QString& strName, int iConnectType, const QString& strPort)
{
    stPrinterInfo info;
    info.strName = strName;
    info.iConnectType = iConnectType;
    info.strPort = strPort;
    info.strURI = (iConnectType == CONNECT_USB ? QStringLiteral("usb://") : QStringLiteral("socket://")) + strPort;
    return info;
}

std::string Octet(int iRow, int iOctet)
{
    return std::string(c_arrRow[iRow]) + ' ' + std::to_string(iOctet + 1);
}

class SettingE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.IsReady());
        m_strDir = MakeScratchFolder("setting-e2e");
        ASSERT_TRUE(PrinterListFile(QString::fromStdString(SuiteRoot::Path("cfg/printerlist.ini")))
                        .Write({Queue(QStringLiteral("Desk"), CONNECT_USB, QStringLiteral("Vorn/VL2120DN?serial=sn0000")),
                                Queue(QStringLiteral("Office"), CONNECT_NETWORK, QStringLiteral("127.0.0.2"))}));
        std::ofstream(m_strDir + "/sim.conf") << "add Desk usb VL2120DN SN00000042\n";
        ASSERT_TRUE(m_desktop.Start()) << m_desktop.LastError() << m_desktop.Diagnostics();
        m_pid = m_desktop.StartProgram({PRINTER_SIM, "--config", m_strDir + "/sim.conf", "--control-dir", m_strDir,
                                        "--event-log", m_strDir + "/events.log", "--", SETTING_PATH},
                                       m_strDir + "/stderr.log");
        ASSERT_GT(m_pid, 0);
        ASSERT_TRUE(m_desktop.WaitForApplication(c_strApp)) << m_desktop.LastError() << Errors();
    }

    void TearDown() override
    {
        if (m_pid > 0)
            StopChild(m_pid, SIGTERM);
        RemoveTree(m_strDir);
    }

    std::string Errors() const
    {
        std::ifstream file(m_strDir + "/stderr.log");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    bool Simulator(const std::string& strCommand) { return RunTool({PRINTER_SIM, "--send", m_strDir, strCommand}).Succeeded(); }

    // Polls until the condition holds; the program reacts after a press returned.
    static bool WaitUntil(const std::function<bool()>& fnCondition, int iTimeoutMs = c_iDesktopWaitMs)
    {
        for (int iWaited = 0; !fnCondition(); iWaited += c_iPollMs) {
            if (iWaited >= iTimeoutMs)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(c_iPollMs));
        }
        return true;
    }

    bool Showing(const std::string& strButton)
    {
        return WaitUntil([&] { return m_desktop.Widget(c_strApp, stWidgetQuery::Named(strButton, "push button")).bShowing; });
    }

    // Presses "读取" and waits for the own-address row to show the expected address, with no message.
    void ReadAndExpect(const std::string& strAddress)
    {
        ASSERT_TRUE(m_desktop.Press(c_strApp, stWidgetQuery::Named("读取", "push button")));
        EXPECT_TRUE(WaitUntil([&] { return Address(0) == strAddress; })) << Address(0);
        EXPECT_FALSE(m_desktop.Widget(c_strApp, stWidgetQuery::OfRole("alert"), 0).bFound);
    }

    std::string Field(int iRow, int iOctet) { return m_desktop.Widget(c_strApp, stWidgetQuery::Named(Octet(iRow, iOctet), "text")).strText; }

    std::string Address(int iRow)
    {
        return Field(iRow, 0) + '.' + Field(iRow, 1) + '.' + Field(iRow, 2) + '.' + Field(iRow, 3);
    }

    // Presses the page's button and answers the message box; its text, or "" when none came.
    std::string PressAndAnswer(const std::string& strButton, const std::string& strShot = std::string())
    {
        EXPECT_TRUE(m_desktop.Press(c_strApp, stWidgetQuery::Named(strButton, "push button"))) << m_desktop.LastError();
        const stMessageBox box = m_desktop.WaitForMessageBox(c_strApp, c_strTitle);
        if (!box.bFound)
            return std::string();
        EXPECT_EQ(box.listButtons, std::vector<std::string>{c_strOk});
        if (!strShot.empty()) {
            EXPECT_TRUE(m_desktop.ScreenshotWindow(c_strApp, c_strTitle, std::string(SHOT_DIR) + "/" + strShot));
        }
        EXPECT_TRUE(m_desktop.PressMessageBoxButton(c_strApp, c_strOk, c_strTitle));
        EXPECT_TRUE(m_desktop.WaitUntilGone(c_strApp, stWidgetQuery::OfRole("alert")));
        return box.Text();
    }

    // The bytes of the last settings write the printer received, from its event line.
    QByteArray LastWrite() const
    {
        std::ifstream file(m_strDir + "/events.log");
        const std::string strPrefix = "netwrite Desk usb ";
        QByteArray baLast;
        for (std::string strLine; std::getline(file, strLine);) {
            if (strLine.compare(0, strPrefix.size(), strPrefix) == 0)
                baLast = QByteArray::fromHex(QByteArray::fromStdString(strLine.substr(strPrefix.size())));
        }
        return baLast;
    }

    SuiteRoot m_root;
    DesktopSession m_desktop;
    std::string m_strDir;
    pid_t m_pid = -1;
};

} // namespace

TEST_F(SettingE2e, UserReadsAndWritesTheSettingsOfAUsbPrinter)
{
    ASSERT_TRUE(m_desktop.WaitForWindow(c_strApp, c_strTitle)) << m_desktop.LastError();
    EXPECT_TRUE(m_desktop.ScreenshotWindow(c_strApp, c_strTitle, std::string(SHOT_DIR) + "/setting-home.png"));
    ASSERT_TRUE(m_desktop.Press(c_strApp, stWidgetQuery::Named("网络配置", "push button")));
    ASSERT_TRUE(Showing("读取"));

    // Read: the page shows what the printer holds.
    ReadAndExpect("192.168.0.120");
    EXPECT_EQ(Address(1), "255.255.255.0");
    EXPECT_EQ(Address(2), "192.168.0.1");
    EXPECT_EQ(Address(6), "0.0.0.0");
    EXPECT_FALSE(m_desktop.Widget(c_strApp, stWidgetQuery::Named(Octet(0, 0), "text")).bEnabled);
    EXPECT_TRUE(m_desktop.ScreenshotWindow(c_strApp, c_strTitle, std::string(SHOT_DIR) + "/setting-net.png"));

    // Write a static address: the printer receives exactly the request for it.
    ASSERT_TRUE(m_desktop.SelectComboItem(c_strApp, stWidgetQuery::Named("DHCP", "combo box"), "静态"))
        << m_desktop.LastError();
    const int arrIP[4] = {10, 1, 2, 30};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(m_desktop.SetText(c_strApp, stWidgetQuery::Named(Octet(0, i), "text"), std::to_string(arrIP[i])));
    ASSERT_TRUE(m_desktop.SetText(c_strApp, stWidgetQuery::Named(Octet(1, 2), "text"), "0"));
    ASSERT_TRUE(m_desktop.SetText(c_strApp, stWidgetQuery::Named(Octet(4, 0), "text"), "9"));
    EXPECT_EQ(PressAndAnswer("设置", "setting-written.png"), "设置成功，请等待打印机完成重连！");
    QByteArray baExpected = QByteArray::fromHex("a5004850e0b20300094000000101"
                                                "400100040a01021e"    // own address
                                                "40020004ffff0000"    // mask
                                                "40030004c0a80001"    // gateway
                                                "40040004c0a80001"    // primary DNS
                                                "4005000409000000"    // secondary DNS
                                                "4006000400000000"    // primary WINS
                                                "4007000400000000"    // secondary WINS
                                                "400f000100");
    EXPECT_EQ(LastWrite().toHex(), baExpected.toHex());

    // Leaving the page and coming back starts from zero; the next read shows what was written.
    ASSERT_TRUE(m_desktop.Press(c_strApp, stWidgetQuery::Named("返回", "push button")));
    ASSERT_TRUE(Showing("网络配置"));
    ASSERT_TRUE(m_desktop.Press(c_strApp, stWidgetQuery::Named("网络配置", "push button")));
    ASSERT_TRUE(Showing("读取"));
    EXPECT_EQ(Address(0), "0.0.0.0");
    ReadAndExpect("10.1.2.30");
    EXPECT_EQ(Address(1), "255.255.0.0");
    EXPECT_EQ(Address(4), "9.0.0.0");
    EXPECT_TRUE(m_desktop.Widget(c_strApp, stWidgetQuery::Named(Octet(0, 0), "text")).bEnabled);

    // A network printer is not for this page.
    ASSERT_TRUE(m_desktop.SelectComboItem(c_strApp, stWidgetQuery::Named("Desk", "combo box"), "Office"))
        << m_desktop.LastError();
    EXPECT_EQ(PressAndAnswer("读取", "setting-network-printer.png"), "请选择通过USB连接的打印机进行操作！");

    // The USB printer unplugged: nothing to connect to.
    ASSERT_TRUE(m_desktop.SelectComboItem(c_strApp, stWidgetQuery::Named("Office", "combo box"), "Desk"));
    ASSERT_TRUE(Simulator("unplug Desk"));
    EXPECT_EQ(PressAndAnswer("设置"), "连接打印机失败，请检查连接状态！");
    EXPECT_EQ(PressAndAnswer("读取"), "获取打印机联网方式失败！");
}
