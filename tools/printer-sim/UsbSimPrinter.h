// A simulated printer on the simulated USB bus: the model's vendor and product id, its serial
// number, and a printer-class interface 0 that answers the status and cancel class requests.
#pragma once

#include "SimPrinter.h"
#include "UsbSimDevice.h"

#include <memory>

class UsbSimPrinter : public UsbSimDevice {
public:
    static constexpr uint8_t c_byBulkInEndpoint = 0x81;

    explicit UsbSimPrinter(std::shared_ptr<SimPrinter> pPrinter);

    SimPrinter& Printer() const { return *m_pPrinter; }

    // Status (0xA1/0x33): the current record without its header. Cancel (0xA1/0x34): counted,
    // no data. A silent printer fails both with a protocol error.
    int HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData) override;
    // Refused with EBUSY while the state says another program holds the interface.
    int HandleClaimInterface(unsigned uInterface) override;
    // Bulk data (settings requests, firmware images) is accepted and reported by its size.
    int HandleBulkOut(uint8_t byEndpoint, const std::vector<uint8_t>& vecData) override;

private:
    const std::shared_ptr<SimPrinter> m_pPrinter;
};
