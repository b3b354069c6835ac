// A stand-in for a program run under the printer simulator: asks the first USB printer with the
// given vendor and product id for its serial number, its status record and a cancel, the way the
// service does, and prints what it got ("serial=", "record=" in hex, "cancel=").
#include <libusb.h>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr uint8_t c_byClassIn = 0xA1;
constexpr uint8_t c_byStatus = 0x33;
constexpr uint8_t c_byCancel = 0x34;
constexpr uint16_t c_wStatusLength = 1024;
constexpr uint16_t c_wCancelLength = 1017;
constexpr unsigned c_uTimeoutMs = 2000;
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const auto wVendor = uint16_t(std::strtoul(argv[1], nullptr, 0));
    const auto wProduct = uint16_t(std::strtoul(argv[2], nullptr, 0));
    libusb_context* pContext = nullptr;
    if (libusb_init(&pContext) != 0)
        return 3;
    libusb_device_handle* pHandle = libusb_open_device_with_vid_pid(pContext, wVendor, wProduct);
    if (!pHandle) {
        std::printf("absent\n");
        libusb_exit(pContext);
        return 4;
    }
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(libusb_get_device(pHandle), &descriptor);
    unsigned char szSerial[64] = {};
    libusb_get_string_descriptor_ascii(pHandle, descriptor.iSerialNumber, szSerial, sizeof(szSerial) - 1);
    std::printf("serial=%s\n", reinterpret_cast<char*>(szSerial));
    int iExit = 0;
    if (libusb_claim_interface(pHandle, 0) == 0) {
        unsigned char buf[c_wStatusLength] = {};
        const int iStatus = libusb_control_transfer(pHandle, c_byClassIn, c_byStatus, 0, 0, buf, c_wStatusLength, c_uTimeoutMs);
        std::printf("record=");
        for (int i = 0; i < iStatus; ++i)
            std::printf("%02x", buf[i]);
        std::printf("\n");
        const int iCancel = libusb_control_transfer(pHandle, c_byClassIn, c_byCancel, 0, 0, buf, c_wCancelLength, c_uTimeoutMs);
        std::printf("cancel=%d\n", iCancel);
        iExit = iStatus > 0 && iCancel >= 0 ? 0 : 5;
        libusb_release_interface(pHandle, 0);
    } else {
        iExit = 6;
    }
    std::fflush(stdout);
    libusb_close(pHandle);
    libusb_exit(pContext);
    return iExit;
}
