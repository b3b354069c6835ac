// The bulk pipe to a USB printer, shared by the maintenance tool and the firmware updater: one
// request and its reply, or one long image send, each a complete open-claim-transfer-release pass.
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <functional>

struct libusb_device;

// What one pass knows about its target: the caller's identifiers, then what the search found.
struct userDevice {
    uint16_t vendorId;
    uint16_t productId;
    uint8_t interfaceClass;
    uint8_t interfaceSubClass;
    uint8_t transferType;
    libusb_device* device;
    libusb_device** deviceList;
    uint8_t inEndpoint;
    uint8_t outEndpoint;
    uint8_t interfaceNumber;
};

// Results shared by both operations; -6 only from USBSendRecvData.
enum enUsbBulkResult : int {
    USB_BULK_OK = 0,
    USB_BULK_INIT_FAILED = -1,        // the libusb context could not be started
    USB_BULK_ENUMERATION_FAILED = -2, // device list or a descriptor unreadable, or an empty bus
    USB_BULK_NO_ENDPOINT = -3,        // no matching printer, or no usable printer-class interface
    USB_BULK_OPEN_FAILED = -4,        // permissions, or the printer left the bus
    USB_BULK_CLAIM_FAILED = -5,       // interface held elsewhere, kernel driver not detachable
    USB_BULK_SEND_FAILED = -6,        // request not sent in full
    USB_BULK_TRANSFER_FAILED = -7,    // no reply; for an image: a chunk failed or was short
};

// 0, or -1..-7 as above. The reply goes into pReply (at most iReplyCapacity bytes), its length
// into iReplyLength (0 unless the result is 0). Waits at most 3000 ms each way.
int USBSendRecvData(int iVendorId, int iProductId, const QString& strUri,
                    const unsigned char* pRequest, int iRequestLength,
                    unsigned char* pReply, int iReplyCapacity, int& iReplyLength);

// Called on the sending thread after every chunk that went out in full: bytes sent so far.
using FWUpdateProgress = std::function<void(qint64 iSentBytes)>;
// 0, or -1..-5 (nothing of the image went out) or -7 (a chunk failed or was short: part of the
// image may have gone out). Chunks of at most 1 MiB, no time limit. Lengths are 64-bit.
int FWUpdateTask(int iVendorId, int iProductId, const QString& strUri,
                 const unsigned char* pImage, qint64 iLength, const FWUpdateProgress& progress = {});
