// The firmware updater's window and its update click.
#include "Widget.h"

#include "CupsQueueDiscovery.h"
#include "FirmwareImage.h"
#include "FirmwareUpdateTexts.h"
#include "PrinterListFile.h"
#include "TrdFirmwareSend.h"
#include "ui_Widget.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <utility>

using namespace FirmwareUpdateTexts;

namespace {

const QString c_strLogoResource = QStringLiteral(":/logo.png");
// A path dragged in from a file manager arrives as a URL.
const QString c_strFileUrlPrefix = QStringLiteral("file://");
// The progress bar counts in thousandths: its range is an int, an image's length is not.
constexpr int c_iProgressSteps = 1000;
// Wide enough for queue names such as "Vorn-VL2120DN-USB"; the state column takes the rest.
constexpr int c_iNameColumnWidth = 230;
constexpr int c_iModelColumnWidth = 150;
constexpr int c_iConnectionColumnWidth = 90;

enum enColumn { COLUMN_NAME, COLUMN_MODEL, COLUMN_CONNECTION, COLUMN_STATE, COLUMN_COUNT };

} // namespace

Widget::Widget(const FirmwareSendFunction& send, const QString& strCfgDir, QWidget* parent)
    : QWidget(parent)
    , m_pUi(new Ui::Widget)
    , m_strCfgDir(strCfgDir)
    , m_pTrdSend(new TrdFirmwareSend(send))
{
    m_pUi->setupUi(this);
    m_pTrdSend->moveToThread(&m_threadSend);
    connect(&m_threadSend, &QThread::finished, m_pTrdSend, &QObject::deleteLater);
    connect(m_pTrdSend, &TrdFirmwareSend::SgnProgress, this, &Widget::SlotSendProgress);
    connect(m_pTrdSend, &TrdFirmwareSend::SgnFinished, this, &Widget::SlotSendFinished);
    m_threadSend.start();

    InitUI();
    InitDeviceTable();
    RefreshDeviceTable();
}

Widget::~Widget()
{
    // A send cannot be cut short; the window refuses to close while one runs, so this waits
    // only when the program is ended some other way.
    m_threadSend.quit();
    m_threadSend.wait();
    delete m_pUi;
}

void Widget::InitUI()
{
    setWindowTitle(c_strWindowTitle);
    setWindowIcon(QIcon(c_strLogoResource));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
        move(pScreen->availableGeometry().center() - rect().center());

    m_pUi->label->setText(c_strChoosePrinter);
    m_pUi->label_2->setText(c_strChooseFirmware);
    m_pUi->buttonRefresh->setText(c_strRefresh);
    m_pUi->buttonRefresh->setDefault(true);
    m_pUi->buttonBrowse->setText(c_strBrowse);
    m_pUi->buttonOK->setText(c_strUpdate);
    m_pUi->lineFilePath->clear();
    m_pUi->progressSend->setRange(0, c_iProgressSteps);
    m_pUi->labelProgress->hide();
    m_pUi->progressSend->hide();
}

void Widget::InitDeviceTable()
{
    QTableWidget* pTable = m_pUi->tablePrinterList;
    pTable->setColumnCount(COLUMN_COUNT);
    pTable->setHorizontalHeaderLabels({c_strHeaderName, c_strHeaderModel, c_strHeaderConnection, c_strHeaderState});
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->verticalHeader()->hide();
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    pTable->setColumnWidth(COLUMN_NAME, c_iNameColumnWidth);
    pTable->setColumnWidth(COLUMN_MODEL, c_iModelColumnWidth);
    pTable->setColumnWidth(COLUMN_CONNECTION, c_iConnectionColumnWidth);
}

void Widget::RefreshDeviceTable()
{
    m_listPrinter = PrinterListFile(m_strCfgDir + VornPaths::c_strPrinterListFile)
                        .GetPrinterInfo(PrinterListFile::USB_PRINTERS_ONLY);

    QTableWidget* pTable = m_pUi->tablePrinterList;
    pTable->clearContents();
    pTable->setRowCount(0);
    pTable->setRowCount(m_listPrinter.size());
    for (int i = 0; i < m_listPrinter.size(); ++i) {
        const stPrinterInfo& info = m_listPrinter[i];
        // The service keeps a status file only for printers that answer it. The list holds USB
        // printers alone: network printers cannot take an image.
        const QFileInfo statusFile(m_strCfgDir + info.strName + VornPaths::c_strStatusFileSuffix);
        const QString strState = statusFile.isFile() ? c_strConnected : c_strNotConnected;
        pTable->setItem(i, COLUMN_NAME, new QTableWidgetItem(info.strName));
        pTable->setItem(i, COLUMN_MODEL, new QTableWidgetItem(info.strModel));
        pTable->setItem(i, COLUMN_CONNECTION, new QTableWidgetItem(c_strConnectionUsb));
        pTable->setItem(i, COLUMN_STATE, new QTableWidgetItem(strState));
    }
}

void Widget::on_buttonRefresh_clicked()
{
    RefreshDeviceTable();
}

void Widget::on_buttonBrowse_clicked()
{
    QString strStart = m_pUi->lineFilePath->text();
    if (strStart.isEmpty())
        strStart = QDir::homePath();
    const QString strChosen = QFileDialog::getOpenFileName(this, c_strChooseFirmware, strStart, c_strFileFilter);
    if (!strChosen.isEmpty())
        m_pUi->lineFilePath->setText(strChosen);
}

void Widget::on_buttonOK_clicked()
{
    if (m_bSending)
        return;
    // The selection, not the current cell: the table makes its first row current, unselected,
    // as soon as it takes the focus, and the user has then chosen no printer.
    const QModelIndexList listSelected = m_pUi->tablePrinterList->selectionModel()->selectedRows();
    const int iRow = listSelected.isEmpty() ? -1 : listSelected.first().row();
    if (iRow < 0 || iRow >= m_listPrinter.size()) {
        ShowMessageBoxOk(c_strNoPrinterSelected);
        return;
    }
    const stPrinterInfo printer = m_listPrinter[iRow];

    QString strPath = m_pUi->lineFilePath->text();
    if (strPath.startsWith(c_strFileUrlPrefix, Qt::CaseSensitive)) {
        strPath.remove(0, c_strFileUrlPrefix.size());
        m_pUi->lineFilePath->setText(strPath);
    }
    if (!QFileInfo(strPath).isFile()) {
        ShowMessageBoxOk(c_strCheckFilePath);
        return;
    }

    int iVendorId = 0;
    int iProductId = 0;
    if (!GetPrinterVidPidByModelName(printer.strModel, iVendorId, iProductId)) {
        ShowMessageBoxOk(c_strModelNotSupported);
        return;
    }

    if (ShowMessageBoxOkCancel(c_strConfirmPrefix + printer.strName + c_strConfirmSuffix) != QMessageBox::Ok)
        return;

    stFirmwareSendJob job;
    if (!CheckFWFile(strPath, job.vecImage)) {
        ShowMessageBoxOk(c_strReadFileFailed);
        return;
    }
    job.iVendorId = iVendorId;
    job.iProductId = iProductId;
    job.strUri = printer.strPort;
    SetSending(true);
    SlotSendProgress(0, static_cast<qint64>(job.vecImage.size()));
    m_pTrdSend->Start(std::move(job));
}

void Widget::SlotSendProgress(qint64 iSentBytes, qint64 iTotalBytes)
{
    if (iTotalBytes <= 0)
        return;
    m_pUi->progressSend->setValue(static_cast<int>(iSentBytes * c_iProgressSteps / iTotalBytes));
    m_pUi->labelProgress->setText(c_strProgressFormat.arg(iSentBytes).arg(iTotalBytes));
}

void Widget::SlotSendFinished(int iResult, int iAttempts)
{
    ShowMessageBoxOk(MessageForSendResult(iResult));
    SetSending(false);
    emit SgnUpdateFinished(iResult, iAttempts);
}

void Widget::SetSending(bool bSending)
{
    m_bSending = bSending;
    m_pUi->buttonRefresh->setEnabled(!bSending);
    m_pUi->buttonBrowse->setEnabled(!bSending);
    m_pUi->buttonOK->setEnabled(!bSending);
    m_pUi->lineFilePath->setReadOnly(bSending);
    m_pUi->tablePrinterList->setEnabled(!bSending);
    m_pUi->labelProgress->setVisible(bSending);
    m_pUi->progressSend->setVisible(bSending);
}

void Widget::closeEvent(QCloseEvent* pEvent)
{
    if (m_bSending)
        pEvent->ignore();
    else
        pEvent->accept();
}

int Widget::ShowMessageBoxOk(const QString& strMessage)
{
    QMessageBox box(QMessageBox::Information, c_strWindowTitle, strMessage, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setText(c_strButtonOk);
    return box.exec();
}

int Widget::ShowMessageBoxOkCancel(const QString& strMessage)
{
    QMessageBox box(QMessageBox::Information, c_strWindowTitle, strMessage, QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    box.button(QMessageBox::Ok)->setText(c_strButtonOk);
    box.button(QMessageBox::Cancel)->setText(c_strButtonCancel);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec();
}
