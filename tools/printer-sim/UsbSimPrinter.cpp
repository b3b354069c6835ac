// The USB face of a simulated printer.
#include "UsbSimPrinter.h"

#include "PrinterProtocol.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Printer class, "printer" subclass, bidirectional protocol.
constexpr uint8_t c_byPrinterSubClass = 1;
constexpr uint8_t c_byBidirectionalProtocol = 2;
constexpr uint16_t c_wBulkPacketBytes = 512;
constexpr quint64 c_uFnvPrime = 0x100000001b3ULL;
constexpr int c_iBytesPerKiB = 1024;

quint64 Fnv1a64(quint64 uHash, const uint8_t* pData, size_t uLength)
{
    for (size_t i = 0; i < uLength; ++i)
        uHash = (uHash ^ pData[i]) * c_uFnvPrime;
    return uHash;
}

QString Hex(const QByteArray& ba)
{
    return QString::fromLatin1(ba.toHex());
}

stUsbDeviceDescription DescriptionOf(const SimPrinter& printer, bool bKernelDriverBound)
{
    stUsbDeviceDescription description;
    description.wVendorId = uint16_t(printer.Model().iVendorID);
    description.wProductId = uint16_t(printer.Model().iProductID);
    description.strManufacturer = SimPrinter::c_szVendorName;
    description.strProduct = printer.Model().strModelName.toStdString();
    description.strSerialNumber = printer.SerialNumber().toStdString();
    stUsbInterfaceDescription iface;
    iface.byNumber = PrinterProtocol::c_iControlInterface;
    iface.byClass = PrinterProtocol::c_byPrinterInterfaceClass;
    iface.bySubClass = c_byPrinterSubClass;
    iface.byProtocol = c_byBidirectionalProtocol;
    iface.bKernelDriverBound = bKernelDriverBound;
    iface.listEndpoint = {{PrinterProtocol::c_byBulkOutEndpoint, enUsbTransferType::Bulk, c_wBulkPacketBytes},
                          {UsbSimPrinter::c_byBulkInEndpoint, enUsbTransferType::Bulk, c_wBulkPacketBytes}};
    description.listInterface = {iface};
    return description;
}

} // namespace

UsbSimPrinter::UsbSimPrinter(std::shared_ptr<SimPrinter> pPrinter, bool bKernelDriverBound)
    : UsbSimDevice(DescriptionOf(*pPrinter, bKernelDriverBound)), m_pPrinter(std::move(pPrinter))
{
}

int UsbSimPrinter::HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData)
{
    if (setup.bmRequestType != PrinterProtocol::c_byClassRequestIn || setup.wIndex != PrinterProtocol::c_iControlInterface)
        return c_iStall;
    if (setup.bRequest == PrinterProtocol::c_byRequestStatus) {
        m_pPrinter->NoteStatusRequest();
        if (m_pPrinter->State().bSilent)
            return -EPROTO;
        const QByteArray baReply = m_pPrinter->UsbReply();
        vecData.assign(baReply.constBegin(), baReply.constEnd());
        return int(vecData.size());
    }
    if (setup.bRequest == PrinterProtocol::c_byRequestCancel) {
        m_pPrinter->NoteCancel();
        vecData.clear();
        return m_pPrinter->State().bSilent ? -EPROTO : 0;
    }
    return c_iStall;
}

int UsbSimPrinter::HandleClaimInterface(unsigned)
{
    if (m_pPrinter->State().bInterfaceHeld)
        return -EBUSY;
    m_bNewExchange = true;
    return 0;
}

int UsbSimPrinter::HandleBulkOut(uint8_t, const std::vector<uint8_t>& vecData)
{
    const QByteArray baData(reinterpret_cast<const char*>(vecData.data()), int(vecData.size()));
    if (!SimNetSettings::IsSettingsRequest(baData))
        return ImageChunk(vecData);
    SettingsRequest(baData);
    return int(vecData.size());
}

int UsbSimPrinter::HandleBulkIn(uint8_t, std::vector<uint8_t>& vecData, size_t uMaxLength)
{
    std::lock_guard<std::mutex> lock(m_mutexReply);
    if (m_baPendingReply.isEmpty())
        return c_iNoDataYet;
    const size_t uCount = std::min(size_t(m_baPendingReply.size()), uMaxLength);
    vecData.assign(m_baPendingReply.constBegin(), m_baPendingReply.constBegin() + uCount);
    m_baPendingReply.clear();
    return int(uCount);
}

void UsbSimPrinter::SettingsRequest(const QByteArray& baRequest)
{
    if (SimNetSettings::IsWrite(baRequest)) {
        m_pPrinter->NoteOther(QStringLiteral("netwrite ") + Hex(baRequest));
    } else {
        QStringList listId;
        for (uint16_t wId : SimNetSettings::ReadIds(baRequest))
            listId << QStringLiteral("%1").arg(wId, 4, 16, QLatin1Char('0'));
        m_pPrinter->NoteOther(QStringLiteral("netread ") + listId.join(QLatin1Char(',')));
    }
    QByteArray baReply;
    bool bAnswer = false;
    m_pPrinter->Update([&](stSimPrinterState& state) {
        bAnswer = !state.bSilent && state.stNet.enReply != enSimNetReply::None;
        baReply = SimNetSettings::Answer(baRequest, state.stNet);
    });
    std::lock_guard<std::mutex> lock(m_mutexReply);
    m_baPendingReply = bAnswer ? baReply : QByteArray();
}

int UsbSimPrinter::ImageChunk(const std::vector<uint8_t>& vecData)
{
    const bool bNewImage = m_bNewExchange.exchange(false);
    int iDelayPerKiBMs = 0;
    m_pPrinter->Update([&](stSimPrinterState& state) {
        if (bNewImage)
            state.stImage.Restart();
        iDelayPerKiBMs = state.stImage.iDelayPerKiBMs;
    });
    // Blocks umockdev's thread, as a busy printer holds the transfer open.
    if (iDelayPerKiBMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(qint64(iDelayPerKiBMs) * qint64(vecData.size()) / c_iBytesPerKiB));

    bool bFailed = false;
    qint64 iTotal = 0;
    quint64 uHash = 0;
    m_pPrinter->Update([&](stSimPrinterState& state) {
        stSimImage& image = state.stImage;
        size_t uTaken = vecData.size();
        if (image.iFailAfterBytes >= 0 && image.iBytes + qint64(uTaken) > image.iFailAfterBytes) {
            uTaken = size_t(std::max<qint64>(image.iFailAfterBytes - image.iBytes, 0));
            bFailed = true;
        }
        image.uFnv1a64 = Fnv1a64(image.uFnv1a64, vecData.data(), uTaken);
        image.iBytes += qint64(uTaken);
        if (!bFailed)
            image.listChunk << int(uTaken);
        iTotal = image.iBytes;
        uHash = image.uFnv1a64;
    });
    const QString strImage = QStringLiteral("bytes=%1 fnv1a64=%2").arg(iTotal).arg(uHash, 16, 16, QLatin1Char('0'));
    if (bFailed) {
        m_pPrinter->NoteOther(QStringLiteral("image-failed ") + strImage);
        return -EPROTO;
    }
    m_pPrinter->NoteOther(QStringLiteral("data %1").arg(vecData.size()));
    m_pPrinter->NoteOther(QStringLiteral("image ") + strImage);
    return int(vecData.size());
}
