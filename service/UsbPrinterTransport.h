// The seam between the status workers and a USB printer: one device-to-host control request
// on interface 0, addressed by the queue's USB address text.
#pragma once

#include <QString>

#include <cstdint>

class UsbPrinterTransport {
public:
    virtual ~UsbPrinterTransport() = default;

    // 0 with uTransferred set, or a negative code:
    //   -1 the address names no supported model    -4 enumeration or candidate failure
    //   -2 the USB library could not start         -5 no matching printer on the bus
    //   -3 the device list could not be read       -6 interface 0 could not be claimed
    //   any other negative value: the transfer's own error
    virtual int ControlRequestIn(const QString& strPort, uint8_t bmRequestType, uint8_t bRequest,
                                 uint16_t wValue, uint16_t wIndex, unsigned char* pData,
                                 uint16_t wLength, unsigned int& uTransferred) = 0;
};
