// The two ways to a scanner through the daemon: USB (found again by serial number on every
// connection, locked around each scan) and network (addressed in every command).
#include "VornScanLink.h"

#include "VornSaneStatus.h"
#include "VornScannerModels.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kNoAdfStatus = 0;
// Device property bits of the maker's USB scanners.
constexpr uint8_t kUsbSourceAdf = 0x02;
constexpr uint8_t kUsbCompressionJpeg = 1u << COMPRESSION_JPEG;
// The daemon scans feeder pages asked for at 1200 dpi at 600, which USB feeders cannot exceed.
constexpr SANE_Int kUsbFeederTooFineDpi = 1200;
constexpr SANE_Int kUsbFeederDpi = 600;

class VornUsbLink : public VornScanLink {
public:
    VornUsbLink(int vid, int pid, std::string serial)
        : m_iVid(vid), m_iPid(pid), m_strSerial(std::move(serial)) {}

    SANE_Status Probe(stVornCapabilities& caps) override
    {
        VornScanClient* client = Device();
        if (client == nullptr)
            return SANE_STATUS_IO_ERROR;
        USBScanDevicePropertiesRes properties {};
        if (!client->UsbDeviceProperties(m_iDevFd, properties))
            return SANE_STATUS_IO_ERROR;
        if (properties.result != SANE_STATUS_GOOD)
            return VornStatusOfResult(properties.result);
        const stVornScannerModel* model = VornFindScannerModel(m_iVid, m_iPid);
        caps.bColor = true;
        caps.bJpeg = (properties.st.compression & kUsbCompressionJpeg) != 0;
        caps.bAdf = (properties.st.sources & kUsbSourceAdf) != 0 && AdfStatus() != kNoAdfStatus;
        caps.listDpi = VornDpiBetween(model->iMinDpi, model->iMaxDpi);
        caps.uMaxWidthMils = model->uMaxWidthMils;
        caps.uMaxHeightMils = model->uMaxHeightMils;
        return SANE_STATUS_GOOD;
    }

    SANE_Status Start(const SettingInfo& info, std::string& baseName) override
    {
        VornScanClient* client = Device();
        if (client == nullptr)
            return SANE_STATUS_IO_ERROR;
        int32_t result = -1;
        if (!client->UsbScanLock(m_iDevFd, info, result))
            return SANE_STATUS_IO_ERROR;
        if (result != SANE_STATUS_GOOD)
            return VornStatusOfResult(result);
        m_bLocked = true;
        USBScanStartRes start {};
        if (!client->UsbScanStart(m_iDevFd, start))
            return SANE_STATUS_IO_ERROR;
        baseName.assign(start.fileName, strnlen(start.fileName, sizeof start.fileName));
        if (start.result != SANE_STATUS_GOOD)
            Finish();
        return VornStatusOfResult(start.result);
    }

    bool ReadRecord(stVornRecord& record) override
    {
        USBScanRecordRes raw {};
        if (Client() == nullptr || !Client()->ReadUsbRecord(raw))
            return false;
        record = {raw.st, raw.fileIndex, raw.dataSize, raw.result};
        return true;
    }

    void Abort(const std::string& baseName) override
    {
        int32_t result = 0;
        if (Client() != nullptr)
            Client()->UsbScanAbort(m_iDevFd, baseName, result);
        DrainAndDisconnect();
    }

    int AdfStatus() override
    {
        USBScanAdfStatusRes reply {};
        VornScanClient* client = Device();
        if (client == nullptr || !client->UsbAdfStatus(m_iDevFd, reply) || reply.result != SANE_STATUS_GOOD)
            return kNoAdfStatus;
        return reply.st;
    }

    void Finish() override
    {
        if (!m_bLocked || Client() == nullptr)
            return;
        int32_t result = 0;
        const USBCommonReq request {m_iDevFd};
        Client()->ResultOf(USB_SCAN_UNLOCK, &request, sizeof request, result);
        m_bLocked = false;
    }

    SANE_Int ScannedDpi(const SettingInfo& info) const override
    {
        return info.feederEnabled && info.xResolution == kUsbFeederTooFineDpi ? kUsbFeederDpi : info.xResolution;
    }

    bool FirstRecordBeginsPage() const override { return false; }

protected:
    // The descriptor and the lock belonged to the connection process (an abort's reset also
    // ends the lock).
    void OnDisconnect() override
    {
        m_iDevFd = -1;
        m_bLocked = false;
    }

private:
    // The connection with this scanner opened in it (devfd is only meaningful there).
    VornScanClient* Device()
    {
        VornScanClient* client = Client();
        if (client == nullptr || m_iDevFd >= 0)
            return client;
        int32_t count = 0;
        std::vector<USBFindDevRes> devices;
        if (!client->FindDevices(m_iVid, m_iPid, true, count, devices)) {
            Disconnect();
            return nullptr;
        }
        for (const USBFindDevRes& device : devices) {
            if (m_strSerial == std::string(device.SerialNumber, strnlen(device.SerialNumber, sizeof device.SerialNumber))) {
                m_iDevFd = device.fd;
                return client;
            }
        }
        return nullptr;
    }

    int m_iVid;
    int m_iPid;
    std::string m_strSerial;
    int m_iDevFd = -1;
    bool m_bLocked = false;
};

class VornNetworkLink : public VornScanLink {
public:
    explicit VornNetworkLink(std::string address) : m_strAddress(std::move(address)) {}

    SANE_Status Probe(stVornCapabilities& caps) override
    {
        TCPDevPropertiesRes properties {};
        if (Client() == nullptr || !Client()->TcpDeviceProperties(m_strAddress.c_str(), properties))
            return SANE_STATUS_IO_ERROR;
        if (properties.result != SANE_STATUS_GOOD)
            return VornStatusOfResult(properties.result);
        const ScannerCapabilities& devPro = properties.devPro;
        caps.bColor = devPro.color;
        caps.bJpeg = false;
        caps.bAdf = AdfStatus() != kNoAdfStatus;
        caps.listDpi = VornDpiBetween(static_cast<SANE_Int>(devPro.minres), static_cast<SANE_Int>(devPro.maxres));
        caps.uMaxWidthMils = devPro.maxWidth;
        caps.uMaxHeightMils = devPro.maxHeight;
        return SANE_STATUS_GOOD;
    }

    SANE_Status Start(const SettingInfo& info, std::string& baseName) override
    {
        TCPScanStartRes start {};
        if (Client() == nullptr || !Client()->TcpScanStart(m_strAddress.c_str(), info, start))
            return SANE_STATUS_IO_ERROR;
        baseName.assign(start.fileName, strnlen(start.fileName, sizeof start.fileName));
        return VornStatusOfResult(start.result);
    }

    bool ReadRecord(stVornRecord& record) override
    {
        TCPRecordRes raw {};
        if (Client() == nullptr || !Client()->ReadTcpRecord(raw))
            return false;
        record = {raw.st, raw.fileIndex, raw.bufferLen, raw.result};
        return true;
    }

    void Abort(const std::string& baseName) override
    {
        int32_t result = 0;
        if (Client() != nullptr)
            Client()->TcpScanAbort(m_strAddress.c_str(), baseName, result);
        DrainAndDisconnect();
    }

    int AdfStatus() override
    {
        TCPADFStatusRes reply {};
        if (Client() == nullptr || !Client()->TcpAdfStatus(m_strAddress.c_str(), reply)
            || reply.result != SANE_STATUS_GOOD)
            return kNoAdfStatus;
        const bool known = reply.st == ADF_STATUS_EMPTY || reply.st == ADF_STATUS_LOADED || reply.st == ADF_STATUS_PAPER_JAM;
        return known ? reply.st : kNoAdfStatus;
    }

    bool FirstRecordBeginsPage() const override { return true; }

private:
    std::string m_strAddress;
};

} // namespace

bool VornConnectDaemon(VornScanClient& client, int timeoutSeconds)
{
    static bool s_bTold = false;
    if (client.Connect(kVornDaemonAddress, kVornScanDaemonPort, timeoutSeconds))
        return true;
    if (!s_bTold) {
        fprintf(stderr, "vorn: the scan daemon does not answer on %s:%d; is VornScanDaemon running?\n",
                kVornDaemonAddress, kVornScanDaemonPort);
        s_bTold = true;
    }
    return false;
}

VornScanClient* VornScanLink::Client()
{
    if (m_client)
        return m_client.get();
    auto client = std::make_unique<VornScanClient>();
    if (!VornConnectDaemon(*client, kVornScanTimeoutSeconds))
        return nullptr;
    client->SetInterruptFlag(m_pInterrupt);
    m_client = std::move(client);
    return m_client.get();
}

void VornScanLink::DeleteFile(const std::string& fileName)
{
    if (Client() != nullptr)
        Client()->DeleteFile(fileName);
}

void VornScanLink::Disconnect()
{
    m_client.reset();
    OnDisconnect();
}

void VornScanLink::DropIfClosed()
{
    if (m_client && !m_client->StaysSilent(0))
        Disconnect();
}

void VornScanLink::DrainAndDisconnect()
{
    if (m_client)
        m_client->DrainUntilSilent(kVornAbortQuietMs);
    Disconnect();
}

std::unique_ptr<VornScanLink> VornMakeUsbLink(int vid, int pid, const std::string& serial)
{
    return std::make_unique<VornUsbLink>(vid, pid, serial);
}

std::unique_ptr<VornScanLink> VornMakeNetworkLink(const std::string& address)
{
    return std::make_unique<VornNetworkLink>(address);
}
