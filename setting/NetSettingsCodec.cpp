// Builds the network-settings requests and reads the replies without ever looking past the
// bytes that arrived: a printer's reply is untrusted input.
#include "NetSettingsCodec.h"

#include "NetSettingsProtocol.h"

#include <QRegularExpression>
#include <QStringList>

namespace NSP = NetSettingsProtocol;

namespace {

constexpr int c_iOctets = 4;
constexpr int c_iOctetMax = 255;

void AppendWord(QByteArray& ba, int iWord)
{
    ba.append(char((iWord >> 8) & 0xFF));
    ba.append(char(iWord & 0xFF));
}

uint16_t SetBase(int iPrimarySet)
{
    return iPrimarySet ? NSP::c_wItemSource : uint16_t(NSP::c_wItemSource + NSP::c_wSecondSetOffset);
}

// The request head with the count still zero; Finish sets it once the body is complete.
QByteArray RequestHead(uint8_t byOperation)
{
    QByteArray ba;
    ba.append(char(PrinterProtocol::c_byRequestStart));
    AppendWord(ba, 0);
    ba.append(char(PrinterProtocol::c_byRequestFixed1));
    ba.append(char(PrinterProtocol::c_byRequestFixed2));
    ba.append(char(PrinterProtocol::c_byGroupNetSettings));
    ba.append(char(byOperation));
    return ba;
}

QByteArray Finish(QByteArray ba)
{
    const int iCount = ba.size() - NSP::c_iCountedFrom;
    ba[NSP::c_iCountFieldOffset] = char((iCount >> 8) & 0xFF);
    ba[NSP::c_iCountFieldOffset + 1] = char(iCount & 0xFF);
    return ba;
}

QByteArray ReadRequest(const QList<uint16_t>& listId)
{
    QByteArray ba = RequestHead(PrinterProtocol::c_byOperationRead);
    ba.append(reinterpret_cast<const char*>(NSP::c_arrReadPreamble), sizeof(NSP::c_arrReadPreamble));
    AppendWord(ba, listId.size());
    for (uint16_t wId : listId)
        AppendWord(ba, wId);
    return Finish(ba);
}

int Word(const QByteArray& ba, int iOffset)
{
    return (uint8_t(ba[iOffset]) << 8) | uint8_t(ba[iOffset + 1]);
}

// What an item of a reply is, by its ID; Unknown fails the whole reply.
enum class enReplyItem { Unknown, Selector, Source, Address };

enReplyItem Classify(int iId, int& iAddressIndex)
{
    if (iId == NSP::c_wItemSetSelector)
        return enReplyItem::Selector;
    for (int iPrimarySet : {1, 0}) {
        const int iBase = SetBase(iPrimarySet);
        if (iId == iBase)
            return enReplyItem::Source;
        if (iId > iBase && iId <= iBase + NSP::c_iAddressCount) {
            iAddressIndex = iId - iBase - 1;
            return enReplyItem::Address;
        }
    }
    return enReplyItem::Unknown;
}

bool AcceptValue(enReplyItem enItem, int iAddressIndex, const QString& strValue, stIPInfo& info)
{
    switch (enItem) {
    case enReplyItem::Selector:
        info.iPrimarySet = strValue.isEmpty() ? 0 : 1;
        return true;
    case enReplyItem::Source:
        if (strValue == QLatin1String(NSP::c_szSourceDhcp))
            info.iIPSource = NSP::c_bySourceDhcp;
        else if (strValue == QLatin1String(NSP::c_szSourceStatic))
            info.iIPSource = NSP::c_bySourceStatic;
        else
            return false;
        return true;
    case enReplyItem::Address:
        if (!IsIPValid(strValue))
            return false;
        *IPInfoAddress(info, iAddressIndex) = strValue;
        return true;
    case enReplyItem::Unknown:
        break;
    }
    return false;
}

} // namespace

QString* IPInfoAddress(stIPInfo& info, int iIndex)
{
    QString* const arrAddress[NSP::c_iAddressCount] = {&info.strIP,   &info.strSubnetMask, &info.strGateway,
                                                       &info.strDNS1, &info.strDNS2,       &info.strWINS1,
                                                       &info.strWINS2};
    return iIndex >= 0 && iIndex < NSP::c_iAddressCount ? arrAddress[iIndex] : nullptr;
}

const QString* IPInfoAddress(const stIPInfo& info, int iIndex)
{
    return IPInfoAddress(const_cast<stIPInfo&>(info), iIndex);
}

bool IsIPValid(const QString& strIP)
{
    // ASCII digits only: "\\d" would also take digits of other scripts, which toInt() does not
    // turn into the octet the user typed.
    static const QRegularExpression c_regexIPv4(QRegularExpression::anchoredPattern(
        QStringLiteral("((2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)\\.){3}(2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)")));
    return c_regexIPv4.match(strIP).hasMatch();
}

namespace NetSettingsCodec {

QByteArray StatusQuery()
{
    return ReadRequest({NSP::c_wItemSetSelector});
}

QByteArray AddressRead(int iPrimarySet)
{
    QList<uint16_t> listId;
    for (int i = 0; i < NSP::c_iReadItemCount; ++i)
        listId << uint16_t(SetBase(iPrimarySet) + i);
    return ReadRequest(listId);
}

QByteArray AddressWrite(const stIPInfo& info)
{
    const uint16_t wBase = SetBase(info.iPrimarySet);
    QByteArray ba = RequestHead(PrinterProtocol::c_byOperationWrite);
    AppendWord(ba, NSP::c_iWriteItemCount);
    AppendWord(ba, wBase);
    AppendWord(ba, NSP::c_iSourceValueBytes);
    ba.append(char(info.iIPSource ? NSP::c_bySourceStatic : NSP::c_bySourceDhcp));
    for (int i = 0; i < NSP::c_iAddressCount; ++i) {
        AppendWord(ba, wBase + 1 + i);
        AppendWord(ba, NSP::c_iAddressValueBytes);
        const int iOffset = ba.size();
        ba.append(QByteArray(NSP::c_iAddressValueBytes, '\0'));
        if (!FormatIPData(*IPInfoAddress(info, i), reinterpret_cast<unsigned char*>(ba.data()), iOffset))
            return QByteArray();
    }
    AppendWord(ba, wBase + (NSP::c_wItemTrailer - NSP::c_wItemSource));
    AppendWord(ba, NSP::c_iSourceValueBytes);
    ba.append('\0');
    return Finish(ba);
}

bool FormatIPData(const QString& strIP, unsigned char* pBuffer, int iOffset)
{
    if (!IsIPValid(strIP))
        return false;
    const QStringList listPart = strIP.split(QLatin1Char('.'));
    if (listPart.size() != c_iOctets)
        return false;
    for (int i = 0; i < c_iOctets; ++i)
        pBuffer[iOffset + i] = static_cast<unsigned char>(qBound(0, listPart[i].toInt(), c_iOctetMax));
    return true;
}

QByteArray Deframe(const unsigned char* pReply, int iLength)
{
    QByteArray baJoined;
    int iOffset = 0;
    while (iOffset < iLength) {
        if (iOffset % NSP::c_iPacketBytes == 0 && pReply[iOffset] == PrinterProtocol::c_byRequestStart) {
            iOffset += NSP::c_iPacketHeadBytes;
            continue;
        }
        const int iPacketEnd = std::min((iOffset / NSP::c_iPacketBytes + 1) * NSP::c_iPacketBytes, iLength);
        baJoined.append(reinterpret_cast<const char*>(pReply + iOffset), iPacketEnd - iOffset);
        iOffset = iPacketEnd;
    }
    return baJoined;
}

bool ParseRecvData(const unsigned char* pReply, int iLength, stIPInfo& info)
{
    if (!pReply || iLength < NSP::c_iReplyMinBytes || iLength > NSP::c_iReplyMaxBytes
        || pReply[0] != PrinterProtocol::c_byRequestStart)
        return false;
    const QByteArray baData = Deframe(pReply, iLength);
    int iItem = NSP::c_iReplyItemsOffset;
    while (iItem < baData.size()) {
        if (iItem + 2 > baData.size())
            return false;
        int iAddressIndex = -1;
        const enReplyItem enItem = Classify(Word(baData, iItem), iAddressIndex);
        if (enItem == enReplyItem::Unknown)
            return false;
        const int iLengthAt = iItem + (enItem == enReplyItem::Address ? NSP::c_iNarrowItemLengthOffset
                                                                      : NSP::c_iWideItemLengthOffset);
        if (iLengthAt + NSP::c_iItemLengthBytes > baData.size())
            return false;
        const int iValueLength = Word(baData, iLengthAt);
        const int iValueAt = iLengthAt + NSP::c_iItemLengthBytes;
        if (iValueLength > NSP::c_iMaxValueChars || iValueAt + iValueLength > baData.size())
            return false;
        const QString strValue = QString::fromLatin1(baData.constData() + iValueAt, iValueLength);
        if (!AcceptValue(enItem, iAddressIndex, strValue, info))
            return false;
        iItem = iValueAt + iValueLength;
    }
    return true;
}

} // namespace NetSettingsCodec
