// Window, tray and worker threads of the status monitor.
#include "VornPrinterToolWidget.h"
#include "ui_VornPrinterToolWidget.h"

#include "AppSetting.h"
#include "DesktopScaling.h"
#include "PrinterStateText.h"
#include "TrdDeviceManage.h"
#include "TrdGetPrinterStatus.h"
#include "UtilLog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QThread>

namespace {

const QString c_strIconResource = QStringLiteral(":/Icon/Resource/Vorn.png");
const QString c_strWindowTitle = QStringLiteral("Vorn激光打印机助手");

QByteArray Local(const QString& str)
{
    return str.toLocal8Bit();
}

} // namespace

// The icon lives in a static library; naming its resource keeps the linker from dropping it.
static void InitIconResource()
{
    Q_INIT_RESOURCE(VornPrinterTool);
}

VornPrinterToolWidget::VornPrinterToolWidget(QWidget* parent, const stMonitorEnvironment& env)
    : QWidget(parent)
    , ui(new Ui::VornPrinterToolWidget)
    , m_env(env)
{
    ui->setupUi(this);
    InitIconResource();
    setWindowIcon(QIcon(c_strIconResource));
    const QSize sizeDesktop = m_env.DesktopSize();
    m_fScale = DesktopScaling::Factor(sizeDesktop.width());
    if (m_fScale != 1.0f)
        resize(DesktopScaling::Scale(size(), m_fScale));
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(size());
    setWindowTitle(c_strWindowTitle);
    move(DesktopScaling::CentredOrigin(sizeDesktop, size()));

    m_pAppSetting = new AppSetting(nullptr, m_env);
    m_iStatusThreadCount = 0;
    InitLog();
    VORN_LOG("desktop = %d, %d", sizeDesktop.width(), sizeDesktop.height());
    InitLanguage();
    InitDeviceTable();
    InitTrayIcon();
    InitThread();
}

VornPrinterToolWidget::~VornPrinterToolWidget()
{
    StopWorkers();
    delete m_pAppSetting;
    delete ui;
}

void VornPrinterToolWidget::InitLog()
{
    SetLogEnable(false);
}

void VornPrinterToolWidget::InitLanguage()
{
    m_iLanguage = LANGUAGE_CHINESE;
}

void VornPrinterToolWidget::InitDeviceTable()
{
    VORN_LOG("InitDeviceTable start");
    QTableWidget* pTable = ui->tableDeviceManage;
    pTable->setAccessibleName(QStringLiteral("打印机列表"));
    pTable->setColumnCount(COLUMN_COUNT);
    pTable->setHorizontalHeaderLabels({QStringLiteral("打印机名称"), QStringLiteral("连接方式"),
                                       QStringLiteral("剩余碳粉量"), QStringLiteral("状态")});
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->horizontalHeader()->setSectionsClickable(false);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (m_fScale != 1.0f)
        pTable->setGeometry(DesktopScaling::Scale(pTable->geometry(), m_fScale));
    for (int iColumn = 0; iColumn < COLUMN_COUNT; ++iColumn)
        pTable->setColumnWidth(iColumn, DesktopScaling::Scale(c_aiColumnWidth[iColumn], m_fScale));
    VORN_LOG("InitDeviceTable end");
}

void VornPrinterToolWidget::InitTrayIcon()
{
    VORN_LOG("InitTrayIcon start");
    m_pTrayIcon = new QSystemTrayIcon(QIcon(c_strIconResource), this);
    m_pTrayIcon->setToolTip(c_strWindowTitle);
    connect(m_pTrayIcon, &QSystemTrayIcon::activated, this, &VornPrinterToolWidget::SlotActivatedTrayIcon);
    m_pActionShow = new QAction(QStringLiteral("显示主界面"), this);
    m_pActionUpdateFW = new QAction(QStringLiteral("打印机更新助手"), this);
    m_pActionSetting = new QAction(QStringLiteral("设置"), this);
    m_pActionExit = new QAction(QStringLiteral("退出"), this);
    connect(m_pActionShow, &QAction::triggered, this, &VornPrinterToolWidget::SlotTrayActionShow);
    connect(m_pActionUpdateFW, &QAction::triggered, this, &VornPrinterToolWidget::SlotTrayActionUpdateFW);
    connect(m_pActionSetting, &QAction::triggered, this, &VornPrinterToolWidget::SlotTrayActionSetting);
    connect(m_pActionExit, &QAction::triggered, this, &VornPrinterToolWidget::SlotTrayActionExit);
    m_pTrayMenu = new QMenu(this);
    m_pTrayMenu->addAction(m_pActionShow);
    m_pTrayMenu->addAction(m_pActionUpdateFW);
    m_pTrayMenu->addAction(m_pActionSetting);
    m_pTrayMenu->addAction(m_pActionExit);
    m_pTrayIcon->setContextMenu(m_pTrayMenu);
    m_pTrayIcon->setVisible(true);
    VORN_LOG("InitTrayIcon end");
}

void VornPrinterToolWidget::InitThread()
{
    VORN_LOG("InitThread start");
    m_pTrdDeviceManage = new TrdDeviceManage(nullptr, m_env);
    m_pManageThread = new QThread;
    m_pTrdDeviceManage->moveToThread(m_pManageThread);
    m_pManageThread->start(QThread::InheritPriority);
    m_pTrdDeviceManage->Init(&m_listPrinterManager);
    connect(this, &VornPrinterToolWidget::SgnManageThreadStart, m_pTrdDeviceManage, &TrdDeviceManage::SlotTaskStart);
    // The worker never returns to its event queue while it runs, so the stop flag is set from here.
    connect(this, &VornPrinterToolWidget::SgnThreadQuit, m_pTrdDeviceManage, &TrdDeviceManage::SlotThreadQuit,
            Qt::DirectConnection);
    connect(m_pTrdDeviceManage, &TrdDeviceManage::SgnUpdatePrinterList, this, &VornPrinterToolWidget::SlotUpdatePrinterList);
    emit SgnManageThreadStart();
    VORN_LOG("InitThread end");
}

void VornPrinterToolWidget::AddStatusWorkers(int iRowCount)
{
    if (m_iStatusThreadCount >= iRowCount)
        return;
    for (int iIndex = m_iStatusThreadCount; iIndex < iRowCount; ++iIndex) {
        auto* pWorker = new TrdGetPrinterStatus(nullptr, m_env);
        auto* pThread = new QThread;
        pWorker->moveToThread(pThread);
        pThread->start(QThread::InheritPriority);
        pWorker->Init(iIndex, &m_listPrinterManager);
        connect(this, &VornPrinterToolWidget::SgnStatusThreadStart, pWorker, &TrdGetPrinterStatus::SlotTaskStart);
        connect(this, &VornPrinterToolWidget::SgnThreadQuit, pWorker, &TrdGetPrinterStatus::SlotThreadQuit,
                Qt::DirectConnection);
        connect(pWorker, &TrdGetPrinterStatus::SgnUpdatePrinterStatus, this,
                &VornPrinterToolWidget::SlotUpdatePrinterStatus);
        m_listTrdStatus.append(pWorker);
        m_listStatusThread.append(pThread);
    }
    m_iStatusThreadCount = m_listTrdStatus.size();
    // Workers already running ignore a repeated start.
    emit SgnStatusThreadStart();
}

void VornPrinterToolWidget::StopWorkers()
{
    emit SgnThreadQuit();
    QList<QThread*> listThread = m_listStatusThread;
    QList<UtilThreadBase*> listWorker(m_listTrdStatus.begin(), m_listTrdStatus.end());
    if (m_pManageThread) {
        listThread.prepend(m_pManageThread);
        listWorker.prepend(m_pTrdDeviceManage);
    }
    for (int i = 0; i < listThread.size(); ++i) {
        listThread[i]->quit();
        // A worker still inside its loop after the wait is left alone: freeing it under its own
        // thread would crash an exit that is otherwise only slow.
        if (!listThread[i]->wait(c_ulThreadQuitWaitMs))
            continue;
        listWorker[i]->WaitForLoopEnd();
        delete listWorker[i];
        delete listThread[i];
    }
    m_pManageThread = nullptr;
    m_pTrdDeviceManage = nullptr;
    m_listTrdStatus.clear();
    m_listStatusThread.clear();
}

void VornPrinterToolWidget::closeEvent(QCloseEvent* pEvent)
{
    hide();
    pEvent->ignore();
}

void VornPrinterToolWidget::SlotActivatedTrayIcon(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        SlotTrayActionShow();
}

void VornPrinterToolWidget::SlotTrayActionShow()
{
    if (!isActiveWindow())
        showNormal();
}

void VornPrinterToolWidget::SlotTrayActionUpdateFW()
{
    UtilProcess::StartDetached(m_env.strFirmwareUpdater, {});
}

void VornPrinterToolWidget::SlotTrayActionSetting()
{
    m_pAppSetting->show();
}

void VornPrinterToolWidget::SlotTrayActionExit()
{
    m_pAppSetting->close();
    hide();
    m_pTrayIcon->hide();
    emit SgnThreadQuit();
    QApplication::quit();
}

void VornPrinterToolWidget::SlotUpdatePrinterList()
{
    const QList<stPrinterManager> listPrinter = m_listPrinterManager.Snapshot();
    QTableWidget* pTable = ui->tableDeviceManage;
    pTable->clearContents();
    pTable->setRowCount(listPrinter.size());
    const QString strOffline = GetStatusText(PS_OFFLINE, m_iLanguage);
    for (int iRow = 0; iRow < listPrinter.size(); ++iRow) {
        const stPrinterInfo& info = listPrinter.at(iRow).stInfo;
        pTable->setItem(iRow, COLUMN_NAME, new QTableWidgetItem(info.strName));
        pTable->setItem(iRow, COLUMN_CONNECTION, new QTableWidgetItem(FormatConnectType(info)));
        pTable->setItem(iRow, COLUMN_TONER, new QTableWidgetItem(FormatRemainingToner(0)));
        pTable->setItem(iRow, COLUMN_STATUS, new QTableWidgetItem(strOffline));
    }
    AddStatusWorkers(listPrinter.size());
    DebugOutputPrinterInfo();
}

void VornPrinterToolWidget::SlotUpdatePrinterStatus(int iIndex)
{
    stPrinterManager entry;
    QTableWidget* pTable = ui->tableDeviceManage;
    // A report from before the last list replacement may name a row that is gone; that row's
    // next change reports again.
    if (!m_listPrinterManager.CopyEntry(iIndex, entry) || iIndex >= pTable->rowCount())
        return;
    const stStatusPresentation presentation = DescribePrinterState(entry.stState, m_iLanguage);
    if (QTableWidgetItem* pItem = pTable->item(iIndex, COLUMN_TONER))
        pItem->setText(FormatRemainingToner(entry.stState.dwRemainingToner));
    if (QTableWidgetItem* pItem = pTable->item(iIndex, COLUMN_STATUS))
        pItem->setText(presentation.strStatusText);
    if (presentation.enBalloon != BALLOON_NONE) {
        const QSystemTrayIcon::MessageIcon icon =
            presentation.enBalloon == BALLOON_CRITICAL ? QSystemTrayIcon::Critical : QSystemTrayIcon::Warning;
        m_pTrayIcon->showMessage(entry.stInfo.strName, presentation.strBalloonMessage, icon, c_iBalloonMs);
    }
    DebugOutputPrinterStatus(iIndex);
}

void VornPrinterToolWidget::DebugOutputPrinterInfo()
{
    const QList<stPrinterManager> listPrinter = m_listPrinterManager.Snapshot();
    VORN_LOG("printer number=%d", listPrinter.size());
    for (int i = 0; i < listPrinter.size(); ++i) {
        const stPrinterInfo& info = listPrinter.at(i).stInfo;
        const QByteArray baName = Local(info.strName);
        VORN_LOG("printer[%d] %s=%s", i, baName.constData(), Local(info.strPort).constData());
        VORN_LOG("%s: enType=%s", baName.constData(), Local(info.strModel).constData());
        VORN_LOG("%s: iConnectType=%d", baName.constData(), info.iConnectType);
    }
}

void VornPrinterToolWidget::DebugOutputPrinterStatus(int iIndex)
{
    stPrinterManager entry;
    if (!m_listPrinterManager.CopyEntry(iIndex, entry))
        return;
    const stPrinterState& s = entry.stState;
    const QByteArray baName = Local(entry.stInfo.strName);
    const char* n = baName.constData();
    auto codes = [](const QList<enErrorStatus>& list) {
        QByteArray ba;
        for (enErrorStatus en : list)
            ba += QByteArray::number(int(en)) + ',';
        return ba;
    };
    VORN_LOG("printer[%d]=%s", iIndex, n);
    VORN_LOG("%s: strPrinterSerialNumber=%s", n, Local(s.strPrinterSerialNumber).constData());
    VORN_LOG("%s: enCurrentStatus=%d", n, int(s.enCurrentStatus));
    VORN_LOG("%s: strFWVersion=%s", n, Local(s.strFWVersion).constData());
    VORN_LOG("%s: strVenderName=%s", n, Local(s.strVenderName).constData());
    VORN_LOG("%s: strProductName=%s", n, Local(s.strProductName).constData());
    VORN_LOG("%s: iNumberOfError=%d", n, s.listError.size());
    VORN_LOG("%s: iNumberOfWarning=%d", n, s.listWarning.size());
    VORN_LOG("%s: error code=%s", n, codes(s.listError).constData());
    VORN_LOG("%s: warning code=%s", n, codes(s.listWarning).constData());
    VORN_LOG("%s: strSupplySerialNumber=%s", n, Local(s.strSupplySerialNumber).constData());
    VORN_LOG("%s: enSpplyType=%d", n, int(s.enSpplyType));
    VORN_LOG("%s: dwRemainingToner=%lu", n, s.dwRemainingToner);
    VORN_LOG("%s: dwWasteToner=%lu", n, s.dwWasteToner);
    VORN_LOG("%s: dwOPCRotation=%lu", n, s.dwOPCRotation);
    VORN_LOG("%s: dwNumberOfPages=%lu", n, s.dwNumberOfPages);
    VORN_LOG("%s: dwNumberOfPrint=%lu", n, s.dwNumberOfPrint);
    VORN_LOG("%s: dwPrintDotsCount=%lu", n, s.dwPrintDotsCount);
    VORN_LOG("%s: dwPrinterNumOfPages=%lu", n, s.dwPrinterNumOfPages);
    VORN_LOG("%s: dwPrinterNumOfPrint=%lu", n, s.dwPrinterNumOfPrint);
}
