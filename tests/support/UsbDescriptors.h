// Standard USB descriptors generated from a device description, as the harness serves them
// through sysfs, the device node and GET_DESCRIPTOR requests.
#pragma once

#include "UsbDeviceDescription.h"

#include <cstdint>
#include <vector>

namespace UsbDescriptors {

// String descriptor indices the generated device descriptor refers to (0 when the string is empty).
constexpr uint8_t c_byManufacturerIndex = 1;
constexpr uint8_t c_byProductIndex = 2;
constexpr uint8_t c_bySerialNumberIndex = 3;
constexpr uint16_t c_wLanguageEnglishUS = 0x0409;

std::vector<uint8_t> DeviceDescriptor(const stUsbDeviceDescription& description);
std::vector<uint8_t> ConfigurationDescriptor(const stUsbDeviceDescription& description);
// The device descriptor followed by the configuration descriptor: what the kernel exposes as the
// sysfs "descriptors" attribute and what read() on the usbfs node returns.
std::vector<uint8_t> DescriptorBlob(const stUsbDeviceDescription& description);
// String descriptor at index (0 is the language list); empty when the index names no string.
std::vector<uint8_t> StringDescriptor(const stUsbDeviceDescription& description, uint8_t byIndex);

} // namespace UsbDescriptors
