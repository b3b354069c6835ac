// Generates the standard descriptors of a simulated device.
#include "UsbDescriptors.h"

#include <algorithm>

namespace UsbDescriptors {
namespace {

// Descriptor types and sizes of the USB 2.0 standard.
constexpr uint8_t c_byTypeDevice = 1;
constexpr uint8_t c_byTypeConfiguration = 2;
constexpr uint8_t c_byTypeString = 3;
constexpr uint8_t c_byTypeInterface = 4;
constexpr uint8_t c_byTypeEndpoint = 5;
constexpr uint8_t c_byDeviceLength = 18;
constexpr uint8_t c_byConfigurationLength = 9;
constexpr uint8_t c_byInterfaceLength = 9;
constexpr uint8_t c_byEndpointLength = 7;
constexpr uint16_t c_wUsbVersion = 0x0200;
constexpr uint8_t c_byControlPacketSize = 64;
constexpr uint8_t c_byConfigurationValue = 1;
constexpr uint8_t c_byAttributesSelfPowered = 0xC0;
constexpr uint8_t c_byMaxPower2mA = 50;

void AppendWord(std::vector<uint8_t>& bytes, uint16_t wValue)
{
    bytes.push_back(uint8_t(wValue & 0xFF));
    bytes.push_back(uint8_t(wValue >> 8));
}

uint8_t StringIndex(const std::string& str, uint8_t byIndex)
{
    return str.empty() ? 0 : byIndex;
}

} // namespace

std::vector<uint8_t> DeviceDescriptor(const stUsbDeviceDescription& description)
{
    std::vector<uint8_t> bytes{c_byDeviceLength, c_byTypeDevice};
    AppendWord(bytes, c_wUsbVersion);
    bytes.insert(bytes.end(), {0, 0, 0, c_byControlPacketSize});  // class, subclass, protocol per interface
    AppendWord(bytes, description.wVendorId);
    AppendWord(bytes, description.wProductId);
    AppendWord(bytes, description.wDeviceRelease);
    bytes.push_back(StringIndex(description.strManufacturer, c_byManufacturerIndex));
    bytes.push_back(StringIndex(description.strProduct, c_byProductIndex));
    bytes.push_back(StringIndex(description.strSerialNumber, c_bySerialNumberIndex));
    bytes.push_back(1);  // one configuration
    return bytes;
}

std::vector<uint8_t> ConfigurationDescriptor(const stUsbDeviceDescription& description)
{
    std::vector<uint8_t> body;
    for (const stUsbInterfaceDescription& iface : description.listInterface) {
        body.insert(body.end(), {c_byInterfaceLength, c_byTypeInterface, iface.byNumber, 0,
                                 uint8_t(iface.listEndpoint.size()), iface.byClass, iface.bySubClass,
                                 iface.byProtocol, 0});
        for (const stUsbEndpointDescription& endpoint : iface.listEndpoint) {
            body.insert(body.end(), {c_byEndpointLength, c_byTypeEndpoint, endpoint.byAddress, uint8_t(endpoint.enType)});
            AppendWord(body, endpoint.wMaxPacketSize);
            body.push_back(0);  // polling interval, unused for bulk
        }
    }
    std::vector<uint8_t> bytes{c_byConfigurationLength, c_byTypeConfiguration};
    AppendWord(bytes, uint16_t(c_byConfigurationLength + body.size()));
    bytes.insert(bytes.end(), {uint8_t(description.listInterface.size()), c_byConfigurationValue, 0,
                               c_byAttributesSelfPowered, c_byMaxPower2mA});
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::vector<uint8_t> DescriptorBlob(const stUsbDeviceDescription& description)
{
    std::vector<uint8_t> bytes = DeviceDescriptor(description);
    const std::vector<uint8_t> config = ConfigurationDescriptor(description);
    bytes.insert(bytes.end(), config.begin(), config.end());
    return bytes;
}

std::vector<uint8_t> StringDescriptor(const stUsbDeviceDescription& description, uint8_t byIndex)
{
    if (byIndex == 0) {
        std::vector<uint8_t> bytes{4, c_byTypeString};
        AppendWord(bytes, c_wLanguageEnglishUS);
        return bytes;
    }
    const std::string* pText = nullptr;
    if (byIndex == c_byManufacturerIndex)
        pText = &description.strManufacturer;
    else if (byIndex == c_byProductIndex)
        pText = &description.strProduct;
    else if (byIndex == c_bySerialNumberIndex)
        pText = &description.strSerialNumber;
    if (!pText || pText->empty())
        return {};
    // UTF-16LE of ASCII text; the length byte caps a string descriptor at 126 characters.
    const size_t uChars = std::min<size_t>(pText->size(), 126);
    std::vector<uint8_t> bytes{uint8_t(2 + 2 * uChars), c_byTypeString};
    for (size_t i = 0; i < uChars; ++i)
        AppendWord(bytes, uint8_t((*pText)[i]));
    return bytes;
}

} // namespace UsbDescriptors
