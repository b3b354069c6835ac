// The usbfs side of a simulated device: URB submission and reaping for libusb, the synchronous
// CONTROL and BULK ioctls for raw usbfs users, interface claims and kernel-driver binding.
#include "UsbDeviceServer.h"

#include "UsbDescriptors.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <list>

namespace {

// Standard request that the harness answers itself.
constexpr uint8_t c_byStandardDeviceToHost = 0x80;
constexpr uint8_t c_byGetDescriptor = 6;
constexpr uint8_t c_byDescriptorDevice = 1;
constexpr uint8_t c_byDescriptorConfiguration = 2;
constexpr uint8_t c_byDescriptorString = 3;
constexpr size_t c_uSetupPacketBytes = 8;
constexpr uint8_t c_byEndpointDirectionIn = 0x80;
// Without a packet size limit libusb hands a whole bulk transfer over in one URB, so a device
// sees each transfer as its sender cut it. (Bulk continuation would make libusb split every
// transfer into 16 KiB URBs instead.)
constexpr uint32_t c_uCapabilities = USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
constexpr const char* c_szKernelDriverName = "usblp";
constexpr const char* c_szClientStateKey = "vorn-usb-client-state";
constexpr const char* c_szServerKey = "vorn-usb-server";

// A reference to ioctl data that is dropped with the holder.
struct IoctlDataRef {
    UMockdevIoctlData* pData = nullptr;
    IoctlDataRef() = default;
    explicit IoctlDataRef(UMockdevIoctlData* p) : pData(p) {}
    IoctlDataRef(const IoctlDataRef&) = delete;
    IoctlDataRef& operator=(const IoctlDataRef&) = delete;
    IoctlDataRef(IoctlDataRef&& other) noexcept : pData(other.pData) { other.pData = nullptr; }
    IoctlDataRef& operator=(IoctlDataRef&& other) noexcept
    {
        std::swap(pData, other.pData);
        return *this;
    }
    ~IoctlDataRef()
    {
        if (pData)
            g_object_unref(pData);
    }
    explicit operator bool() const { return pData != nullptr; }
};

IoctlDataRef Resolve(UMockdevIoctlData* pParent, size_t uOffset, size_t uLength)
{
    GError* pError = nullptr;
    UMockdevIoctlData* pChild = umockdev_ioctl_data_resolve(pParent, uOffset, uLength, &pError);
    if (pError)
        g_error_free(pError);
    return IoctlDataRef(pChild);
}

usbdevfs_urb* UrbOf(const IoctlDataRef& urb)
{
    return reinterpret_cast<usbdevfs_urb*>(urb.pData->data);
}

stUsbControlSetup ParseSetup(const uint8_t* pSetup)
{
    stUsbControlSetup setup;
    setup.bmRequestType = pSetup[0];
    setup.bRequest = pSetup[1];
    setup.wValue = uint16_t(pSetup[2] | (pSetup[3] << 8));
    setup.wIndex = uint16_t(pSetup[4] | (pSetup[5] << 8));
    setup.wLength = uint16_t(pSetup[6] | (pSetup[7] << 8));
    return setup;
}

void Complete(UMockdevIoctlClient* client, int iResult)
{
    if (iResult < 0)
        umockdev_ioctl_client_complete(client, -1, -iResult);
    else
        umockdev_ioctl_client_complete(client, iResult, 0);
}

gboolean OnHandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer)
{
    auto* pServer = static_cast<std::shared_ptr<UsbDeviceServer>*>(g_object_get_data(G_OBJECT(handler), c_szServerKey));
    return pServer && (*pServer)->HandleIoctl(client);
}

gboolean OnHandleRead(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer)
{
    auto* pServer = static_cast<std::shared_ptr<UsbDeviceServer>*>(g_object_get_data(G_OBJECT(handler), c_szServerKey));
    return pServer && (*pServer)->HandleRead(client);
}

void OnClientVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer)
{
    auto* pServer = static_cast<std::shared_ptr<UsbDeviceServer>*>(g_object_get_data(G_OBJECT(handler), c_szServerKey));
    if (pServer)
        (*pServer)->ReleaseClaims(client);
}

} // namespace

// URBs of one open descriptor: like the kernel, each descriptor reaps only its own.
struct UsbDeviceServer::stClientState {
    struct stUrb {
        IoctlDataRef urb;
        IoctlDataRef buffer;
    };
    std::list<stUrb> listPending;
    std::deque<stUrb> queueCompleted;
    size_t uReadOffset = 0;
};

UMockdevIoctlBase* UsbDeviceServer::CreateHandler(std::shared_ptr<UsbSimDevice> device)
{
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_object_set_data_full(G_OBJECT(handler), c_szServerKey,
                           new std::shared_ptr<UsbDeviceServer>(std::make_shared<UsbDeviceServer>(std::move(device))),
                           [](gpointer p) { delete static_cast<std::shared_ptr<UsbDeviceServer>*>(p); });
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(OnHandleIoctl), nullptr);
    g_signal_connect(handler, "handle-read", G_CALLBACK(OnHandleRead), nullptr);
    g_signal_connect(handler, "client-vanished", G_CALLBACK(OnClientVanished), nullptr);
    return handler;
}

UsbDeviceServer::UsbDeviceServer(std::shared_ptr<UsbSimDevice> device) : m_pDevice(std::move(device))
{
    for (const stUsbInterfaceDescription& iface : m_pDevice->Description().listInterface)
        m_mapDriverBound[iface.byNumber] = iface.bKernelDriverBound;
}

UsbDeviceServer::stClientState& UsbDeviceServer::ClientState(UMockdevIoctlClient* client)
{
    auto* pState = static_cast<stClientState*>(g_object_get_data(G_OBJECT(client), c_szClientStateKey));
    if (!pState) {
        pState = new stClientState;
        g_object_set_data_full(G_OBJECT(client), c_szClientStateKey, pState,
                               [](gpointer p) { delete static_cast<stClientState*>(p); });
    }
    return *pState;
}

bool UsbDeviceServer::HandleIoctl(UMockdevIoctlClient* client)
{
    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_SUBMITURB:
        SubmitUrb(client);
        return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        ReapUrb(client);
        return true;
    case USBDEVFS_DISCARDURB:
        DiscardUrb(client);
        return true;
    case USBDEVFS_CONTROL:
        RawControl(client);
        return true;
    case USBDEVFS_BULK:
        RawBulk(client);
        return true;
    case USBDEVFS_CLAIMINTERFACE:
        ClaimInterface(client);
        return true;
    case USBDEVFS_RELEASEINTERFACE:
        ReleaseInterface(client);
        return true;
    case USBDEVFS_GETDRIVER:
        GetDriver(client);
        return true;
    case USBDEVFS_IOCTL:
        DriverIoctl(client);
        return true;
    case USBDEVFS_GET_CAPABILITIES:
        GetCapabilities(client);
        return true;
    case USBDEVFS_CLEAR_HALT:
        m_pDevice->HandleReset(enUsbReset::ClearHalt);
        Complete(client, 0);
        return true;
    case USBDEVFS_RESETEP:
        m_pDevice->HandleReset(enUsbReset::Endpoint);
        Complete(client, 0);
        return true;
    case USBDEVFS_RESET:
        m_pDevice->HandleReset(enUsbReset::Device);
        Complete(client, 0);
        return true;
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
        Complete(client, 0);
        return true;
    default:
        Complete(client, -ENOTTY);
        return true;
    }
}

// read() on the node yields the cached descriptors, as usbfs does.
bool UsbDeviceServer::HandleRead(UMockdevIoctlClient* client)
{
    stClientState& state = ClientState(client);
    UMockdevIoctlData* pBuffer = umockdev_ioctl_client_get_arg(client);
    const std::vector<uint8_t> blob = UsbDescriptors::DescriptorBlob(m_pDevice->Description());
    const size_t uOffset = std::min(state.uReadOffset, blob.size());
    const size_t uCount = std::min(blob.size() - uOffset, size_t(pBuffer->data_len));
    if (uCount > 0)
        std::memcpy(pBuffer->data, blob.data() + uOffset, uCount);
    state.uReadOffset = uOffset + uCount;
    Complete(client, int(uCount));
    return true;
}

int UsbDeviceServer::Control(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData)
{
    if (setup.bmRequestType == c_byStandardDeviceToHost && setup.bRequest == c_byGetDescriptor) {
        const stUsbDeviceDescription& description = m_pDevice->Description();
        switch (setup.wValue >> 8) {
        case c_byDescriptorDevice:
            vecData = UsbDescriptors::DeviceDescriptor(description);
            break;
        case c_byDescriptorConfiguration:
            vecData = UsbDescriptors::ConfigurationDescriptor(description);
            break;
        case c_byDescriptorString:
            vecData = UsbDescriptors::StringDescriptor(description, uint8_t(setup.wValue & 0xFF));
            break;
        default:
            vecData.clear();
        }
        if (vecData.empty())
            return UsbSimDevice::c_iStall;
    } else {
        const int iResult = m_pDevice->HandleControl(setup, vecData);
        if (iResult < 0)
            return iResult;
    }
    if (setup.IsDeviceToHost() && vecData.size() > setup.wLength)
        vecData.resize(setup.wLength);
    return setup.IsDeviceToHost() ? int(vecData.size()) : int(setup.wLength);
}

void UsbDeviceServer::SubmitUrb(UMockdevIoctlClient* client)
{
    IoctlDataRef urb = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb));
    if (!urb) {
        Complete(client, -EFAULT);
        return;
    }
    usbdevfs_urb* pUrb = UrbOf(urb);
    const size_t uLength = pUrb->buffer_length > 0 ? size_t(pUrb->buffer_length) : 0;
    IoctlDataRef buffer;
    if (uLength > 0) {
        buffer = Resolve(urb.pData, offsetof(usbdevfs_urb, buffer), uLength);
        if (!buffer) {
            Complete(client, -EFAULT);
            return;
        }
    }
    uint8_t* pBytes = buffer ? buffer.pData->data : nullptr;
    pUrb->actual_length = 0;
    pUrb->status = 0;
    stClientState& state = ClientState(client);

    if (pUrb->type == USBDEVFS_URB_TYPE_CONTROL) {
        if (uLength < c_uSetupPacketBytes) {
            Complete(client, -EINVAL);
            return;
        }
        const stUsbControlSetup setup = ParseSetup(pBytes);
        std::vector<uint8_t> vecData;
        if (!setup.IsDeviceToHost())
            vecData.assign(pBytes + c_uSetupPacketBytes, pBytes + std::min(uLength, c_uSetupPacketBytes + setup.wLength));
        const int iResult = Control(setup, vecData);
        if (iResult < 0) {
            pUrb->status = iResult;
        } else {
            const size_t uCount = std::min(size_t(iResult), uLength - c_uSetupPacketBytes);
            if (setup.IsDeviceToHost() && uCount > 0)
                std::memcpy(pBytes + c_uSetupPacketBytes, vecData.data(), uCount);
            pUrb->actual_length = int(uCount);
        }
    } else if (pUrb->type == USBDEVFS_URB_TYPE_BULK || pUrb->type == USBDEVFS_URB_TYPE_INTERRUPT) {
        if (!(pUrb->endpoint & c_byEndpointDirectionIn)) {
            const int iResult = m_pDevice->HandleBulkOut(pUrb->endpoint, std::vector<uint8_t>(pBytes, pBytes + uLength));
            if (iResult < 0)
                pUrb->status = iResult;
            else
                pUrb->actual_length = std::min(iResult, int(uLength));
        } else {
            std::vector<uint8_t> vecData;
            const int iResult = m_pDevice->HandleBulkIn(pUrb->endpoint, vecData, uLength);
            if (iResult == UsbSimDevice::c_iNoDataYet) {
                state.listPending.push_back({std::move(urb), std::move(buffer)});
                Complete(client, 0);
                return;
            }
            if (iResult < 0) {
                pUrb->status = iResult;
            } else {
                const size_t uCount = std::min(vecData.size(), uLength);
                if (uCount > 0)
                    std::memcpy(pBytes, vecData.data(), uCount);
                pUrb->actual_length = int(uCount);
            }
        }
    } else {
        Complete(client, -EINVAL);
        return;
    }
    state.queueCompleted.push_back({std::move(urb), std::move(buffer)});
    Complete(client, 0);
}

void UsbDeviceServer::ReapUrb(UMockdevIoctlClient* client)
{
    stClientState& state = ClientState(client);
    // A pending bulk IN gets another chance at every reap: the device may have data by now.
    for (auto it = state.listPending.begin(); it != state.listPending.end();) {
        usbdevfs_urb* pUrb = UrbOf(it->urb);
        std::vector<uint8_t> vecData;
        const size_t uLength = size_t(std::max(pUrb->buffer_length, 0));
        const int iResult = m_pDevice->HandleBulkIn(pUrb->endpoint, vecData, uLength);
        if (iResult == UsbSimDevice::c_iNoDataYet) {
            ++it;
            continue;
        }
        if (iResult < 0) {
            pUrb->status = iResult;
        } else {
            const size_t uCount = std::min(vecData.size(), uLength);
            if (uCount > 0)
                std::memcpy(it->buffer.pData->data, vecData.data(), uCount);
            pUrb->actual_length = int(uCount);
        }
        state.queueCompleted.push_back(std::move(*it));
        it = state.listPending.erase(it);
    }
    if (state.queueCompleted.empty()) {
        Complete(client, -EAGAIN);
        return;
    }
    stClientState::stUrb done = std::move(state.queueCompleted.front());
    state.queueCompleted.pop_front();
    // The URB's address goes into the caller's pointer slot, so resolve the slot first.
    IoctlDataRef slot = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*));
    if (!slot || !umockdev_ioctl_data_set_ptr(slot.pData, 0, done.urb.pData)) {
        Complete(client, -EFAULT);
        return;
    }
    Complete(client, 0);
}

void UsbDeviceServer::DiscardUrb(UMockdevIoctlClient* client)
{
    stClientState& state = ClientState(client);
    UMockdevIoctlData* pArg = umockdev_ioctl_client_get_arg(client);
    gulong ulUrbAddress = 0;
    if (size_t(pArg->data_len) >= sizeof(ulUrbAddress))
        std::memcpy(&ulUrbAddress, pArg->data, sizeof(ulUrbAddress));
    for (auto it = state.listPending.begin(); it != state.listPending.end(); ++it) {
        if (it->urb.pData->client_addr != ulUrbAddress)
            continue;
        usbdevfs_urb* pUrb = UrbOf(it->urb);
        pUrb->status = -ENOENT;
        pUrb->actual_length = 0;
        state.queueCompleted.push_back(std::move(*it));
        state.listPending.erase(it);
        Complete(client, 0);
        return;
    }
    Complete(client, -EINVAL);
}

void UsbDeviceServer::RawControl(UMockdevIoctlClient* client)
{
    IoctlDataRef request = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_ctrltransfer));
    if (!request) {
        Complete(client, -EFAULT);
        return;
    }
    const auto* pRequest = reinterpret_cast<const usbdevfs_ctrltransfer*>(request.pData->data);
    stUsbControlSetup setup;
    setup.bmRequestType = pRequest->bRequestType;
    setup.bRequest = pRequest->bRequest;
    setup.wValue = pRequest->wValue;
    setup.wIndex = pRequest->wIndex;
    setup.wLength = pRequest->wLength;
    IoctlDataRef data;
    if (setup.wLength > 0) {
        data = Resolve(request.pData, offsetof(usbdevfs_ctrltransfer, data), setup.wLength);
        if (!data) {
            Complete(client, -EFAULT);
            return;
        }
    }
    std::vector<uint8_t> vecData;
    if (!setup.IsDeviceToHost() && data)
        vecData.assign(data.pData->data, data.pData->data + setup.wLength);
    const int iResult = Control(setup, vecData);
    if (setup.IsDeviceToHost() && iResult > 0)
        std::memcpy(data.pData->data, vecData.data(), size_t(iResult));
    Complete(client, iResult);
}

void UsbDeviceServer::RawBulk(UMockdevIoctlClient* client)
{
    IoctlDataRef request = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_bulktransfer));
    if (!request) {
        Complete(client, -EFAULT);
        return;
    }
    const auto* pRequest = reinterpret_cast<const usbdevfs_bulktransfer*>(request.pData->data);
    const size_t uLength = pRequest->len;
    const uint8_t byEndpoint = uint8_t(pRequest->ep);
    IoctlDataRef data;
    if (uLength > 0) {
        data = Resolve(request.pData, offsetof(usbdevfs_bulktransfer, data), uLength);
        if (!data) {
            Complete(client, -EFAULT);
            return;
        }
    }
    if (!(byEndpoint & c_byEndpointDirectionIn)) {
        std::vector<uint8_t> vecData;
        if (data)
            vecData.assign(data.pData->data, data.pData->data + uLength);
        const int iResult = m_pDevice->HandleBulkOut(byEndpoint, vecData);
        Complete(client, iResult < 0 ? iResult : std::min(iResult, int(uLength)));
        return;
    }
    std::vector<uint8_t> vecData;
    const int iResult = m_pDevice->HandleBulkIn(byEndpoint, vecData, uLength);
    // The worker thread serves every device, so a raw read never waits: no data is a time-out.
    if (iResult == UsbSimDevice::c_iNoDataYet) {
        Complete(client, -ETIMEDOUT);
        return;
    }
    if (iResult < 0) {
        Complete(client, iResult);
        return;
    }
    const size_t uCount = std::min(vecData.size(), uLength);
    if (uCount > 0)
        std::memcpy(data.pData->data, vecData.data(), uCount);
    Complete(client, int(uCount));
}

const stUsbInterfaceDescription* UsbDeviceServer::FindInterface(unsigned uNumber) const
{
    for (const stUsbInterfaceDescription& iface : m_pDevice->Description().listInterface) {
        if (iface.byNumber == uNumber)
            return &iface;
    }
    return nullptr;
}

void UsbDeviceServer::ClaimInterface(UMockdevIoctlClient* client)
{
    IoctlDataRef number = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(unsigned));
    if (!number) {
        Complete(client, -EFAULT);
        return;
    }
    const unsigned uInterface = *reinterpret_cast<const unsigned*>(number.pData->data);
    if (!FindInterface(uInterface)) {
        Complete(client, -ENOENT);
        return;
    }
    const int iRefusal = m_pDevice->HandleClaimInterface(uInterface);
    if (iRefusal < 0) {
        Complete(client, iRefusal);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapClaimedBy.find(uInterface);
    if (m_mapDriverBound[uInterface] || (it != m_mapClaimedBy.end() && it->second != client)) {
        Complete(client, -EBUSY);
        return;
    }
    m_mapClaimedBy[uInterface] = client;
    Complete(client, 0);
}

void UsbDeviceServer::ReleaseInterface(UMockdevIoctlClient* client)
{
    IoctlDataRef number = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(unsigned));
    if (!number) {
        Complete(client, -EFAULT);
        return;
    }
    const unsigned uInterface = *reinterpret_cast<const unsigned*>(number.pData->data);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapClaimedBy.find(uInterface);
    if (it == m_mapClaimedBy.end() || it->second != client) {
        Complete(client, -EINVAL);
        return;
    }
    m_mapClaimedBy.erase(it);
    Complete(client, 0);
}

void UsbDeviceServer::ReleaseClaims(const void* pClient)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_mapClaimedBy.begin(); it != m_mapClaimedBy.end();)
        it = it->second == pClient ? m_mapClaimedBy.erase(it) : std::next(it);
}

void UsbDeviceServer::GetDriver(UMockdevIoctlClient* client)
{
    IoctlDataRef request = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_getdriver));
    if (!request) {
        Complete(client, -EFAULT);
        return;
    }
    auto* pRequest = reinterpret_cast<usbdevfs_getdriver*>(request.pData->data);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_mapDriverBound[pRequest->interface]) {
        Complete(client, -ENODATA);
        return;
    }
    std::strncpy(pRequest->driver, c_szKernelDriverName, sizeof(pRequest->driver) - 1);
    Complete(client, 0);
}

// USBDEVFS_IOCTL carries the detach (DISCONNECT) and re-attach (CONNECT) of a kernel driver.
void UsbDeviceServer::DriverIoctl(UMockdevIoctlClient* client)
{
    IoctlDataRef request = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_ioctl));
    if (!request) {
        Complete(client, -EFAULT);
        return;
    }
    const auto* pRequest = reinterpret_cast<const usbdevfs_ioctl*>(request.pData->data);
    const unsigned uInterface = unsigned(pRequest->ifno);
    if (!FindInterface(uInterface)) {
        Complete(client, -EINVAL);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pRequest->ioctl_code == int(USBDEVFS_DISCONNECT)) {
        const bool bWasBound = m_mapDriverBound[uInterface];
        m_mapDriverBound[uInterface] = false;
        Complete(client, bWasBound ? 0 : -ENODATA);
    } else if (pRequest->ioctl_code == int(USBDEVFS_CONNECT)) {
        m_mapDriverBound[uInterface] = true;
        Complete(client, 0);
    } else {
        Complete(client, -ENOTTY);
    }
}

void UsbDeviceServer::GetCapabilities(UMockdevIoctlClient* client)
{
    IoctlDataRef caps = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(uint32_t));
    if (!caps) {
        Complete(client, -EFAULT);
        return;
    }
    std::memcpy(caps.pData->data, &c_uCapabilities, sizeof(c_uCapabilities));
    Complete(client, 0);
}
