// What a simulated USB device looks like from the bus: the few facts from which the harness
// generates its device, configuration and string descriptors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Endpoint transfer types as they appear in the low two bits of bmAttributes.
enum class enUsbTransferType : uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct stUsbEndpointDescription {
    uint8_t byAddress = 0;  // bit 7 set for IN
    enUsbTransferType enType = enUsbTransferType::Bulk;
    uint16_t wMaxPacketSize = 512;
};

struct stUsbInterfaceDescription {
    uint8_t byNumber = 0;
    uint8_t byClass = 0;
    uint8_t bySubClass = 0;
    uint8_t byProtocol = 0;
    std::vector<stUsbEndpointDescription> listEndpoint;
    // A kernel driver bound to the interface makes claims fail with EBUSY until it is detached,
    // as the usblp driver does on a real machine.
    bool bKernelDriverBound = false;
};

struct stUsbDeviceDescription {
    uint16_t wVendorId = 0;
    uint16_t wProductId = 0;
    uint16_t wDeviceRelease = 0x0100;
    std::string strManufacturer;
    std::string strProduct;
    std::string strSerialNumber;
    std::vector<stUsbInterfaceDescription> listInterface;  // all in configuration 1, alternate setting 0
};

// A device of another kind (a keyboard) that shares the bus with the printers: a real bus is
// never empty, and libusb reports an empty one differently from a missing printer.
inline stUsbDeviceDescription UnrelatedUsbDevice()
{
    stUsbDeviceDescription description;
    description.wVendorId = 0x0F0F;
    description.wProductId = 0x0001;
    description.strSerialNumber = "KB01";
    description.listInterface = {{0, 3, 1, 1, {{0x81, enUsbTransferType::Interrupt, 8}}}};
    return description;
}
