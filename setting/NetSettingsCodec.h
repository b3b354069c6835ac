// The maintenance tool's half of the network-settings exchange: the requests it sends and the
// reading of a printer's reply, kept apart from the page so they can be tested and fuzzed alone.
#pragma once

#include <QByteArray>
#include <QString>

struct stIPInfo {
    int iPrimarySet = 0;  // 1: items 0x4000.., 0: items 0x4010..
    int iIPSource = 0;    // 0 DHCP, 1 static
    QString strIP;
    QString strSubnetMask;
    QString strGateway;
    QString strDNS1;
    QString strDNS2;
    QString strWINS1;
    QString strWINS2;
};

// The seven addresses of a record, in wire order.
QString* IPInfoAddress(stIPInfo& info, int iIndex);
const QString* IPInfoAddress(const stIPInfo& info, int iIndex);

// Four dotted decimal numbers 0-255 (up to three digits each, leading zeros allowed), nothing else.
bool IsIPValid(const QString& strIP);

namespace NetSettingsCodec {

// 14 bytes asking for the set selector 0x6374.
QByteArray StatusQuery();
// 28 bytes asking for the source and the seven addresses of the given set.
QByteArray AddressRead(int iPrimarySet);
// The 75-byte write of all settings in the record's set; empty when an address is not valid.
QByteArray AddressWrite(const stIPInfo& info);
// Writes the four numbers of a valid address as bytes at iOffset of a buffer of at least
// iOffset + 4 bytes; false (buffer untouched) when the text is not a valid address.
bool FormatIPData(const QString& strIP, unsigned char* pBuffer, int iOffset);

// The reply without its packet heads: a 0xA5 at an offset that is a multiple of 64 starts a
// 5-byte head that is dropped (as far as the reply reaches).
QByteArray Deframe(const unsigned char* pReply, int iLength);
// Reads a reply into info; true only when it is at least 7 and at most 1024 bytes, starts with
// 0xA5, and every item is known, lies wholly within the reply and holds an acceptable value.
// Items read before a failure may have changed info.
bool ParseRecvData(const unsigned char* pReply, int iLength, stIPInfo& info);

} // namespace NetSettingsCodec
