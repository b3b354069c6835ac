// What the suite sends to its printers and what it relies on getting back, in one place.
#pragma once

#include <array>
#include <cstdint>

namespace PrinterProtocol {

// Header placed before every status record: a network reply's own head, or seven zero bytes
// that the USB reader puts in front of the control reply so both look alike.
constexpr int c_iRecordHeaderBytes = 7;

// USB class requests on interface 0, device to host.
//   request   bmRequestType bRequest wValue wIndex wLength
//   status    0xA1          0x33     0      0      1024
//   cancel    0xA1          0x34     0      0      1017
constexpr int c_iControlInterface = 0;
constexpr uint8_t c_byClassRequestIn = 0xA1;
constexpr uint8_t c_byRequestStatus = 0x33;
constexpr uint8_t c_byRequestCancel = 0x34;
constexpr uint16_t c_wStatusLength = 1024;
constexpr uint16_t c_wCancelLength = 1017;
constexpr unsigned c_uControlTimeoutMs = 2000;
constexpr int c_iCancelBufferBytes = 1024;

// UDP on port 9300.
constexpr uint16_t c_wUdpPort = 9300;
constexpr int c_iUdpReplyMaxBytes = 2048;
constexpr int c_iUdpReplyMinBytes = 8;
constexpr int c_iUdpReceiveTimeoutMs = 2000;

// Byte request framing:
//   offset 0   0xA5        start of a request
//   offset 1   2 bytes     count of the bytes after this field, big-endian
//   offset 3   0x50 0xE0   fixed
//   offset 5   1 byte      group
//   offset 6   1 byte      operation
//   offset 7   ...         body
constexpr uint8_t c_byRequestStart = 0xA5;
constexpr uint8_t c_byRequestFixed1 = 0x50;
constexpr uint8_t c_byRequestFixed2 = 0xE0;
constexpr uint8_t c_byGroupStatus = 0x74;
constexpr uint8_t c_byOperationStatus = 0x08;
constexpr uint8_t c_byGroupNetSettings = 0xB2;
constexpr uint8_t c_byOperationRead = 0x02;
constexpr uint8_t c_byOperationWrite = 0x03;

// The 15-byte network status request.
constexpr std::array<uint8_t, 15> c_arrUdpStatusRequest = {
    c_byRequestStart, 0x00, 0x0C, c_byRequestFixed1, c_byRequestFixed2, c_byGroupStatus, c_byOperationStatus,
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// The 8-byte network cancel: the USB cancel request laid out as a setup packet
// (bmRequestType, bRequest, wValue LE, wIndex LE, wLength LE).
constexpr std::array<uint8_t, 8> c_arrUdpCancelRequest = {
    c_byClassRequestIn, c_byRequestCancel, 0x00, 0x00, 0x00, 0x00,
    uint8_t(c_wCancelLength & 0xFF), uint8_t(c_wCancelLength >> 8)};

// Bulk exchanges: printer-class interface with bulk IN and the bulk OUT endpoint 0x01.
constexpr uint8_t c_byPrinterInterfaceClass = 7;
// Filled into the device search beside the class, but only the class is ever compared.
constexpr uint8_t c_byPrinterInterfaceSubClass = 7;
constexpr uint8_t c_byBulkTransferType = 2;
constexpr uint8_t c_byBulkOutEndpoint = 0x01;
constexpr unsigned c_uBulkTimeoutMs = 3000;
constexpr int c_iBulkReplyMaxBytes = 1024;
constexpr int c_iFirmwareChunkBytes = 1048576;

// USB serial numbers are read into a 64-byte buffer (63 characters and a terminator).
constexpr int c_iSerialBufferBytes = 64;

} // namespace PrinterProtocol
