// One control request per call: begin a private context, find the printer whose serial the
// address names, claim interface 0, transfer, and release everything before returning.
#include "LibusbPrinterTransport.h"

#include "CupsQueueDiscovery.h"
#include "PrinterProtocol.h"
#include "UtilLog.h"

#include <libusb.h>

namespace {

// Owns what one pass acquires, so every exit path releases it in the right order.
class UsbPass {
public:
    ~UsbPass()
    {
        if (m_pHandle) {
            if (m_bClaimed)
                libusb_release_interface(m_pHandle, PrinterProtocol::c_iControlInterface);
            libusb_close(m_pHandle);
        }
        if (m_ppList)
            libusb_free_device_list(m_ppList, 1);
        if (m_pContext)
            libusb_exit(m_pContext);
    }

    int Begin()
    {
        return libusb_init(&m_pContext) < 0 ? -2 : 0;
    }

    // Walks the bus for the first device of the model whose serial matches; keeps it open.
    int OpenPrinter(int iVendorID, int iProductID, const QString& strSerial)
    {
        const ssize_t iCount = libusb_get_device_list(m_pContext, &m_ppList);
        if (iCount < 0)
            return -3;
        if (iCount == 0)
            return -4;
        bool bLastCandidateFailed = false;
        for (ssize_t i = 0; i < iCount; ++i) {
            libusb_device_descriptor desc{};
            if (libusb_get_device_descriptor(m_ppList[i], &desc) < 0) {
                VORN_LOG("*** libusb_get_device_descriptor failed! i:%d \n", int(i + 1));
                return -4;
            }
            if (desc.idVendor != iVendorID || desc.idProduct != iProductID)
                continue;
            libusb_device_handle* pHandle = nullptr;
            if (libusb_open(m_ppList[i], &pHandle) < 0 || !pHandle) {
                bLastCandidateFailed = true;
                continue;
            }
            unsigned char szSerial[PrinterProtocol::c_iSerialBufferBytes] = {};
            const int iRead = libusb_get_string_descriptor_ascii(pHandle, desc.iSerialNumber, szSerial,
                                                                 sizeof(szSerial) - 1);
            if (iRead < 0) {
                libusb_close(pHandle);
                bLastCandidateFailed = true;
                continue;
            }
            bLastCandidateFailed = false;
            if (!SerialMatches(strSerial, QString::fromLatin1(reinterpret_cast<char*>(szSerial)))) {
                libusb_close(pHandle);
                continue;
            }
            m_pHandle = pHandle;
            libusb_free_device_list(m_ppList, 1);
            m_ppList = nullptr;
            return 0;
        }
        return bLastCandidateFailed ? -4 : -5;
    }

    int ClaimControlInterface()
    {
        const int iInterface = PrinterProtocol::c_iControlInterface;
        // The kernel's printer driver may hold the interface; the CUPS backend reattaches it.
        if (libusb_kernel_driver_active(m_pHandle, iInterface) == 1
            && libusb_detach_kernel_driver(m_pHandle, iInterface) == 0)
            VORN_LOG("1");
        if (libusb_claim_interface(m_pHandle, iInterface) < 0)
            return -6;
        m_bClaimed = true;
        return 0;
    }

    libusb_device_handle* Handle() const { return m_pHandle; }

private:
    libusb_context* m_pContext = nullptr;
    libusb_device** m_ppList = nullptr;
    libusb_device_handle* m_pHandle = nullptr;
    bool m_bClaimed = false;
};

} // namespace

int LibusbPrinterTransport::ControlRequestIn(const QString& strPort, uint8_t bmRequestType, uint8_t bRequest,
                                             uint16_t wValue, uint16_t wIndex, unsigned char* pData,
                                             uint16_t wLength, unsigned int& uTransferred)
{
    int iVendorID = 0;
    int iProductID = 0;
    if (!GetPrinterVidPid(strPort, iVendorID, iProductID))
        return -1;

    UsbPass pass;
    int iResult = pass.Begin();
    if (iResult == 0)
        iResult = pass.OpenPrinter(iVendorID, iProductID, SerialFromDeviceAddress(strPort));
    if (iResult == 0)
        iResult = pass.ClaimControlInterface();
    if (iResult == 0) {
        const int iTransfer = libusb_control_transfer(pass.Handle(), bmRequestType, bRequest, wValue, wIndex,
                                                      pData, wLength, c_iStatusTimeoutMs);
        uTransferred = iTransfer < 0 ? 0 : static_cast<unsigned int>(iTransfer);
        iResult = iTransfer < 0 ? iTransfer : 0;
    }
    if (iResult < 0)
        VORN_LOG("*** error=%s \n", libusb_error_name(iResult));
    return iResult;
}
