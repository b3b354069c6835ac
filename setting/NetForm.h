// The network settings page: reads and writes the IPv4 configuration of a USB-connected printer
// over its bulk pipe.
#pragma once

#include "BaseForm.h"
#include "NetSettingsCodec.h"
#include "NetSettingsProtocol.h"

#include <array>

class QLineEdit;

namespace Ui {
class NetForm;
}

class NetForm : public BaseForm {
    Q_OBJECT

public:
    explicit NetForm(const QString& strPrinterListPath = VornPaths::c_strCfgDir + VornPaths::c_strPrinterListFile,
                     QWidget* parent = nullptr);
    ~NetForm() override;

    void InitForm() override;

    // Sends the status query; true when it was answered with more than the 7-byte head.
    bool CheckPrinterIPStatusUSB(int iVendorID, int iProductID, const QString& strPort, QByteArray& baReply);
    // The whole page into info; false when any of the seven addresses is not complete and valid.
    bool GetSheetInfo(stIPInfo& info) const;
    void SetSheetInfo(const stIPInfo& info);
    // Every octet field to "0", DHCP, fields disabled.
    void InitEdit();

private slots:
    void OnButtonGetClicked();
    void OnButtonSetClicked();
    void OnComboBoxSourceChanged(int iIndex);

protected slots:
    void OnComboBoxDeviceChanged(int iIndex) override;

private:
    // The three checks before any exchange; false after telling the user what is wrong.
    bool ChosenUsbPrinter(stPrinterInfo& info, int& iVendorID, int& iProductID);
    // One request, reply into baReply; the USB result code.
    static int Exchange(int iVendorID, int iProductID, const QString& strPort, const QByteArray& baRequest,
                        QByteArray& baReply);
    void SetIPToEdit(int iRow, const QString& strIP);
    QString GetIPFromEdit(int iRow) const;

    Ui::NetForm* ui;
    std::array<std::array<QLineEdit*, 4>, NetSettingsProtocol::c_iAddressCount> m_arrEdit{};
    // The item set the printer spoke at the last successful read; the second set until then.
    int m_iPrimarySet = 0;
};
