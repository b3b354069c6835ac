// Naming, finding and opening scanners, and the guard that lets sane_cancel interrupt a wait.
#include "VornSaneDevice.h"

#include "VornScannerModels.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace {

// What a scanner can do, by device name, as the first open in this process read it. Every
// query is a round trip through the daemon to the scanner, and front-ends open a scanner again
// and again in one session; a start that fails makes the next open ask anew.
std::map<std::string, stVornCapabilities> g_mapKnownCaps;

// Marks the span of a call that may wait on the daemon, for Cancel.
class InCall {
public:
    explicit InCall(volatile sig_atomic_t& flag) : m_flag(flag) { m_flag = 1; }
    ~InCall() { m_flag = 0; }
    InCall(const InCall&) = delete;
    InCall& operator=(const InCall&) = delete;

private:
    volatile sig_atomic_t& m_flag;
};

std::string UsbName(int vid, int pid, const char* serial)
{
    char ids[32];
    snprintf(ids, sizeof ids, "%04x:%04x:", vid, pid);
    return std::string(kVornUsbPrefix) + ids + serial;
}

std::unique_ptr<VornScanLink> LinkFor(const std::string& name)
{
    if (name.rfind(kVornNetworkPrefix, 0) == 0)
        return VornMakeNetworkLink(name.substr(strlen(kVornNetworkPrefix)));
    unsigned vid = 0;
    unsigned pid = 0;
    int consumed = 0;
    if (name.rfind(kVornUsbPrefix, 0) != 0
        || sscanf(name.c_str() + strlen(kVornUsbPrefix), "%4x:%4x:%n", &vid, &pid, &consumed) != 2 || consumed == 0
        || VornFindScannerModel(static_cast<int>(vid), static_cast<int>(pid)) == nullptr)
        return nullptr;
    return VornMakeUsbLink(static_cast<int>(vid), static_cast<int>(pid),
                           name.substr(strlen(kVornUsbPrefix) + static_cast<size_t>(consumed)));
}

} // namespace

std::vector<stVornDeviceEntry> VornDiscoverScanners(const std::vector<std::string>& addresses)
{
    std::vector<stVornDeviceEntry> entries;
    VornScanClient client;
    if (!VornConnectDaemon(client, kVornListTimeoutSeconds))
        return entries;
    for (const stVornScannerModel& model : c_stScannerModelList) {
        int32_t count = 0;
        std::vector<USBFindDevRes> devices;
        if (!client.FindDevices(model.iVendorId, model.iProductId, true, count, devices))
            return entries;
        for (const USBFindDevRes& device : devices) {
            const std::string serial(device.SerialNumber, strnlen(device.SerialNumber, sizeof device.SerialNumber));
            entries.push_back({UsbName(model.iVendorId, model.iProductId, serial.c_str()), model.szModel});
        }
    }
    for (const std::string& address : addresses) {
        TCPDevPropertiesRes properties {};
        if (!client.TcpDeviceProperties(address.c_str(), properties))
            return entries;
        if (properties.result == SANE_STATUS_GOOD)
            entries.push_back({kVornNetworkPrefix + address, kVornNetworkModel});
    }
    return entries;
}

void VornForgetCapabilities()
{
    g_mapKnownCaps.clear();
}

VornSaneDevice::VornSaneDevice(std::string name, std::unique_ptr<VornScanLink> link)
    : m_strName(std::move(name)), m_link(std::move(link))
{
    m_link->SetInterruptFlag(&m_bCancel);
}

SANE_Status VornSaneDevice::Open(const std::string& name, std::unique_ptr<VornSaneDevice>& device)
{
    std::unique_ptr<VornScanLink> link = LinkFor(name);
    if (!link)
        return SANE_STATUS_INVAL;
    std::unique_ptr<VornSaneDevice> opened(new VornSaneDevice(name, std::move(link)));
    const auto known = g_mapKnownCaps.find(name);
    if (known != g_mapKnownCaps.end()) {
        opened->m_stCaps = known->second;
    } else {
        const SANE_Status status = opened->m_link->Probe(opened->m_stCaps);
        if (status != SANE_STATUS_GOOD)
            return status;
        g_mapKnownCaps[name] = opened->m_stCaps;
    }
    opened->m_options = std::make_unique<VornSaneOptions>(opened->m_stCaps);
    opened->m_job = std::make_unique<VornScanJob>(*opened->m_link, opened->m_bCancel);
    device = std::move(opened);
    return SANE_STATUS_GOOD;
}

SANE_Status VornSaneDevice::Control(SANE_Int option, SANE_Action action, void* value, SANE_Int* info)
{
    if (m_bPageBegun && action == SANE_ACTION_SET_VALUE)
        return SANE_STATUS_DEVICE_BUSY;
    return m_options->Control(option, action, value, info);
}

SANE_Status VornSaneDevice::Parameters(SANE_Parameters* parameters) const
{
    if (parameters == nullptr)
        return SANE_STATUS_INVAL;
    // Before a page begins the frame is what the area asks for; a JPEG page may differ.
    const stVornFrame frame = m_bPageBegun ? m_job->Frame() : m_options->RawFrame();
    parameters->format = frame.enFormat;
    parameters->last_frame = SANE_TRUE;
    parameters->bytes_per_line = frame.iBytesPerLine;
    parameters->pixels_per_line = frame.iPixelsPerLine;
    parameters->lines = frame.iLines;
    parameters->depth = frame.iDepth;
    return SANE_STATUS_GOOD;
}

SANE_Status VornSaneDevice::Start()
{
    InCall call(m_bInCall);
    m_bCancel = 0;
    if (m_options->RawFrame().Bytes() <= 0)
        return SANE_STATUS_INVAL;
    const SANE_Status status = m_job->StartPage(*m_options, m_stCaps.bJpeg);
    m_bPageBegun = status == SANE_STATUS_GOOD;
    // An empty or jammed feeder or the user's cancel says nothing about the scanner; anything
    // else may mean it is gone or another one answers at its address now.
    if (status != SANE_STATUS_GOOD && status != SANE_STATUS_NO_DOCS && status != SANE_STATUS_JAMMED
        && status != SANE_STATUS_CANCELLED)
        g_mapKnownCaps.erase(m_strName);
    return status;
}

SANE_Status VornSaneDevice::Read(SANE_Byte* data, SANE_Int maxLength, SANE_Int* length)
{
    if (length == nullptr || data == nullptr)
        return SANE_STATUS_INVAL;
    InCall call(m_bInCall);
    const SANE_Status status = m_job->Read(data, maxLength, length);
    if (status != SANE_STATUS_GOOD)
        m_bPageBegun = false;
    return status;
}

void VornSaneDevice::Cancel()
{
    m_bCancel = 1;
    if (m_bInCall)
        return;
    m_job->Stop();
    m_bPageBegun = false;
    m_bCancel = 0;
}
