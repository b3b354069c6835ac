// Raw access to USB devices through the kernel's usbfs, without a USB library: device search over
// the usbfs tree, string descriptors, control and bulk transfers, endpoint and interface control.
// Every operation takes the open descriptor of a device node ("dev").
#pragma once

#include <linux/usb/ch9.h>

#include <cstddef>
#include <cstdint>

// Folders searched for device nodes, in order; the first that opens is used.
constexpr const char* c_usbfsRootPrimary = "/dev/bus/usb";
constexpr const char* c_usbfsRootFallback = "/proc/bus/usb";

// Capacity of the caller's result array in the daemon's device search.
constexpr int VORN_MAX_USB_DEV = 64;

// Bulk endpoints of the scanner's interface.
constexpr unsigned int c_usbEndpointBulkOut = 0x02;
constexpr unsigned int c_usbEndpointBulkIn = 0x82;

// One found device: its open node and its standard 18-byte device descriptor.
struct VORN_USB_DEV {
    int fd;
    usb_device_descriptor dev_des;
};
static_assert(sizeof(usb_device_descriptor) == 18, "device descriptor is 18 bytes on the wire");

struct USBFindDevRes;  // client reply record, defined in commDef.h

// Opens every device node whose descriptor has vendor idVendor (and product idProduct when
// compareWithPID) and stores it in dev_des; at most maxDevices are kept, further matches are closed.
// roots lists the usbfs folders to try (null: "/dev/bus/usb", then "/proc/bus/usb").
// Returns the number kept, -1 when dev_des is null or no usbfs folder opens.
int vorn_find_device(int idVendor, int idProduct, VORN_USB_DEV* dev_des, bool compareWithPID,
                     int maxDevices = VORN_MAX_USB_DEV, const char* const* roots = nullptr);

// Builds the client's description of a found device: ids and its three descriptor strings
// (empty where the device has none).
USBFindDevRes converToDevRes(int fd, const usb_device_descriptor& descriptor);

// One control transfer (USBDEVFS_CONTROL); returns the ioctl result (bytes, or negative).
int vorn_control_msg(int dev, int requesttype, int request, int value, int index, char* bytes, int size,
                     int timeout);

// Raw string descriptor `index` in language `langid`; bytes read or negative.
int vorn_get_string(int dev, int index, int langid, char* buf, size_t buflen);

// String descriptor `index` as NUL-terminated ASCII in the device's first language; returns its
// length, -5 for a malformed descriptor, -27 for a truncated one, or a negative transfer result.
int vorn_get_string_simple(int dev, int index, char* buf, size_t buflen);

// Converts a string descriptor as read (size bytes) to NUL-terminated ASCII in buf, '?' for
// characters outside Latin-1, cut to fit; its length, -5 when malformed, -27 when truncated.
int vorn_decode_string_descriptor(const unsigned char* raw, int size, char* buf, size_t buflen);

// Bulk OUT on 0x02 / IN on 0x82, as usb_bulk; -1 when dev <= 0 or data is null.
int vorn_bulk_write(int dev, const void* data, int size, int timeout);
int vorn_bulk_read(int dev, void* data, int size, int timeout);

// How vorn_bulk_read moves its bytes once its arguments passed: the usbfs transfer unless
// replaced. The seam through which a fuzzer feeds the record parsers whatever a device might send.
using VornBulkReadFunction = int (*)(int dev, void* data, int size, int timeout);
// Installs read for this process; null restores the usbfs transfer.
void vorn_set_bulk_read(VornBulkReadFunction read);

// Bulk transfer in pieces of at most 512 bytes; an IN piece shorter than asked ends it. Returns
// the bytes moved: all of them, fewer (0 when none) when a piece timed out while the device is
// still present, or a negative result when the device no longer answers.
int usb_bulk(int fd, int ep, void* data, int size, int timeout);

// Clear a halted endpoint / reset an endpoint; 0, or 9 (SANE_STATUS_IO_ERROR) on failure.
int vorn_clear_halt(int dev, unsigned int ep);
int vorn_resetep(int dev, unsigned int ep);

int vorn_init(int dev);
int vorn_open_device(int dev);
void vorn_close_device(int dev);
int vorn_claim_interface(int dev);
int vorn_release_interface(int dev);
int vorn_detach_driver(int dev);
