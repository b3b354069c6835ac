// Printer chooser, back button and message box shared by the maintenance tool's pages.
#include "BaseForm.h"
#include "ui_BaseForm.h"

#include "CupsQueueDiscovery.h"
#include "NetSettingsCodec.h"
#include "PrinterListFile.h"
#include "SettingTexts.h"

#include <QMessageBox>
#include <QPushButton>

BaseForm::BaseForm(const QString& strPrinterListPath, QWidget* parent)
    : QWidget(parent), ui(new Ui::BaseForm), m_strPrinterListPath(strPrinterListPath)
{
    ui->setupUi(this);
    connect(ui->comboBoxDevice, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &BaseForm::OnComboBoxDeviceChanged);
    connect(ui->pushButtonBack, &QPushButton::clicked, this, &BaseForm::OnButtonBackClicked);
}

BaseForm::~BaseForm()
{
    delete ui;
}

void BaseForm::RefreshDeviceCombobox()
{
    m_listPrinter = GetPrinterInfo();
    // The chooser announces every change; the page hears about the final selection only.
    {
        const QSignalBlocker blocker(ui->comboBoxDevice);
        ui->comboBoxDevice->clear();
        for (const stPrinterInfo& info : qAsConst(m_listPrinter))
            ui->comboBoxDevice->addItem(info.strName);
    }
    ui->comboBoxDevice->setCurrentIndex(0);
    OnComboBoxDeviceChanged(ui->comboBoxDevice->currentIndex());
}

QList<stPrinterInfo> BaseForm::GetPrinterInfo() const
{
    return PrinterListFile(m_strPrinterListPath).GetPrinterInfo(PrinterListFile::ALL_PRINTERS);
}

bool BaseForm::GetPrinterVidPid(const QString& strPort, int& iVendorID, int& iProductID)
{
    return GetNetworkPrinterVidPid(strPort, iVendorID, iProductID);
}

bool BaseForm::IsIPValid(const QString& strIP)
{
    return ::IsIPValid(strIP);
}

int BaseForm::ShowMessageBoxOk(const QString& strText)
{
    QMessageBox box(QMessageBox::Information, SettingTexts::c_strWindowTitle, strText, QMessageBox::NoButton, this);
    box.addButton(SettingTexts::c_strOk, QMessageBox::AcceptRole);
    return box.exec();
}

void BaseForm::OnButtonBackClicked()
{
    emit SgnChangeForm(0);
}

void BaseForm::SetTitle(const QString& strTitle)
{
    ui->labelTitle->setText(strTitle);
}

QWidget* BaseForm::ContentArea() const
{
    return ui->widgetContent;
}

const stPrinterInfo* BaseForm::CurrentPrinter() const
{
    const int iIndex = ui->comboBoxDevice->currentIndex();
    return iIndex >= 0 && iIndex < m_listPrinter.size() ? &m_listPrinter[iIndex] : nullptr;
}
