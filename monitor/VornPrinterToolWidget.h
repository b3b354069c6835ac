// The status monitor's window: one table row per printer the service manages, a tray icon
// with its menu and balloons, and the workers that keep the rows current.
#pragma once

#include "MonitorEnvironment.h"
#include "MonitorPrinterList.h"
#include "UtilLanguageCtrl.h"

#include <QList>
#include <QSystemTrayIcon>
#include <QWidget>

class AppSetting;
class QAction;
class QMenu;
class QThread;
class TrdDeviceManage;
class TrdGetPrinterStatus;

namespace Ui {
class VornPrinterToolWidget;
}

class VornPrinterToolWidget : public QWidget {
    Q_OBJECT
public:
    enum enColumn { COLUMN_NAME = 0, COLUMN_CONNECTION = 1, COLUMN_TONER = 2, COLUMN_STATUS = 3, COLUMN_COUNT = 4 };
    static constexpr int c_aiColumnWidth[COLUMN_COUNT] = {120, 150, 85, 185};
    static constexpr int c_iBalloonMs = 3000;
    // Each worker thread gets this long to end on exit.
    static constexpr unsigned long c_ulThreadQuitWaitMs = 1000;

    explicit VornPrinterToolWidget(QWidget* parent = nullptr, const stMonitorEnvironment& env = stMonitorEnvironment());
    ~VornPrinterToolWidget() override;

    QSystemTrayIcon* TrayIcon() const { return m_pTrayIcon; }
    AppSetting* SettingDialog() const { return m_pAppSetting; }
    int StatusWorkerCount() const { return m_iStatusThreadCount; }

signals:
    void SgnManageThreadStart();
    void SgnStatusThreadStart();
    void SgnThreadQuit();

public slots:
    void SlotActivatedTrayIcon(QSystemTrayIcon::ActivationReason reason);
    void SlotTrayActionShow();
    void SlotTrayActionUpdateFW();
    void SlotTrayActionSetting();
    void SlotTrayActionExit();
    void SlotUpdatePrinterList();
    void SlotUpdatePrinterStatus(int iIndex);

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void InitLog();
    void InitLanguage();
    void InitDeviceTable();
    void InitTrayIcon();
    void InitThread();
    void AddStatusWorkers(int iRowCount);
    void StopWorkers();
    void DebugOutputPrinterInfo();
    void DebugOutputPrinterStatus(int iIndex);

    Ui::VornPrinterToolWidget* ui;
    const stMonitorEnvironment m_env;
    float m_fScale = 1.0f;
    QSystemTrayIcon* m_pTrayIcon = nullptr;
    QMenu* m_pTrayMenu = nullptr;
    QAction* m_pActionShow = nullptr;
    QAction* m_pActionUpdateFW = nullptr;
    QAction* m_pActionSetting = nullptr;
    QAction* m_pActionExit = nullptr;
    AppSetting* m_pAppSetting = nullptr;
    TrdDeviceManage* m_pTrdDeviceManage = nullptr;
    QThread* m_pManageThread = nullptr;
    QList<TrdGetPrinterStatus*> m_listTrdStatus;
    QList<QThread*> m_listStatusThread;
    MonitorPrinterList m_listPrinterManager;
    int m_iStatusThreadCount = 0;
    int m_iLanguage = LANGUAGE_CHINESE;
};
