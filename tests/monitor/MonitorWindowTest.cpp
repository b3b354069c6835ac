// The monitor's windows offscreen, fed from a temporary service folder: layout and scaling on
// ordinary and wide desktops, the rows a user reads, the tray menu, closing and exiting, and
// the autostart option.
#include "AppSetting.h"
#include "PrinterListFile.h"
#include "UtilPrinterStatus.h"
#include "VornPrinterToolWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// One application for all tests, ended before the process ends so the platform plugin is
// torn down in order.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { m_pApp = std::make_unique<QApplication>(m_argc, m_argv); }
    void TearDown() override { m_pApp.reset(); }

private:
    int m_argc = 1;
    char m_szName[20] = "monitor_window_test";
    char* m_argv[2] = {m_szName, nullptr};
    std::unique_ptr<QApplication> m_pApp;
};
const ::testing::Environment* const c_pQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

stPrinterInfo Info(const QString& strName, int iConnectType, const QString& strPort)
{
    stPrinterInfo info;
    info.strName = strName;
    info.strModel = QStringLiteral("Vorn VC5100DN");
    info.iConnectType = iConnectType;
    info.strPort = strPort;
    info.strURI = QStringLiteral("socket://") + strPort;
    return info;
}

QByteArray Record(uint8_t byStatusCode, unsigned long ulToner, QList<uint16_t> listError, QList<uint16_t> listWarning)
{
    stStatusRecordFields fields;
    fields.baVenderName = "VORN";
    fields.byStatusCode = byStatusCode;
    fields.listErrorCode = listError;
    fields.listWarningCode = listWarning;
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, ulToner, 2)};
    return EncodeStatusRecord(fields);
}

class MonitorWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env.strCfgDir = m_dir.filePath(QStringLiteral("cfg/"));
        m_env.strAutostartDir = m_dir.filePath(QStringLiteral("apps/autostart/"));
        m_env.strEntrySourceDir = m_dir.filePath(QStringLiteral("bin"));
        m_env.strFirmwareUpdater = m_dir.filePath(QStringLiteral("bin/vornT905FW"));
        m_env.sizeDesktop = QSize(1920, 1080);
        QDir().mkpath(m_env.strCfgDir);
        QDir().mkpath(m_env.strEntrySourceDir);
    }

    void WriteFile(const QString& strPath, const QByteArray& baContent)
    {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(baContent);
    }

    void WriteList(const QList<stPrinterInfo>& listInfo)
    {
        ASSERT_TRUE(PrinterListFile(m_env.strCfgDir + QStringLiteral("printerlist.ini")).Write(listInfo));
    }

    static QTableWidget* Table(const VornPrinterToolWidget& widget)
    {
        return widget.findChild<QTableWidget*>(QStringLiteral("tableDeviceManage"));
    }

    static QString Cell(const VornPrinterToolWidget& widget, int iRow, int iColumn)
    {
        const QTableWidgetItem* pItem = Table(widget)->item(iRow, iColumn);
        return pItem ? pItem->text() : QStringLiteral("<none>");
    }

    // Processes events until the cell reads strWanted or the time runs out.
    static bool WaitForCell(const VornPrinterToolWidget& widget, int iRow, int iColumn, const QString& strWanted,
                            int iMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (Cell(widget, iRow, iColumn) != strWanted && timer.elapsed() < iMs)
            QTest::qWait(10);
        return Cell(widget, iRow, iColumn) == strWanted;
    }

    static QAction* TrayAction(const VornPrinterToolWidget& widget, const QString& strText)
    {
        for (QAction* pAction : widget.TrayIcon()->contextMenu()->actions())
            if (pAction->text() == strText)
                return pAction;
        return nullptr;
    }

    QTemporaryDir m_dir;
    stMonitorEnvironment m_env;
};

} // namespace

TEST_F(MonitorWindow, LayoutAtTheDesignWidthAndScaledOnAWiderDesktop)
{
    struct stCase {
        QSize sizeDesktop;
        QSize sizeWindow;
        QRect rectTable;
        int aiColumn[4];
        QSize sizeSetting;
        QRect rectCheckBox;
    };
    const stCase cases[] = {
        {{1920, 1080}, {600, 300}, {20, 20, 560, 260}, {120, 150, 85, 185}, {400, 300}, {70, 60, 200, 25}},
        {{1280, 1024}, {600, 300}, {20, 20, 560, 260}, {120, 150, 85, 185}, {400, 300}, {70, 60, 200, 25}},
        {{2560, 1440}, {800, 400}, {26, 26, 746, 346}, {160, 200, 113, 246}, {533, 400}, {93, 80, 266, 33}},
    };
    for (const stCase& c : cases) {
        m_env.sizeDesktop = c.sizeDesktop;
        VornPrinterToolWidget widget(nullptr, m_env);
        const int iWidth = c.sizeDesktop.width();
        EXPECT_EQ(widget.size(), c.sizeWindow) << iWidth;
        EXPECT_EQ(widget.minimumSize(), widget.maximumSize()) << "fixed size at " << iWidth;
        EXPECT_FALSE(widget.windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_EQ(widget.pos(), QPoint((iWidth - c.sizeWindow.width()) / 2,
                                       (c.sizeDesktop.height() - c.sizeWindow.height()) / 2));
        EXPECT_EQ(widget.windowTitle(), "Vorn激光打印机助手");
        QTableWidget* pTable = Table(widget);
        EXPECT_EQ(pTable->geometry(), c.rectTable) << iWidth;
        EXPECT_EQ(pTable->font().pointSize(), 9);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(pTable->columnWidth(i), c.aiColumn[i]) << iWidth << " column " << i;
        // The last column stretches over what is left, so its width is at least the scaled one.
        EXPECT_GE(pTable->horizontalHeader()->sectionSize(3), c.aiColumn[3] - 40) << iWidth;

        const AppSetting* pSetting = widget.SettingDialog();
        EXPECT_EQ(pSetting->size(), c.sizeSetting) << iWidth;
        EXPECT_EQ(pSetting->minimumSize(), pSetting->maximumSize());
        EXPECT_EQ(pSetting->findChild<QCheckBox*>("checkBoxAutoStart")->geometry(), c.rectCheckBox) << iWidth;
        EXPECT_EQ(pSetting->pos(), QPoint((iWidth - c.sizeSetting.width()) / 2,
                                          (c.sizeDesktop.height() - c.sizeSetting.height()) / 2));
    }
}

TEST_F(MonitorWindow, TextsOfTheTableTrayAndSettings)
{
    VornPrinterToolWidget widget(nullptr, m_env);
    QTableWidget* pTable = Table(widget);
    QStringList listHeader;
    for (int i = 0; i < pTable->columnCount(); ++i)
        listHeader << pTable->horizontalHeaderItem(i)->text();
    EXPECT_EQ(listHeader, (QStringList{"打印机名称", "连接方式", "剩余碳粉量", "状态"}));
    EXPECT_FALSE(pTable->horizontalHeader()->sectionsClickable());
    EXPECT_EQ(pTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(pTable->accessibleName().isEmpty()) << "screen readers name the table";

    EXPECT_EQ(widget.TrayIcon()->toolTip(), "Vorn激光打印机助手");
    QStringList listMenu;
    for (QAction* pAction : widget.TrayIcon()->contextMenu()->actions())
        listMenu << pAction->text();
    EXPECT_EQ(listMenu, (QStringList{"显示主界面", "打印机更新助手", "设置", "退出"}));
    EXPECT_FALSE(widget.windowIcon().isNull());

    const AppSetting* pSetting = widget.SettingDialog();
    EXPECT_EQ(pSetting->windowTitle(), "设置");
    EXPECT_EQ(pSetting->findChild<QCheckBox*>("checkBoxAutoStart")->text(), "开机启动");
    EXPECT_EQ(pSetting->findChild<QPushButton*>("pushButtonOK")->text(), "确定");
    EXPECT_EQ(pSetting->findChild<QPushButton*>("pushButtonCancel")->text(), "取消");
}

TEST_F(MonitorWindow, RowsFollowTheServiceFilesAndKeepTheirWorkers)
{
    WriteList({Info("Desk", CONNECT_USB, "Vorn/VC5100DN?serial=SN1"), Info("Office", CONNECT_NETWORK, "127.0.0.2"),
               Info("Hall", CONNECT_NETWORK, "127.0.0.3")});
    WriteFile(m_env.strCfgDir + "Desk.dat", Record(0x10, 7532, {}, {0x110D}));
    WriteFile(m_env.strCfgDir + "Office.dat", Record(0x10, 10000, {0x1106, 0x1126}, {0x110D}));
    VornPrinterToolWidget widget(nullptr, m_env);
    ASSERT_TRUE(WaitForCell(widget, 2, 0, "Hall"));
    EXPECT_EQ(Cell(widget, 0, 1), "USB");
    EXPECT_EQ(Cell(widget, 1, 1), "网络(127.0.0.2)");
    EXPECT_TRUE(WaitForCell(widget, 0, 3, "正在打印(碳粉不足)"));
    EXPECT_EQ(Cell(widget, 0, 2), "75.32%");
    EXPECT_TRUE(WaitForCell(widget, 1, 3, "前盖已打开"));
    EXPECT_EQ(Cell(widget, 1, 2), "100.00%");
    EXPECT_EQ(Cell(widget, 2, 3), "脱机");
    EXPECT_EQ(Cell(widget, 2, 2), "0.00%");
    EXPECT_EQ(widget.StatusWorkerCount(), 3);

    // A port change restarts every row; shrinking and growing again reuses the idle workers.
    WriteList({Info("Desk", CONNECT_USB, "Vorn/VC5100DN?serial=SN2")});
    ASSERT_TRUE(WaitForCell(widget, 1, 0, "<none>"));
    EXPECT_EQ(Table(widget)->rowCount(), 1);
    EXPECT_TRUE(WaitForCell(widget, 0, 3, "正在打印(碳粉不足)"));
    WriteList({Info("Desk", CONNECT_USB, "Vorn/VC5100DN?serial=SN2"), Info("Office", CONNECT_NETWORK, "127.0.0.2"),
               Info("Hall", CONNECT_NETWORK, "127.0.0.3")});
    EXPECT_TRUE(WaitForCell(widget, 1, 3, "前盖已打开"));
    EXPECT_EQ(widget.StatusWorkerCount(), 3);
}

TEST_F(MonitorWindow, CloseHidesAndExitStopsEveryWorkerPromptly)
{
    WriteList({Info("A", CONNECT_NETWORK, "127.0.0.2"), Info("B", CONNECT_NETWORK, "127.0.0.3"),
               Info("C", CONNECT_NETWORK, "127.0.0.4"), Info("D", CONNECT_NETWORK, "127.0.0.5")});
    // The updater: each click starts one; a missing program does nothing.
    const QString strStarted = m_dir.filePath("updater-started");
    auto pWidget = std::make_unique<VornPrinterToolWidget>(nullptr, m_env);
    TrayAction(*pWidget, "打印机更新助手")->trigger();
    WriteFile(m_env.strFirmwareUpdater, "#!/bin/sh\necho run >> '" + strStarted.toUtf8() + "'\n");
    QFile::setPermissions(m_env.strFirmwareUpdater, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TrayAction(*pWidget, "打印机更新助手")->trigger();
    TrayAction(*pWidget, "打印机更新助手")->trigger();

    pWidget->show();
    ASSERT_TRUE(WaitForCell(*pWidget, 3, 0, "D"));
    pWidget->close();
    EXPECT_FALSE(pWidget->isVisible());
    TrayAction(*pWidget, "显示主界面")->trigger();
    EXPECT_TRUE(pWidget->isVisible());
    TrayAction(*pWidget, "设置")->trigger();
    EXPECT_TRUE(pWidget->SettingDialog()->isVisible());

    QElapsedTimer timer;
    timer.start();
    TrayAction(*pWidget, "退出")->trigger();
    EXPECT_FALSE(pWidget->isVisible());
    EXPECT_FALSE(pWidget->SettingDialog()->isVisible());
    pWidget.reset();
    EXPECT_LT(timer.elapsed(), 1500) << "five workers end together, within one sleep slice";

    QElapsedTimer wait;
    wait.start();
    QByteArray baStarted;
    while (baStarted.count('\n') < 2 && wait.elapsed() < 3000) {
        QTest::qWait(20);
        QFile file(strStarted);
        if (file.open(QIODevice::ReadOnly))
            baStarted = file.readAll();
    }
    EXPECT_EQ(baStarted, "run\nrun\n");
}

TEST_F(MonitorWindow, AutostartOptionFollowsOkCancelAndClose)
{
    const QString strSource = m_env.EntrySourcePath();
    const QString strTarget = m_env.strAutostartDir + "vorn-t905-tool-autostart.desktop";
    enum enAct { OK, CANCEL, CLOSE };
    struct stCase {
        const char* szWhat;
        bool bSourcePresent;
        bool bEntryBefore;
        bool bCheck;
        enAct act;
        bool bEntryAfter;
    };
    const stCase cases[] = {
        {"switch on", true, false, true, OK, true},
        {"switch off", true, true, false, OK, false},
        {"cancel a switch-on", true, false, true, CANCEL, false},
        {"cancel a switch-off", true, true, false, CANCEL, true},
        {"close acts as cancel", true, false, true, CLOSE, false},
        {"nothing shipped to copy", false, false, true, OK, false},
        {"already on stays on", true, true, true, OK, true},
    };
    for (const stCase& c : cases) {
        QFile::remove(strTarget);
        QFile::remove(strSource);
        if (c.bSourcePresent)
            WriteFile(strSource, "[Desktop Entry]\nExec=VornPrinterTool -hide\n");
        if (c.bEntryBefore) {
            QDir().mkpath(m_env.strAutostartDir);
            WriteFile(strTarget, "kept");
        }
        AppSetting setting(nullptr, m_env);
        auto* pBox = setting.findChild<QCheckBox*>("checkBoxAutoStart");
        EXPECT_EQ(pBox->isChecked(), c.bEntryBefore) << c.szWhat;
        setting.show();
        if (pBox->isChecked() != c.bCheck)
            // On the box itself: the control is wider than its box and label.
            QTest::mouseClick(pBox, Qt::LeftButton, {}, QPoint(8, pBox->height() / 2));
        if (c.act == OK)
            QTest::mouseClick(setting.findChild<QPushButton*>("pushButtonOK"), Qt::LeftButton);
        else if (c.act == CANCEL)
            QTest::mouseClick(setting.findChild<QPushButton*>("pushButtonCancel"), Qt::LeftButton);
        else
            setting.close();
        EXPECT_FALSE(setting.isVisible()) << c.szWhat;
        EXPECT_EQ(QFile::exists(strTarget), c.bEntryAfter) << c.szWhat;
        EXPECT_EQ(pBox->isChecked(), c.bEntryAfter) << c.szWhat << ": the box shows the folder";
        if (c.bEntryBefore && c.bEntryAfter) {
            QFile file(strTarget);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), "kept") << "an existing entry is left as it is";
        }
    }
}
