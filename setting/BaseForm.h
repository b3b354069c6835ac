// The common base of the maintenance tool's working pages: the printer chooser filled from the
// service's printer list, the back button, the message box and the IPv4 check.
#pragma once

#include "PrinterRecords.h"
#include "VornPaths.h"

#include <QList>
#include <QWidget>

namespace Ui {
class BaseForm;
}

class BaseForm : public QWidget {
    Q_OBJECT

public:
    // strPrinterListPath: the printer list the service publishes.
    explicit BaseForm(const QString& strPrinterListPath = VornPaths::c_strCfgDir + VornPaths::c_strPrinterListFile,
                      QWidget* parent = nullptr);
    ~BaseForm() override;

    // Prepares the page each time it is shown.
    virtual void InitForm() = 0;

    // Replaces the page's printers with a fresh read of the list and selects the first.
    void RefreshDeviceCombobox();
    // Every record of the printer list; empty when the file is missing.
    QList<stPrinterInfo> GetPrinterInfo() const;
    // USB identifiers of the model that a printer's address names, from the tool's model table.
    static bool GetPrinterVidPid(const QString& strPort, int& iVendorID, int& iProductID);
    static bool IsIPValid(const QString& strIP);
    // A modal information box with one button; returns the dialog's result.
    int ShowMessageBoxOk(const QString& strText);

signals:
    void SgnChangeForm(int iIndex);

protected slots:
    void OnButtonBackClicked();
    virtual void OnComboBoxDeviceChanged(int iIndex) = 0;

protected:
    void SetTitle(const QString& strTitle);
    // Where a page puts its own widgets, between the chooser and the back button.
    QWidget* ContentArea() const;
    // The chosen printer, or nullptr when the list is empty.
    const stPrinterInfo* CurrentPrinter() const;

private:
    Ui::BaseForm* ui;
    const QString m_strPrinterListPath;
    QList<stPrinterInfo> m_listPrinter;
};
