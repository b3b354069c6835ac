// The suite's simulated USB printer as the service's tests use it: it also notes the length
// each class request asked for, and can sit behind a bound kernel printer driver.
#pragma once

#include "SimPrinter.h"
#include "UsbSimPrinter.h"
#include "UsbTestbed.h"

#include <atomic>
#include <memory>

class SimulatedUsbPrinter : public UsbSimDevice {
public:
    explicit SimulatedUsbPrinter(const QString& strSerial, bool bKernelDriverBound = false)
        : SimulatedUsbPrinter(std::make_shared<UsbSimPrinter>(std::make_shared<SimPrinter>(
                                  QStringLiteral("U1"), enSimTransport::Usb, *FindModel(QStringLiteral("VL2120DN")), strSerial)),
                              bKernelDriverBound)
    {
    }

    SimPrinter& Printer() const { return m_pPrinter->Printer(); }
    int StatusRequests() const { return Printer().StatusRequestCount(); }
    int CancelRequests() const { return Printer().CancelCount(); }
    int LastStatusLength() const { return m_iLastStatusLength.load(); }
    int LastCancelLength() const { return m_iLastCancelLength.load(); }

    int HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData) override
    {
        (setup.bRequest == 0x34 ? m_iLastCancelLength : m_iLastStatusLength) = setup.wLength;
        return m_pPrinter->HandleControl(setup, vecData);
    }
    int HandleClaimInterface(unsigned uInterface) override { return m_pPrinter->HandleClaimInterface(uInterface); }
    int HandleBulkOut(uint8_t byEndpoint, const std::vector<uint8_t>& vecData) override
    {
        return m_pPrinter->HandleBulkOut(byEndpoint, vecData);
    }

private:
    SimulatedUsbPrinter(std::shared_ptr<UsbSimPrinter> pPrinter, bool bKernelDriverBound)
        : UsbSimDevice(WithKernelDriver(pPrinter->Description(), bKernelDriverBound))
        , m_pPrinter(std::move(pPrinter))
    {
    }

    static stUsbDeviceDescription WithKernelDriver(stUsbDeviceDescription description, bool bKernelDriverBound)
    {
        for (stUsbInterfaceDescription& iface : description.listInterface)
            iface.bKernelDriverBound = bKernelDriverBound;
        return description;
    }

    const std::shared_ptr<UsbSimPrinter> m_pPrinter;
    std::atomic<int> m_iLastStatusLength{0};
    std::atomic<int> m_iLastCancelLength{0};
};
