// The network-settings exchange with a USB printer over its bulk pipe: request and reply layouts
// and item identifiers, shared by the maintenance tool and the printer simulator.
#pragma once

#include "PrinterProtocol.h"

#include <cstdint>

namespace NetSettingsProtocol {

// Every request starts with the 7-byte head of the byte-request framing (group 0xB2), then:
//   read   (operation 0x02): 00 00 01 | number of IDs (2) | the IDs (2 each)
//   write  (operation 0x03): number of items (2) | items: ID (2) | value length (2) | value
// All numbers big-endian.
constexpr int c_iHeadBytes = 7;
constexpr int c_iCountFieldOffset = 1;
constexpr int c_iCountedFrom = 3;  // the count field counts the bytes after itself
constexpr int c_iGroupOffset = 5;
constexpr int c_iOperationOffset = 6;
constexpr uint8_t c_arrReadPreamble[3] = {0x00, 0x00, 0x01};
constexpr int c_iReadIdCountOffset = 10;
constexpr int c_iReadIdsOffset = 12;
constexpr int c_iWriteItemCountOffset = 7;
constexpr int c_iWriteItemsOffset = 9;
constexpr int c_iWriteItemHeadBytes = 4;

constexpr int c_iStatusQueryBytes = 14;
constexpr int c_iAddressReadBytes = 28;
constexpr int c_iAddressWriteBytes = 75;

// Item IDs of the first set; the second set is the same plus 0x10.
//   0x4000 address source   write: 1 byte (0 DHCP, 1 static)   reply: "DHCP" / "Static"
//   0x4001..0x4007          write: 4 octets                    reply: dotted-decimal text
//     own address, subnet mask, gateway, primary DNS, secondary DNS, primary WINS, secondary WINS
//   0x400F trailing item of every write, 1 byte 0
//   0x6374 set selector, asked by the status query: a non-empty text selects the first set
constexpr uint16_t c_wItemSource = 0x4000;
constexpr uint16_t c_wItemFirstAddress = 0x4001;
constexpr int c_iAddressCount = 7;
constexpr uint16_t c_wItemTrailer = 0x400F;
constexpr uint16_t c_wSecondSetOffset = 0x10;
constexpr uint16_t c_wItemSetSelector = 0x6374;
constexpr int c_iReadItemCount = 1 + c_iAddressCount;
constexpr int c_iWriteItemCount = 1 + c_iAddressCount + 1;
constexpr int c_iSourceValueBytes = 1;
constexpr int c_iAddressValueBytes = 4;
constexpr uint8_t c_bySourceDhcp = 0;
constexpr uint8_t c_bySourceStatic = 1;
constexpr const char* c_szSourceDhcp = "DHCP";
constexpr const char* c_szSourceStatic = "Static";

// Replies come in 64-byte packets. Wherever a packet boundary holds 0xA5, that byte and the
// four after it are a packet head; the rest joined, items start at offset 6. An item is its ID,
// bytes the tool does not interpret, a 2-byte length and the ASCII value:
//   source and set selector   length at ID + 16, value at ID + 18
//   the seven addresses       length at ID + 12, value at ID + 14
constexpr int c_iPacketBytes = 64;
constexpr int c_iPacketHeadBytes = 5;
constexpr int c_iReplyMinBytes = 7;
constexpr int c_iReplyMaxBytes = PrinterProtocol::c_iBulkReplyMaxBytes;
constexpr int c_iReplyItemsOffset = 6;
constexpr int c_iWideItemLengthOffset = 16;
constexpr int c_iNarrowItemLengthOffset = 12;
constexpr int c_iItemLengthBytes = 2;
constexpr int c_iMaxValueChars = 399;

} // namespace NetSettingsProtocol
