// The USB face of a simulated printer.
#include "UsbSimPrinter.h"

#include "PrinterProtocol.h"

namespace {

// Printer class, "printer" subclass, bidirectional protocol.
constexpr uint8_t c_byPrinterSubClass = 1;
constexpr uint8_t c_byBidirectionalProtocol = 2;
constexpr uint16_t c_wBulkPacketBytes = 512;

stUsbDeviceDescription DescriptionOf(const SimPrinter& printer)
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
    iface.listEndpoint = {{PrinterProtocol::c_byBulkOutEndpoint, enUsbTransferType::Bulk, c_wBulkPacketBytes},
                          {UsbSimPrinter::c_byBulkInEndpoint, enUsbTransferType::Bulk, c_wBulkPacketBytes}};
    description.listInterface = {iface};
    return description;
}

} // namespace

UsbSimPrinter::UsbSimPrinter(std::shared_ptr<SimPrinter> pPrinter)
    : UsbSimDevice(DescriptionOf(*pPrinter)), m_pPrinter(std::move(pPrinter))
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
    return m_pPrinter->State().bInterfaceHeld ? -EBUSY : 0;
}

int UsbSimPrinter::HandleBulkOut(uint8_t, const std::vector<uint8_t>& vecData)
{
    m_pPrinter->NoteOther(QStringLiteral("data %1").arg(vecData.size()));
    return int(vecData.size());
}
