// A USB printer on the simulated bus: it answers the status class request with a record and
// counts the cancel class requests it receives.
#pragma once

#include "UsbTestbed.h"

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <string>

// A device of another kind (a keyboard) that shares the bus with the printers.
inline stUsbDeviceDescription UnrelatedUsbDevice()
{
    stUsbDeviceDescription description;
    description.wVendorId = 0x0F0F;
    description.wProductId = 0x0001;
    description.strSerialNumber = "KB01";
    description.listInterface = {{0, 3, 1, 1, {{0x81, enUsbTransferType::Interrupt, 8}}}};
    return description;
}

class SimulatedUsbPrinter : public UsbSimDevice {
public:
    static constexpr uint16_t c_wVendorId = 0x3C7A;
    // The product id of model VL2120DN in the model table.
    static constexpr uint16_t c_wProductId = 0x101C;

    static stUsbDeviceDescription Describe(const std::string& strSerial, bool bKernelDriverBound = false)
    {
        stUsbDeviceDescription description;
        description.wVendorId = c_wVendorId;
        description.wProductId = c_wProductId;
        description.strManufacturer = "Vorn";
        description.strProduct = "VL2120DN";
        description.strSerialNumber = strSerial;
        stUsbInterfaceDescription printer;
        printer.byNumber = 0;
        printer.byClass = 7;
        printer.bySubClass = 1;
        printer.byProtocol = 2;
        printer.listEndpoint = {{0x01, enUsbTransferType::Bulk, 512}, {0x82, enUsbTransferType::Bulk, 512}};
        printer.bKernelDriverBound = bKernelDriverBound;
        description.listInterface = {printer};
        return description;
    }

    explicit SimulatedUsbPrinter(const std::string& strSerial, bool bKernelDriverBound = false)
        : UsbSimDevice(Describe(strSerial, bKernelDriverBound))
    {
    }

    // The reply to the status request: a record without its 7-byte head.
    void SetStatusReply(const QByteArray& baReply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_baStatusReply = baReply;
    }

    int StatusRequests() const { return m_iStatusRequests.load(); }
    int CancelRequests() const { return m_iCancelRequests.load(); }
    // wLength of the last request of each kind.
    int LastStatusLength() const { return m_iLastStatusLength.load(); }
    int LastCancelLength() const { return m_iLastCancelLength.load(); }

    int HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData) override
    {
        if (setup.bmRequestType != 0xA1 || setup.wValue != 0 || setup.wIndex != 0)
            return c_iStall;
        if (setup.bRequest == 0x34) {
            m_iLastCancelLength = setup.wLength;
            ++m_iCancelRequests;
            // A one-byte acknowledgement; the service ignores what comes back.
            vecData.assign(1, 0);
            return 1;
        }
        if (setup.bRequest != 0x33)
            return c_iStall;
        m_iLastStatusLength = setup.wLength;
        ++m_iStatusRequests;
        std::lock_guard<std::mutex> lock(m_mutex);
        vecData.assign(m_baStatusReply.begin(), m_baStatusReply.end());
        return int(vecData.size());
    }

private:
    std::atomic<int> m_iStatusRequests{0};
    std::atomic<int> m_iCancelRequests{0};
    std::atomic<int> m_iLastStatusLength{0};
    std::atomic<int> m_iLastCancelLength{0};
    // Guards m_baStatusReply: handlers run on the harness's own thread.
    std::mutex m_mutex;
    QByteArray m_baStatusReply;
};
