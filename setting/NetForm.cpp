// Reading and writing a printer's network settings: the page's fields, the exchanges in order,
// and the message the user sees for every outcome.
#include "NetForm.h"
#include "ui_NetForm.h"

#include "SettingTexts.h"
#include "UtilLibusb.h"

#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>

namespace {

constexpr int c_iOctets = 4;
constexpr int c_iOctetMax = 255;
constexpr int c_iSourceDhcpIndex = 0;
constexpr int c_iSourceStaticIndex = 1;
// Octet fields of one row, from the chooser's left edge, with a "." between two fields.
constexpr int c_iFieldLeft = 150;
constexpr int c_iFieldWidth = 44;
constexpr int c_iDotWidth = 8;
constexpr int c_iFieldHeight = 22;
const QString c_strOctetZero = QStringLiteral("0");
const QString c_strDot = QStringLiteral(".");

// An octet field refuses a number above 255 outright. The plain integer validator lets "256"
// stand as unfinished input, so the field would show a value the printer can never take.
class OctetValidator : public QIntValidator {
public:
    explicit OctetValidator(QObject* parent) : QIntValidator(0, c_iOctetMax, parent) {}

    State validate(QString& strInput, int& iPos) const override
    {
        const State state = QIntValidator::validate(strInput, iPos);
        bool bNumber = false;
        const int iValue = strInput.toInt(&bNumber);
        return state == Intermediate && bNumber && iValue > top() ? Invalid : state;
    }
};

// What the user reads for a failed read of the addresses.
QString ReadFailureText(int iResult)
{
    switch (iResult) {
    case USB_BULK_INIT_FAILED:
        return SettingTexts::c_strInterfaceInitFailed;
    case USB_BULK_ENUMERATION_FAILED:
    case USB_BULK_NO_ENDPOINT:
    case USB_BULK_OPEN_FAILED:
    case USB_BULK_CLAIM_FAILED:
        return SettingTexts::c_strConnectFailed;
    case USB_BULK_SEND_FAILED:
    case USB_BULK_TRANSFER_FAILED:
        return SettingTexts::c_strCommunicationFailed;
    default:
        return SettingTexts::c_strUnknownError;
    }
}

// What the user reads after a write: success, or the same failures as a read.
QString WriteResultText(int iResult)
{
    return iResult == USB_BULK_OK ? SettingTexts::c_strWriteDone : ReadFailureText(iResult);
}

} // namespace

NetForm::NetForm(const QString& strPrinterListPath, QWidget* parent)
    : BaseForm(strPrinterListPath, parent), ui(new Ui::NetForm)
{
    SetTitle(SettingTexts::c_strNetTitle);
    ui->setupUi(ContentArea());
    const QLabel* const arrRowLabel[] = {ui->labelIP,   ui->labelSubnetMask, ui->labelGateway, ui->labelDNS1,
                                         ui->labelDNS2, ui->labelWINS1,      ui->labelWINS2};
    for (int iRow = 0; iRow < NetSettingsProtocol::c_iAddressCount; ++iRow) {
        const QLabel* pRowLabel = arrRowLabel[iRow];
        for (int iOctet = 0; iOctet < c_iOctets; ++iOctet) {
            const int iLeft = c_iFieldLeft + iOctet * (c_iFieldWidth + c_iDotWidth);
            auto* pEdit = new QLineEdit(ContentArea());
            pEdit->setGeometry(iLeft, pRowLabel->y(), c_iFieldWidth, c_iFieldHeight);
            pEdit->setValidator(new OctetValidator(pEdit));
            pEdit->setAlignment(Qt::AlignCenter);
            pEdit->setAccessibleName(QStringLiteral("%1 %2").arg(pRowLabel->text()).arg(iOctet + 1));
            m_arrEdit[size_t(iRow)][size_t(iOctet)] = pEdit;
            if (iOctet + 1 < c_iOctets) {
                auto* pDot = new QLabel(c_strDot, ContentArea());
                pDot->setGeometry(iLeft + c_iFieldWidth, pRowLabel->y(), c_iDotWidth, c_iFieldHeight);
                pDot->setAlignment(Qt::AlignCenter);
            }
        }
    }
    connect(ui->comboBoxSource, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &NetForm::OnComboBoxSourceChanged);
    connect(ui->pushButtonGet, &QPushButton::clicked, this, &NetForm::OnButtonGetClicked);
    connect(ui->pushButtonSet, &QPushButton::clicked, this, &NetForm::OnButtonSetClicked);
    InitEdit();
}

NetForm::~NetForm()
{
    delete ui;
}

void NetForm::InitForm()
{
    RefreshDeviceCombobox();
    InitEdit();
}

void NetForm::InitEdit()
{
    for (const auto& arrRow : m_arrEdit) {
        for (QLineEdit* pEdit : arrRow)
            pEdit->setText(c_strOctetZero);
    }
    ui->comboBoxSource->setCurrentIndex(c_iSourceDhcpIndex);
    OnComboBoxSourceChanged(c_iSourceDhcpIndex);
}

void NetForm::OnComboBoxDeviceChanged(int)
{
    InitEdit();
}

void NetForm::OnComboBoxSourceChanged(int iIndex)
{
    const bool bStatic = iIndex == c_iSourceStaticIndex;
    for (const auto& arrRow : m_arrEdit) {
        for (QLineEdit* pEdit : arrRow)
            pEdit->setEnabled(bStatic);
    }
}

bool NetForm::ChosenUsbPrinter(stPrinterInfo& info, int& iVendorID, int& iProductID)
{
    const stPrinterInfo* pPrinter = CurrentPrinter();
    if (!pPrinter) {
        ShowMessageBoxOk(SettingTexts::c_strSelectPrinter);
        return false;
    }
    if (pPrinter->iConnectType != CONNECT_USB) {
        ShowMessageBoxOk(SettingTexts::c_strSelectUsbPrinter);
        return false;
    }
    if (!GetPrinterVidPid(pPrinter->strPort, iVendorID, iProductID)) {
        ShowMessageBoxOk(SettingTexts::c_strUnsupportedModel);
        return false;
    }
    info = *pPrinter;
    return true;
}

int NetForm::Exchange(int iVendorID, int iProductID, const QString& strPort, const QByteArray& baRequest,
                      QByteArray& baReply)
{
    QByteArray baBuffer(NetSettingsProtocol::c_iReplyMaxBytes, '\0');
    int iReplyLength = 0;
    const int iResult = USBSendRecvData(iVendorID, iProductID, strPort,
                                        reinterpret_cast<const unsigned char*>(baRequest.constData()), baRequest.size(),
                                        reinterpret_cast<unsigned char*>(baBuffer.data()), baBuffer.size(), iReplyLength);
    baReply = baBuffer.left(iResult == USB_BULK_OK ? iReplyLength : 0);
    return iResult;
}

bool NetForm::CheckPrinterIPStatusUSB(int iVendorID, int iProductID, const QString& strPort, QByteArray& baReply)
{
    return Exchange(iVendorID, iProductID, strPort, NetSettingsCodec::StatusQuery(), baReply) == USB_BULK_OK
           && baReply.size() > NetSettingsProtocol::c_iHeadBytes;
}

void NetForm::OnButtonGetClicked()
{
    stPrinterInfo printer;
    int iVendorID = 0;
    int iProductID = 0;
    if (!ChosenUsbPrinter(printer, iVendorID, iProductID))
        return;
    QByteArray baReply;
    if (!CheckPrinterIPStatusUSB(iVendorID, iProductID, printer.strPort, baReply)) {
        ShowMessageBoxOk(SettingTexts::c_strStatusQueryFailed);
        return;
    }
    // The status reply only tells which item set the printer speaks; a reply without the
    // selector means the second set.
    stIPInfo status;
    NetSettingsCodec::ParseRecvData(reinterpret_cast<const unsigned char*>(baReply.constData()), baReply.size(), status);

    const int iResult = Exchange(iVendorID, iProductID, printer.strPort, NetSettingsCodec::AddressRead(status.iPrimarySet),
                                 baReply);
    if (iResult != USB_BULK_OK) {
        ShowMessageBoxOk(ReadFailureText(iResult));
        return;
    }
    stIPInfo info;
    if (!NetSettingsCodec::ParseRecvData(reinterpret_cast<const unsigned char*>(baReply.constData()), baReply.size(), info)) {
        ShowMessageBoxOk(SettingTexts::c_strReadFailed);
        return;
    }
    SetSheetInfo(info);
    m_iPrimarySet = status.iPrimarySet;
}

void NetForm::OnButtonSetClicked()
{
    stPrinterInfo printer;
    int iVendorID = 0;
    int iProductID = 0;
    if (!ChosenUsbPrinter(printer, iVendorID, iProductID))
        return;
    stIPInfo info;
    if (!GetSheetInfo(info)) {
        ShowMessageBoxOk(SettingTexts::c_strBadAddress);
        return;
    }
    const QByteArray baRequest = NetSettingsCodec::AddressWrite(info);
    QByteArray baReply;
    ShowMessageBoxOk(WriteResultText(Exchange(iVendorID, iProductID, printer.strPort, baRequest, baReply)));
}

void NetForm::SetSheetInfo(const stIPInfo& info)
{
    ui->comboBoxSource->setCurrentIndex(info.iIPSource ? c_iSourceStaticIndex : c_iSourceDhcpIndex);
    for (int iRow = 0; iRow < NetSettingsProtocol::c_iAddressCount; ++iRow)
        SetIPToEdit(iRow, *IPInfoAddress(info, iRow));
}

bool NetForm::GetSheetInfo(stIPInfo& info) const
{
    info.iPrimarySet = m_iPrimarySet;
    info.iIPSource = ui->comboBoxSource->currentIndex() == c_iSourceStaticIndex ? 1 : 0;
    bool bAllValid = true;
    for (int iRow = 0; iRow < NetSettingsProtocol::c_iAddressCount; ++iRow) {
        *IPInfoAddress(info, iRow) = GetIPFromEdit(iRow);
        bAllValid = bAllValid && IsIPValid(*IPInfoAddress(info, iRow));
    }
    return bAllValid;
}

void NetForm::SetIPToEdit(int iRow, const QString& strIP)
{
    const QStringList listOctet = strIP.split(c_strDot);
    if (!IsIPValid(strIP) || listOctet.size() != c_iOctets)
        return;
    for (int iOctet = 0; iOctet < c_iOctets; ++iOctet)
        m_arrEdit[size_t(iRow)][size_t(iOctet)]->setText(listOctet[iOctet]);
}

QString NetForm::GetIPFromEdit(int iRow) const
{
    QStringList listOctet;
    for (const QLineEdit* pEdit : m_arrEdit[size_t(iRow)])
        listOctet << pEdit->text();
    return listOctet.join(c_strDot);
}
