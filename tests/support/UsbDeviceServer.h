// Serves the usbfs device node of one simulated device inside umockdev: turns the ioctls that
// libusb and raw usbfs users issue into calls on a UsbSimDevice, the way the kernel would.
#pragma once

#include "UsbSimDevice.h"

#include <map>
#include <memory>
#include <mutex>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

class UsbDeviceServer {
public:
    // The handler to attach to the device node. It owns the server; the caller owns one reference
    // to the handler.
    static UMockdevIoctlBase* CreateHandler(std::shared_ptr<UsbSimDevice> device);

    explicit UsbDeviceServer(std::shared_ptr<UsbSimDevice> device);

    bool HandleIoctl(UMockdevIoctlClient* client);
    bool HandleRead(UMockdevIoctlClient* client);
    void ReleaseClaims(const void* pClient);

private:
    struct stClientState;

    stClientState& ClientState(UMockdevIoctlClient* client);
    void SubmitUrb(UMockdevIoctlClient* client);
    void ReapUrb(UMockdevIoctlClient* client);
    void DiscardUrb(UMockdevIoctlClient* client);
    void RawControl(UMockdevIoctlClient* client);
    void RawBulk(UMockdevIoctlClient* client);
    void ClaimInterface(UMockdevIoctlClient* client);
    void ReleaseInterface(UMockdevIoctlClient* client);
    void GetDriver(UMockdevIoctlClient* client);
    void DriverIoctl(UMockdevIoctlClient* client);
    void GetCapabilities(UMockdevIoctlClient* client);

    // Standard GET_DESCRIPTOR requests come from the description, the rest from the device.
    int Control(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData);
    const stUsbInterfaceDescription* FindInterface(unsigned uNumber) const;

    const std::shared_ptr<UsbSimDevice> m_pDevice;
    // Guards the interface claims and kernel-driver bindings, which all clients of the node share.
    std::mutex m_mutex;
    std::map<unsigned, const void*> m_mapClaimedBy;
    std::map<unsigned, bool> m_mapDriverBound;
};
