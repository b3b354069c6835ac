// The behaviour of one simulated USB device: a simulated printer or scanner derives from
// UsbSimDevice and answers the requests that reach it through the harness.
#pragma once

#include "UsbDeviceDescription.h"

#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

struct stUsbControlSetup {
    uint8_t bmRequestType = 0;
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;

    bool IsDeviceToHost() const { return (bmRequestType & 0x80) != 0; }
};

// What a reset request asks of the device: a reset of the whole device, of one endpoint, or the
// clearing of an endpoint's halt.
enum class enUsbReset { Device, Endpoint, ClearHalt };

// Handlers run on umockdev's worker thread, never on the test's thread: a device guards its own
// state with a mutex. Results are byte counts, or a negative errno as the kernel would report it.
class UsbSimDevice {
public:
    // A bulk IN with nothing to hand back yet: libusb's URB stays pending and is retried on every
    // reap until data comes or libusb gives up; a raw usbfs bulk read times out at once.
    static constexpr int c_iNoDataYet = -EAGAIN;
    // The endpoint answers with a stall.
    static constexpr int c_iStall = -EPIPE;

    explicit UsbSimDevice(stUsbDeviceDescription description) : m_stDescription(std::move(description)) {}
    virtual ~UsbSimDevice() = default;
    UsbSimDevice(const UsbSimDevice&) = delete;
    UsbSimDevice& operator=(const UsbSimDevice&) = delete;

    const stUsbDeviceDescription& Description() const { return m_stDescription; }

    // Every control request but the standard GET_DESCRIPTOR, which the harness answers from the
    // description. Device to host: fill vecData (at most setup.wLength bytes are delivered) and
    // return its size. Host to device: vecData holds the payload; return its size to accept it.
    virtual int HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData)
    {
        (void)setup;
        (void)vecData;
        return c_iStall;
    }

    // A claim of the interface by some program; a negative errno refuses it, e.g. -EBUSY while
    // another program (outside the test) holds the interface.
    virtual int HandleClaimInterface(unsigned uInterface)
    {
        (void)uInterface;
        return 0;
    }

    // A reset request reached the device; it always succeeds.
    virtual void HandleReset(enUsbReset reset) { (void)reset; }

    // Data sent to a bulk OUT endpoint; return the count accepted.
    virtual int HandleBulkOut(uint8_t byEndpoint, const std::vector<uint8_t>& vecData)
    {
        (void)byEndpoint;
        return int(vecData.size());
    }

    // A read from a bulk IN endpoint of at most uMaxLength bytes: fill vecData and return its size,
    // or c_iNoDataYet, or c_iStall.
    virtual int HandleBulkIn(uint8_t byEndpoint, std::vector<uint8_t>& vecData, size_t uMaxLength)
    {
        (void)byEndpoint;
        (void)vecData;
        (void)uMaxLength;
        return c_iNoDataYet;
    }

private:
    const stUsbDeviceDescription m_stDescription;
};
