// A private USB bus for tests: simulated devices that libusb and raw usbfs users in this process
// and in its child processes see under /dev/bus/usb, served by UsbSimDevice objects.
#pragma once

#include "UsbSimDevice.h"

#include <map>
#include <memory>
#include <string>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

class UsbTestbed {
public:
    // Needs the umockdev preload library (UsbPreload); IsReady() tells whether it is there.
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    bool IsReady() const { return m_pTestbed != nullptr; }
    // Why the testbed cannot run here, for a skip message; empty when it is ready.
    std::string NotReadyReason() const;

    // Plugs the device into bus 1 at the next free address and returns its device node
    // ("/dev/bus/usb/001/002"), or an empty text on failure.
    std::string AddDevice(std::shared_ptr<UsbSimDevice> device);
    // Unplugs the device at that node; a later AddDevice plugs it in again at a new address.
    void RemoveDevice(const std::string& strDevNode);

private:
    struct stPlugged {
        std::string strSysPath;
        UMockdevIoctlBase* pHandler = nullptr;
    };

    UMockdevTestbed* m_pTestbed = nullptr;
    int m_iNextAddress = 2;  // address 1 is the root hub on a real bus
    std::map<std::string, stPlugged> m_mapPlugged;
};
