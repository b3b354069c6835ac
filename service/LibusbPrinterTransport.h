// The real USB transport: each request is one complete libusb pass on a private context,
// so several status workers may talk to their printers at the same moment.
#pragma once

#include "UsbDeviceAddress.h"
#include "UsbPrinterTransport.h"

class LibusbPrinterTransport : public UsbPrinterTransport {
public:
    static constexpr int c_iStatusTimeoutMs = 2000;

    int ControlRequestIn(const QString& strPort, uint8_t bmRequestType, uint8_t bRequest,
                         uint16_t wValue, uint16_t wIndex, unsigned char* pData,
                         uint16_t wLength, unsigned int& uTransferred) override;
};
