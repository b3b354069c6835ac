// The firmware updater's window: the suite's USB printers, the image file, and the update click
// that checks the choice, confirms it and hands the image to the sending worker.
#pragma once

#include "FirmwareSendRules.h"
#include "PrinterRecords.h"
#include "VornPaths.h"

#include <QList>
#include <QThread>
#include <QWidget>

namespace Ui {
class Widget;
}
class TrdFirmwareSend;

class Widget : public QWidget {
    Q_OBJECT
public:
    // strCfgDir holds the service's printer list and status files.
    explicit Widget(const FirmwareSendFunction& send, const QString& strCfgDir = VornPaths::c_strCfgDir,
                    QWidget* parent = nullptr);
    ~Widget() override;

    // Modal boxes titled like the window; they return the code of the button pressed
    // (QMessageBox::Ok is 0x400). Virtual so that tests can answer them without a user.
    virtual int ShowMessageBoxOk(const QString& strMessage);
    virtual int ShowMessageBoxOkCancel(const QString& strMessage);

    bool IsSending() const { return m_bSending; }

signals:
    // The message box reporting a send's result has been answered.
    void SgnUpdateFinished(int iResult, int iAttempts);

public slots:
    void on_buttonRefresh_clicked();
    void on_buttonBrowse_clicked();
    void on_buttonOK_clicked();

protected:
    // Closing the window would end the program in the middle of an image.
    void closeEvent(QCloseEvent* pEvent) override;

private slots:
    void SlotSendProgress(qint64 iSentBytes, qint64 iTotalBytes);
    void SlotSendFinished(int iResult, int iAttempts);

private:
    void InitUI();
    void InitDeviceTable();
    void RefreshDeviceTable();
    void SetSending(bool bSending);

    Ui::Widget* m_pUi;
    const QString m_strCfgDir;
    QList<stPrinterInfo> m_listPrinter;
    bool m_bSending = false;
    QThread m_threadSend;
    TrdFirmwareSend* m_pTrdSend;
};
