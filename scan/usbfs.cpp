// Raw usbfs access for the scan daemon: device nodes are opened and driven with the kernel's
// ioctls directly, so the daemon needs no USB library.
#include "usbfs.h"

#include "commDef.h"
#include "logText.h"
#include "usblog.h"

#include <sane/sane.h>

#include <dirent.h>
#include <endian.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t c_usbfsPathSize = 4096;
// usbfs refuses larger pieces on some host controllers; the scanner's packets are 512 bytes.
constexpr int c_bulkPieceSize = 512;

// Standard GET_DESCRIPTOR request for a string descriptor (device-to-host, standard, device).
constexpr int c_requestTypeStandardIn = 0x80;
constexpr int c_requestGetDescriptor = 6;
constexpr int c_descriptorTypeString = 3;
constexpr int c_stringDescriptorValueBase = c_descriptorTypeString << 8;
constexpr int c_stringDescriptorTimeout = 1000;
constexpr int c_stringDescriptorMaxSize = 255;
// String descriptor 0 lists the language IDs; a read of it tells whether the device still answers.
constexpr int c_probeBufferSize = 256;

// Results of a malformed (-EIO) or truncated (-EFBIG) string descriptor.
constexpr int c_errMalformedDescriptor = -5;
constexpr int c_errTruncatedDescriptor = -27;

constexpr unsigned int c_interfaceScanner = 0;

int UsbfsBulkRead(int dev, void* data, int size, int timeout)
{
    return usb_bulk(dev, c_usbEndpointBulkIn, data, size, timeout);
}

VornBulkReadFunction g_bulkRead = UsbfsBulkRead;

// "dir/name" into a usbfs path buffer; false when it does not fit.
bool JoinPath(char (&path)[c_usbfsPathSize], const char* dir, const char* name)
{
    int length = snprintf(path, sizeof path, "%s/%s", dir, name);
    return length > 0 && static_cast<size_t>(length) < sizeof path;
}

bool StartsWithDigit(const dirent* entry)
{
    return isdigit(static_cast<unsigned char>(entry->d_name[0]));
}

DIR* OpenUsbfsRoot(const char* const* roots, const char** openedRoot)
{
    for (; *roots; ++roots) {
        DIR* dir = opendir(*roots);
        if (dir) {
            *openedRoot = *roots;
            return dir;
        }
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] open dir err:%s\n", *roots);
    }
    return nullptr;
}

// Opens one device node and keeps it when its descriptor matches; returns whether it was kept.
bool ProbeDeviceNode(const char* path, int idVendor, int idProduct, bool compareWithPID, bool roomLeft,
                     VORN_USB_DEV* slot)
{
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] open usb err:%s\n", path);
        return false;
    }
    usb_device_descriptor descriptor{};
    ssize_t got = read(fd, &descriptor, sizeof descriptor);
    bool matches = got >= 1 && le16toh(descriptor.idVendor) == static_cast<uint16_t>(idVendor) &&
                   (!compareWithPID || le16toh(descriptor.idProduct) == static_cast<uint16_t>(idProduct));
    if (matches && !roomLeft)
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] too many devices, skipped:%s\n", path);
    if (!matches || !roomLeft) {
        close(fd);
        return false;
    }
    slot->fd = fd;
    slot->dev_des = descriptor;
    return true;
}

void CopyDescriptorString(int fd, int index, char* target, size_t size, const char* logFormat)
{
    if (index == 0)
        return;
    if (vorn_get_string_simple(fd, index, target, size) < 0)
        target[0] = '\0';
    // The device chose these bytes: they reach the log escaped.
    vorn_usb_log(VornUsbLog::Info, logFormat, vorn_LogText(target, strlen(target)).c_str());
}

}  // namespace

int vorn_find_device(int idVendor, int idProduct, VORN_USB_DEV* dev_des, bool compareWithPID, int maxDevices,
                     const char* const* roots)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    if (!dev_des) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] dev_des is NULL \n");
        return -1;
    }
    static const char* const defaultRoots[] = {c_usbfsRootPrimary, c_usbfsRootFallback, nullptr};
    const char* root = nullptr;
    DIR* busDir = OpenUsbfsRoot(roots ? roots : defaultRoots, &root);
    if (!busDir) {
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] find busdir err:%s\n", strerror(errno));
        return -1;
    }

    int found = 0;
    while (const dirent* bus = readdir(busDir)) {
        if (!StartsWithDigit(bus))
            continue;
        char busPath[c_usbfsPathSize];
        if (!JoinPath(busPath, root, bus->d_name))
            continue;
        DIR* deviceDir = opendir(busPath);
        if (!deviceDir) {
            vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] open dir err:%s\n", busPath);
            continue;
        }
        while (const dirent* device = readdir(deviceDir)) {
            if (!StartsWithDigit(device))
                continue;
            char devicePath[c_usbfsPathSize];
            if (!JoinPath(devicePath, busPath, device->d_name))
                continue;
            if (ProbeDeviceNode(devicePath, idVendor, idProduct, compareWithPID, found < maxDevices,
                                &dev_des[found]))
                ++found;
        }
        closedir(deviceDir);
    }
    closedir(busDir);
    return found;
}

USBFindDevRes converToDevRes(int fd, const usb_device_descriptor& descriptor)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    USBFindDevRes res;
    memset(&res, 0, sizeof res);
    res.fd = fd;
    res.vid = le16toh(descriptor.idVendor);
    res.pid = le16toh(descriptor.idProduct);
    CopyDescriptorString(fd, descriptor.iManufacturer, res.Manufacturer, sizeof res.Manufacturer,
                         "[VornScanSDK] - Manufacturer : %s\n");
    CopyDescriptorString(fd, descriptor.iProduct, res.Product, sizeof res.Product,
                         "[VornScanSDK] - Product : %s\n");
    CopyDescriptorString(fd, descriptor.iSerialNumber, res.SerialNumber, sizeof res.SerialNumber,
                         "[VornScanSDK] - Serial Number: %s\n");
    return res;
}

int vorn_control_msg(int dev, int requesttype, int request, int value, int index, char* bytes, int size,
                     int timeout)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = static_cast<uint8_t>(requesttype);
    transfer.bRequest = static_cast<uint8_t>(request);
    transfer.wValue = static_cast<uint16_t>(value);
    transfer.wIndex = static_cast<uint16_t>(index);
    transfer.wLength = static_cast<uint16_t>(size);
    transfer.timeout = static_cast<uint32_t>(timeout);
    transfer.data = bytes;
    int ret = ioctl(dev, USBDEVFS_CONTROL, &transfer);
    if (ret < 0)
        vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] USB error: error sending control message\n");
    return ret;
}

int vorn_get_string(int dev, int index, int langid, char* buf, size_t buflen)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    int size = static_cast<int>(std::min<size_t>(buflen, UINT16_MAX));
    return vorn_control_msg(dev, c_requestTypeStandardIn, c_requestGetDescriptor, c_stringDescriptorValueBase + index,
                            langid, buf, size, c_stringDescriptorTimeout);
}

int vorn_get_string_simple(int dev, int index, char* buf, size_t buflen)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    unsigned char raw[c_stringDescriptorMaxSize + 1] = {};
    char* rawChars = reinterpret_cast<char*>(raw);

    int ret = vorn_get_string(dev, 0, 0, rawChars, c_stringDescriptorMaxSize);
    if (ret < 0)
        return ret;
    if (ret < 4)
        return c_errMalformedDescriptor;
    int langid = raw[2] | (raw[3] << 8);

    memset(raw, 0, sizeof raw);
    ret = vorn_get_string(dev, index, langid, rawChars, c_stringDescriptorMaxSize);
    if (ret < 0)
        return ret;
    return vorn_decode_string_descriptor(raw, ret, buf, buflen);
}

int vorn_decode_string_descriptor(const unsigned char* raw, int size, char* buf, size_t buflen)
{
    if (size < 2 || raw[1] != c_descriptorTypeString)
        return c_errMalformedDescriptor;
    int length = raw[0];
    if (length > size)
        return c_errTruncatedDescriptor;
    if (buflen == 0)
        return 0;

    // UTF-16LE to ASCII: anything outside Latin-1 cannot be shown and becomes '?'.
    size_t out = 0;
    for (int in = 2; in + 1 < length && out < buflen - 1; in += 2)
        buf[out++] = raw[in + 1] ? '?' : static_cast<char>(raw[in]);
    buf[out] = '\0';
    return static_cast<int>(out);
}

int usb_bulk(int fd, int ep, void* data, int size, int timeout)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    auto* bytes = static_cast<unsigned char*>(data);
    bool isIn = (ep & USB_DIR_IN) != 0;
    int total = 0;
    while (total < size) {
        int piece = std::min(c_bulkPieceSize, size - total);
        usbdevfs_bulktransfer transfer{};
        transfer.ep = static_cast<unsigned int>(ep);
        transfer.len = static_cast<unsigned int>(piece);
        transfer.timeout = static_cast<unsigned int>(timeout);
        transfer.data = bytes + total;
        int ret = ioctl(fd, USBDEVFS_BULK, &transfer);
        if (ret < 0) {
            // A device that still answers a descriptor read only timed out; one that does not is gone.
            char probe[c_probeBufferSize];
            int probeRet = vorn_get_string(fd, 0, 0, probe, sizeof probe);
            if (probeRet >= 0)
                return total;  // the pieces already moved are real data and must not be lost
            vorn_usb_log(VornUsbLog::Error, "[VornScanSDK] ** vorn_get_string ret:%d\n", probeRet);
            return probeRet;
        }
        total += ret;
        if (isIn && ret < piece)
            break;
    }
    return total;
}

int vorn_bulk_write(int dev, const void* data, int size, int timeout)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    if (dev <= 0 || !data)
        return -1;
    return usb_bulk(dev, c_usbEndpointBulkOut, const_cast<void*>(data), size, timeout);
}

int vorn_bulk_read(int dev, void* data, int size, int timeout)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    if (dev <= 0 || !data)
        return -1;
    return g_bulkRead(dev, data, size, timeout);
}

void vorn_set_bulk_read(VornBulkReadFunction read)
{
    g_bulkRead = read ? read : UsbfsBulkRead;
}

int vorn_clear_halt(int dev, unsigned int ep)
{
    int ret = ioctl(dev, USBDEVFS_CLEAR_HALT, &ep);
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] vorn_clear_halt ret:%d", ret);
    return ret < 0 ? SANE_STATUS_IO_ERROR : 0;
}

int vorn_resetep(int dev, unsigned int ep)
{
    return ioctl(dev, USBDEVFS_RESETEP, &ep) < 0 ? SANE_STATUS_IO_ERROR : 0;
}

int vorn_init(int /*dev*/)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    return 0;
}

int vorn_open_device(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    return vorn_init(dev);
}

void vorn_close_device(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    if (dev != 0)
        close(dev);
}

int vorn_claim_interface(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    unsigned int interface = c_interfaceScanner;
    return ioctl(dev, USBDEVFS_CLAIMINTERFACE, &interface);
}

int vorn_release_interface(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    unsigned int interface = c_interfaceScanner;
    return ioctl(dev, USBDEVFS_RELEASEINTERFACE, &interface);
}

int vorn_detach_driver(int dev)
{
    vorn_usb_log(VornUsbLog::Info, "[VornScanSDK] ** %s\n", __func__);
    usbdevfs_ioctl command{};
    command.ifno = static_cast<int>(c_interfaceScanner);
    command.ioctl_code = USBDEVFS_DISCONNECT;
    command.data = nullptr;
    return ioctl(dev, USBDEVFS_IOCTL, &command);
}
