// Builds umockdev device records from device descriptions and attaches the ioctl servers.
#include "UsbTestbed.h"

#include "UsbDescriptors.h"
#include "UsbDeviceServer.h"
#include "UsbPreload.h"

#include <umockdev.h>

#include <unistd.h>

#include <cstdio>

namespace {

constexpr int c_iBusNumber = 1;
constexpr const char* c_szSysParent = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr const char* c_szSpeedHighMbps = "480";

std::string HexUpper(const std::vector<uint8_t>& bytes)
{
    std::string strHex;
    char szByte[3];
    for (uint8_t by : bytes) {
        std::snprintf(szByte, sizeof(szByte), "%02X", by);
        strHex += szByte;
    }
    return strHex;
}

std::string Format(const char* szFormat, int iValue)
{
    char szText[64];
    std::snprintf(szText, sizeof(szText), szFormat, iValue);
    return szText;
}

// A device record in umockdev's text format: the sysfs path, the node with its contents, the udev
// properties and the sysfs attributes that libusb and udev consult.
std::string DeviceRecord(const stUsbDeviceDescription& description, const std::string& strSysPath, int iAddress)
{
    const std::string strBus = Format("%03d", c_iBusNumber);
    const std::string strDev = Format("%03d", iAddress);
    const std::string strBlob = HexUpper(UsbDescriptors::DescriptorBlob(description));
    const std::string strVid = Format("%04x", description.wVendorId);
    const std::string strPid = Format("%04x", description.wProductId);
    std::string strRecord;
    strRecord += "P: " + strSysPath + "\n";
    strRecord += "N: bus/usb/" + strBus + "/" + strDev + "=" + strBlob + "\n";
    strRecord += "E: DEVNAME=/dev/bus/usb/" + strBus + "/" + strDev + "\n";
    strRecord += "E: DEVTYPE=usb_device\n";
    strRecord += "E: DRIVER=usb\n";
    strRecord += "E: PRODUCT=" + Format("%x", description.wVendorId) + "/" + Format("%x", description.wProductId) +
                 "/" + Format("%x", description.wDeviceRelease) + "\n";
    strRecord += "E: SUBSYSTEM=usb\n";
    strRecord += "E: BUSNUM=" + strBus + "\n";
    strRecord += "E: DEVNUM=" + strDev + "\n";
    strRecord += "A: busnum=" + std::to_string(c_iBusNumber) + "\n";
    strRecord += "A: devnum=" + std::to_string(iAddress) + "\n";
    strRecord += std::string("A: speed=") + c_szSpeedHighMbps + "\n";
    strRecord += "A: bConfigurationValue=1\n";
    strRecord += "A: idVendor=" + strVid + "\n";
    strRecord += "A: idProduct=" + strPid + "\n";
    if (!description.strManufacturer.empty())
        strRecord += "A: manufacturer=" + description.strManufacturer + "\n";
    if (!description.strProduct.empty())
        strRecord += "A: product=" + description.strProduct + "\n";
    if (!description.strSerialNumber.empty())
        strRecord += "A: serial=" + description.strSerialNumber + "\n";
    strRecord += "H: descriptors=" + strBlob + "\n";
    return strRecord;
}

} // namespace

UsbTestbed::UsbTestbed()
{
    if (UsbPreload::IsActive())
        m_pTestbed = umockdev_testbed_new();
}

UsbTestbed::~UsbTestbed()
{
    while (!m_mapPlugged.empty())
        RemoveDevice(m_mapPlugged.begin()->first);
    if (m_pTestbed)
        g_object_unref(m_pTestbed);
}

std::string UsbTestbed::NotReadyReason() const
{
    if (m_pTestbed)
        return {};
    return "the umockdev preload library is not loaded (run under umockdev-wrapper)";
}

std::string UsbTestbed::AddDevice(std::shared_ptr<UsbSimDevice> device)
{
    if (!m_pTestbed || !device)
        return {};
    const int iAddress = m_iNextAddress++;
    const std::string strSysPath = std::string(c_szSysParent) + "/1-" + std::to_string(iAddress);
    const std::string strDevNode = "/dev/bus/usb/" + Format("%03d", c_iBusNumber) + "/" + Format("%03d", iAddress);
    GError* pError = nullptr;
    if (!umockdev_testbed_add_from_string(m_pTestbed, DeviceRecord(device->Description(), strSysPath, iAddress).c_str(),
                                          &pError)) {
        std::fprintf(stderr, "usb testbed: cannot add device: %s\n", pError ? pError->message : "?");
        g_clear_error(&pError);
        return {};
    }
    UMockdevIoctlBase* pHandler = UsbDeviceServer::CreateHandler(std::move(device));
    if (!umockdev_testbed_attach_ioctl(m_pTestbed, strDevNode.c_str(), pHandler, &pError)) {
        std::fprintf(stderr, "usb testbed: cannot serve %s: %s\n", strDevNode.c_str(), pError ? pError->message : "?");
        g_clear_error(&pError);
        g_object_unref(pHandler);
        umockdev_testbed_remove_device(m_pTestbed, ("/sys" + strSysPath).c_str());
        return {};
    }
    m_mapPlugged[strDevNode] = stPlugged{"/sys" + strSysPath, pHandler};
    return strDevNode;
}

void UsbTestbed::RemoveDevice(const std::string& strDevNode)
{
    auto it = m_mapPlugged.find(strDevNode);
    if (it == m_mapPlugged.end())
        return;
    GError* pError = nullptr;
    umockdev_testbed_detach_ioctl(m_pTestbed, strDevNode.c_str(), &pError);
    g_clear_error(&pError);
    umockdev_testbed_remove_device(m_pTestbed, it->second.strSysPath.c_str());
    // umockdev keeps the node file; programs that walk /dev/bus/usb must not find it any more.
    gchar* szRoot = umockdev_testbed_get_root_dir(m_pTestbed);
    unlink((std::string(szRoot) + strDevNode).c_str());
    g_free(szRoot);
    g_object_unref(it->second.pHandler);
    m_mapPlugged.erase(it);
}
