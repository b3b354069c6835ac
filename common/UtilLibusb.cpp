// One bulk pass per call on libusb's default context: find the printer by vendor, product and
// serial prefix, pick its printer-class interface, claim it, transfer, and release everything.
#include "UtilLibusb.h"

#include "PrinterProtocol.h"
#include "UsbDeviceAddress.h"
#include "UtilLog.h"

#include <libusb.h>

#include <algorithm>

namespace {

constexpr uint8_t c_byEndpointDirectionIn = 0x80;
constexpr uint8_t c_byTransferTypeMask = 0x03;
// A firmware chunk may take as long as the printer needs to write it.
constexpr unsigned c_uNoTimeout = 0;

int init_libusb()
{
    if (libusb_init(nullptr) < 0) {
        VORN_LOG("*** initial USB lib failed! \n");
        return -1;
    }
    return 0;
}

// Looks for the device whose vendor and product match and whose serial number the URI's
// "serial" item begins (ignoring case). A device that cannot be opened, or whose serial cannot
// be read, is skipped. Negative on an enumeration failure; otherwise 0, with the device stored
// when one matched.
int get_device_descriptor(libusb_device_descriptor* pDescriptor, userDevice* pUserDevice, const QString& strUri)
{
    const ssize_t iCount = libusb_get_device_list(nullptr, &pUserDevice->deviceList);
    if (iCount < 0)
        return int(iCount);
    const QString strWantedSerial = SerialFromDeviceAddress(strUri);
    int iResult = iCount == 0 ? -2 : 0;
    for (ssize_t i = 0; i < iCount; ++i) {
        libusb_device* pDevice = pUserDevice->deviceList[i];
        iResult = libusb_get_device_descriptor(pDevice, pDescriptor);
        if (iResult < 0) {
            VORN_LOG("*** libusb_get_device_descriptor failed! i:%d \n", int(i + 1));
            return -1;
        }
        if (pDescriptor->idVendor != pUserDevice->vendorId || pDescriptor->idProduct != pUserDevice->productId)
            continue;
        libusb_device_handle* pHandle = nullptr;
        if (libusb_open(pDevice, &pHandle) < 0 || !pHandle)
            continue;
        unsigned char szSerial[PrinterProtocol::c_iSerialBufferBytes] = {};
        const int iRead = libusb_get_string_descriptor_ascii(pHandle, pDescriptor->iSerialNumber, szSerial,
                                                             sizeof(szSerial) - 1);
        libusb_close(pHandle);
        if (iRead < 0)
            continue;
        if (SerialMatches(strWantedSerial, QString::fromLatin1(reinterpret_cast<const char*>(szSerial)))) {
            pUserDevice->device = pDevice;
            return 0;
        }
    }
    return iResult;
}

// True when the setting has a bulk IN and a bulk OUT endpoint; their addresses are recorded
// (a later endpoint of one direction replaces an earlier one).
bool match_with_endpoint(const libusb_interface_descriptor* pSetting, userDevice* pUserDevice)
{
    bool bIn = false;
    bool bOut = false;
    for (int i = 0; i < pSetting->bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = pSetting->endpoint[i];
        if ((endpoint.bmAttributes & c_byTransferTypeMask) != pUserDevice->transferType)
            continue;
        if (endpoint.bEndpointAddress & c_byEndpointDirectionIn) {
            pUserDevice->inEndpoint = endpoint.bEndpointAddress;
            bIn = true;
        } else {
            pUserDevice->outEndpoint = endpoint.bEndpointAddress;
            bOut = true;
        }
    }
    return bIn && bOut;
}

// 0 with the endpoints and interface number of the first printer-class setting whose bulk OUT
// is the printer's data endpoint; -1 without device or configuration descriptor; -2 when none fits.
int get_device_endpoint(const libusb_device_descriptor* pDescriptor, userDevice* pUserDevice)
{
    for (int iConfig = 0; iConfig < pDescriptor->bNumConfigurations; ++iConfig) {
        libusb_config_descriptor* pConfig = nullptr;
        if (!pUserDevice->device || libusb_get_config_descriptor(pUserDevice->device, uint8_t(iConfig), &pConfig) < 0) {
            VORN_LOG("*** libusb_get_config_descriptor failed! \n");
            return -1;
        }
        for (int iInterface = 0; iInterface < pConfig->bNumInterfaces; ++iInterface) {
            const libusb_interface& iface = pConfig->interface[iInterface];
            for (int iAlt = 0; iAlt < iface.num_altsetting; ++iAlt) {
                const libusb_interface_descriptor* pSetting = &iface.altsetting[iAlt];
                if (pSetting->bInterfaceClass != pUserDevice->interfaceClass || pSetting->bNumEndpoints == 0)
                    continue;
                if (match_with_endpoint(pSetting, pUserDevice)
                    && pUserDevice->outEndpoint == PrinterProtocol::c_byBulkOutEndpoint) {
                    pUserDevice->interfaceNumber = pSetting->bInterfaceNumber;
                    libusb_free_config_descriptor(pConfig);
                    return 0;
                }
            }
        }
        libusb_free_config_descriptor(pConfig);
    }
    return -2;
}

// Everything one pass holds, released in order on every exit. The kernel printer driver is
// attached again if the pass had to detach it: otherwise the printer's device node, and the
// CUPS backend that prints through it, would stay gone until the printer is replugged.
class BulkPass {
public:
    BulkPass(int iVendorId, int iProductId)
    {
        m_stDevice.vendorId = uint16_t(iVendorId);
        m_stDevice.productId = uint16_t(iProductId);
        m_stDevice.interfaceClass = PrinterProtocol::c_byPrinterInterfaceClass;
        m_stDevice.interfaceSubClass = PrinterProtocol::c_byPrinterInterfaceSubClass;
        m_stDevice.transferType = PrinterProtocol::c_byBulkTransferType;
    }

    ~BulkPass()
    {
        if (!m_bStarted)
            return;
        if (m_iLibusbError < 0)
            VORN_LOG("*** error=%s \n", libusb_error_name(m_iLibusbError));
        if (m_stDevice.deviceList)
            libusb_free_device_list(m_stDevice.deviceList, 1);
        if (m_pHandle) {
            if (m_bClaimed)
                libusb_release_interface(m_pHandle, m_stDevice.interfaceNumber);
            if (m_bDetached)
                libusb_attach_kernel_driver(m_pHandle, m_stDevice.interfaceNumber);
            libusb_close(m_pHandle);
        }
        libusb_exit(nullptr);
        VORN_LOG("*** success! \n");
    }

    BulkPass(const BulkPass&) = delete;
    BulkPass& operator=(const BulkPass&) = delete;

    // Context, search, endpoints, open and claim: 0 or -1..-5.
    int Open(const QString& strUri)
    {
        if (init_libusb() < 0) {
            VORN_LOG("*** init_libusb failed! \n");
            return USB_BULK_INIT_FAILED;
        }
        m_bStarted = true;
        libusb_device_descriptor descriptor{};
        const int iSearch = get_device_descriptor(&descriptor, &m_stDevice, strUri);
        if (iSearch < 0) {
            VORN_LOG("*** get_device_descriptor failed! \n");
            m_iLibusbError = iSearch;
            return USB_BULK_ENUMERATION_FAILED;
        }
        const int iEndpoint = get_device_endpoint(&descriptor, &m_stDevice);
        if (iEndpoint < 0) {
            VORN_LOG("*** get_device_endpoint failed! rv:%d \n", iEndpoint);
            m_iLibusbError = iEndpoint;
            return USB_BULK_NO_ENDPOINT;
        }
        if (libusb_open(m_stDevice.device, &m_pHandle) < 0 || !m_pHandle) {
            m_pHandle = nullptr;
            VORN_LOG("*** Permission denied or Can not find the USB board (Maybe the USB driver has not been "
                     "installed correctly), quit!\n");
            return USB_BULK_OPEN_FAILED;
        }
        return Claim();
    }

    // One bulk transfer; true when all iLength bytes moved. iTransferred receives the count.
    bool Transfer(uint8_t byEndpoint, unsigned char* pData, int iLength, unsigned uTimeoutMs, int& iTransferred)
    {
        iTransferred = 0;
        const int iResult = libusb_bulk_transfer(m_pHandle, byEndpoint, pData, iLength, &iTransferred, uTimeoutMs);
        if (iResult < 0) {
            m_iLibusbError = iResult;
            return false;
        }
        return iTransferred == iLength;
    }

    // A bulk IN of up to iCapacity bytes; false on a transfer error.
    bool Receive(unsigned char* pData, int iCapacity, int& iReceived)
    {
        iReceived = 0;
        const int iResult = libusb_bulk_transfer(m_pHandle, m_stDevice.inEndpoint, pData, iCapacity, &iReceived,
                                                 PrinterProtocol::c_uBulkTimeoutMs);
        if (iResult < 0) {
            m_iLibusbError = iResult;
            return false;
        }
        return true;
    }

    uint8_t OutEndpoint() const { return m_stDevice.outEndpoint; }

private:
    int Claim()
    {
        const uint8_t byInterface = m_stDevice.interfaceNumber;
        int iResult = libusb_claim_interface(m_pHandle, byInterface);
        if (iResult == 0) {
            m_bClaimed = true;
            return USB_BULK_OK;
        }
        iResult = libusb_detach_kernel_driver(m_pHandle, byInterface);
        if (iResult < 0) {
            VORN_LOG("*** libusb_detach_kernel_driver failed! rv%d\n", iResult);
            m_iLibusbError = iResult;
            return USB_BULK_CLAIM_FAILED;
        }
        m_bDetached = true;
        iResult = libusb_claim_interface(m_pHandle, byInterface);
        if (iResult < 0) {
            VORN_LOG("*** libusb_claim_interface failed! rv%d\n", iResult);
            m_iLibusbError = iResult;
            return USB_BULK_CLAIM_FAILED;
        }
        m_bClaimed = true;
        return USB_BULK_OK;
    }

    userDevice m_stDevice{};
    libusb_device_handle* m_pHandle = nullptr;
    bool m_bStarted = false;
    bool m_bClaimed = false;
    bool m_bDetached = false;
    // The libusb result behind a failure, named in the closing error line.
    int m_iLibusbError = 0;
};

} // namespace

int USBSendRecvData(int iVendorId, int iProductId, const QString& strUri,
                    const unsigned char* pRequest, int iRequestLength,
                    unsigned char* pReply, int iReplyCapacity, int& iReplyLength)
{
    iReplyLength = 0;
    BulkPass pass(iVendorId, iProductId);
    const int iOpen = pass.Open(strUri);
    if (iOpen != USB_BULK_OK)
        return iOpen;

    // libusb takes a mutable buffer for both directions but does not write an OUT buffer.
    int iSent = 0;
    if (!pass.Transfer(pass.OutEndpoint(), const_cast<unsigned char*>(pRequest), iRequestLength,
                       PrinterProtocol::c_uBulkTimeoutMs, iSent)) {
        VORN_LOG("*** bulk_transfer failed! \n");
        return USB_BULK_SEND_FAILED;
    }
    int iReceived = 0;
    if (!pass.Receive(pReply, std::max(iReplyCapacity, 0), iReceived)) {
        VORN_LOG("*** bulk_transfer failed! \n");
        return USB_BULK_TRANSFER_FAILED;
    }
    VORN_LOG("*** iRecvSize = %d \n", iReceived);
    iReplyLength = iReceived;
    return USB_BULK_OK;
}

int FWUpdateTask(int iVendorId, int iProductId, const QString& strUri,
                 const unsigned char* pImage, qint64 iLength, const FWUpdateProgress& progress)
{
    if (iLength <= 0)
        return USB_BULK_OK;
    BulkPass pass(iVendorId, iProductId);
    const int iOpen = pass.Open(strUri);
    if (iOpen != USB_BULK_OK)
        return iOpen;

    int iResult = USB_BULK_OK;
    int iChunk = 0;
    for (qint64 iOffset = 0; iOffset < iLength; iOffset += iChunk) {
        iChunk = int(std::min<qint64>(iLength - iOffset, PrinterProtocol::c_iFirmwareChunkBytes));
        int iSent = 0;
        if (!pass.Transfer(pass.OutEndpoint(), const_cast<unsigned char*>(pImage + iOffset), iChunk, c_uNoTimeout,
                           iSent)) {
            VORN_LOG("*** bulk_transfer failed! \n");
            iResult = USB_BULK_TRANSFER_FAILED;
            break;
        }
        if (progress)
            progress(iOffset + iChunk);
    }
    VORN_LOG("*** length = %d \n", iChunk);
    return iResult;
}
