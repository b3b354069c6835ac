// Answers and applies network-settings requests the way the printer's firmware does.
#include "SimNetSettings.h"

#include "NetSettingsProtocol.h"

#include <QStringList>

namespace NSP = NetSettingsProtocol;

namespace {

// A reply's own head after the 7 bytes of the request framing: a result (2 bytes, 0 = done)
// and, for a read, the number of items that follow (2 bytes). Items then start at offset 11 of
// the message, offset 6 once the first packet head is dropped.
constexpr uint16_t c_wResultDone = 0;
constexpr uint16_t c_wResultRefused = 1;
// Between an item's ID and its length the firmware puts bytes of its own (here zeros).
constexpr int c_iWideItemFiller = NSP::c_iWideItemLengthOffset - 2;
constexpr int c_iNarrowItemFiller = NSP::c_iNarrowItemLengthOffset - 2;
// The set selector's text when the printer speaks the first set; the second set sends it empty.
constexpr const char* c_szFirstSetSelector = "V1";
// An item the tool does not know, for the malformed reply.
constexpr uint16_t c_wUnknownItem = 0x4008;
constexpr const char* c_szUnknownValue = "0.0.0.0";
// Continuation packets: 0xA5, 0x00, packet number, 0x00, number of payload bytes.
constexpr int c_iPacketPayloadBytes = NSP::c_iPacketBytes - NSP::c_iPacketHeadBytes;

const std::array<const char*, 7> c_arrAddressName = {"ip", "mask", "gateway", "dns1", "dns2", "wins1", "wins2"};
const std::array<const char*, 5> c_arrReplyName = {"normal", "unknown-item", "past-end", "cut", "none"};

uint16_t Word(const QByteArray& ba, int iOffset)
{
    return uint16_t((uint8_t(ba[iOffset]) << 8) | uint8_t(ba[iOffset + 1]));
}

void AppendWord(QByteArray& ba, uint16_t w)
{
    ba.append(char(w >> 8));
    ba.append(char(w & 0xFF));
}

void SetWord(QByteArray& ba, int iOffset, uint16_t w)
{
    ba[iOffset] = char(w >> 8);
    ba[iOffset + 1] = char(w & 0xFF);
}

uint16_t SetBase(bool bFirstSet)
{
    return bFirstSet ? NSP::c_wItemSource : uint16_t(NSP::c_wItemSource + NSP::c_wSecondSetOffset);
}

QByteArray MessageHead(uint8_t byOperation, uint16_t wResult)
{
    QByteArray ba;
    ba.append(char(PrinterProtocol::c_byRequestStart));
    AppendWord(ba, 0);  // count, set when the message is complete
    ba.append(char(PrinterProtocol::c_byRequestFixed1));
    ba.append(char(PrinterProtocol::c_byRequestFixed2));
    ba.append(char(PrinterProtocol::c_byGroupNetSettings));
    ba.append(char(byOperation));
    AppendWord(ba, wResult);
    return ba;
}

// Appends one reply item; returns the offset of its length field.
int AppendItem(QByteArray& ba, uint16_t wId, bool bWide, const QByteArray& baValue)
{
    AppendWord(ba, wId);
    ba.append(QByteArray(bWide ? c_iWideItemFiller : c_iNarrowItemFiller, '\0'));
    const int iLengthAt = ba.size();
    AppendWord(ba, uint16_t(baValue.size()));
    ba.append(baValue);
    return iLengthAt;
}

// Splits a message into 64-byte packets: the first begins with the message's own head, every
// later one with a 5-byte continuation head.
QByteArray Packets(const QByteArray& baMessage)
{
    QByteArray baWire = baMessage.left(NSP::c_iPacketBytes);
    for (int iOffset = NSP::c_iPacketBytes, iPacket = 1; iOffset < baMessage.size();
         iOffset += c_iPacketPayloadBytes, ++iPacket) {
        const QByteArray baPayload = baMessage.mid(iOffset, c_iPacketPayloadBytes);
        baWire.append(char(PrinterProtocol::c_byRequestStart));
        baWire.append('\0');
        baWire.append(char(iPacket & 0xFF));
        baWire.append('\0');
        baWire.append(char(baPayload.size()));
        baWire.append(baPayload);
    }
    return baWire;
}

QByteArray Finish(QByteArray baMessage)
{
    SetWord(baMessage, NSP::c_iCountFieldOffset, uint16_t(baMessage.size() - NSP::c_iCountedFrom));
    return Packets(baMessage);
}

QByteArray AnswerRead(const QByteArray& baRequest, const stSimNetSettings& settings)
{
    const QList<uint16_t> listId = SimNetSettings::ReadIds(baRequest);
    QByteArray baMessage = MessageHead(PrinterProtocol::c_byOperationRead, listId.isEmpty() ? c_wResultRefused : c_wResultDone);
    const int iItemCountAt = baMessage.size();
    AppendWord(baMessage, 0);
    const uint16_t wBase = SetBase(settings.bFirstSet);
    int iItems = 0;
    int iLastLengthAt = -1;
    for (uint16_t wId : listId) {
        if (wId == NSP::c_wItemSetSelector) {
            iLastLengthAt = AppendItem(baMessage, wId, true, settings.bFirstSet ? c_szFirstSetSelector : "");
        } else if (wId == wBase) {
            iLastLengthAt = AppendItem(baMessage, wId, true, settings.bStatic ? NSP::c_szSourceStatic : NSP::c_szSourceDhcp);
        } else if (wId > wBase && wId <= wBase + NSP::c_iAddressCount) {
            iLastLengthAt = AppendItem(baMessage, wId, false, settings.arrAddress[size_t(wId - wBase - 1)].toLatin1());
        } else {
            continue;  // an item this firmware does not have
        }
        ++iItems;
    }
    switch (settings.enReply) {
    case enSimNetReply::UnknownItem:
        iLastLengthAt = AppendItem(baMessage, c_wUnknownItem, false, c_szUnknownValue);
        ++iItems;
        break;
    case enSimNetReply::LengthPastEnd:
        if (iLastLengthAt >= 0)
            SetWord(baMessage, iLastLengthAt, uint16_t(Word(baMessage, iLastLengthAt) + 1));
        break;
    case enSimNetReply::CutHeader:
        AppendWord(baMessage, wBase);
        baMessage.append(QByteArray(c_iNarrowItemFiller / 2, '\0'));
        break;
    default:
        break;
    }
    SetWord(baMessage, iItemCountAt, uint16_t(iItems));
    return Finish(baMessage);
}

// Applies a write when every item is well-formed; items of the other set are ignored.
bool ApplyWrite(const QByteArray& baRequest, stSimNetSettings& settings)
{
    if (baRequest.size() < NSP::c_iWriteItemsOffset)
        return false;
    stSimNetSettings updated = settings;
    const uint16_t wBase = SetBase(settings.bFirstSet);
    const int iCount = Word(baRequest, NSP::c_iWriteItemCountOffset);
    int iOffset = NSP::c_iWriteItemsOffset;
    for (int i = 0; i < iCount; ++i) {
        if (iOffset + NSP::c_iWriteItemHeadBytes > baRequest.size())
            return false;
        const uint16_t wId = Word(baRequest, iOffset);
        const int iLength = Word(baRequest, iOffset + 2);
        const int iValueAt = iOffset + NSP::c_iWriteItemHeadBytes;
        if (iValueAt + iLength > baRequest.size())
            return false;
        const QByteArray baValue = baRequest.mid(iValueAt, iLength);
        if (wId == wBase) {
            if (iLength != NSP::c_iSourceValueBytes || uint8_t(baValue[0]) > NSP::c_bySourceStatic)
                return false;
            updated.bStatic = uint8_t(baValue[0]) == NSP::c_bySourceStatic;
        } else if (wId > wBase && wId <= wBase + NSP::c_iAddressCount) {
            if (iLength != NSP::c_iAddressValueBytes)
                return false;
            updated.arrAddress[size_t(wId - wBase - 1)] = QStringLiteral("%1.%2.%3.%4")
                                                              .arg(uint8_t(baValue[0]))
                                                              .arg(uint8_t(baValue[1]))
                                                              .arg(uint8_t(baValue[2]))
                                                              .arg(uint8_t(baValue[3]));
        }
        iOffset = iValueAt + iLength;
    }
    if (iOffset != baRequest.size())
        return false;
    settings = updated;
    return true;
}

} // namespace

namespace SimNetSettings {

const std::array<const char*, 7>& AddressNames()
{
    return c_arrAddressName;
}

const std::array<const char*, 5>& ReplyNames()
{
    return c_arrReplyName;
}

bool IsSettingsRequest(const QByteArray& baRequest)
{
    return baRequest.size() >= NSP::c_iHeadBytes && uint8_t(baRequest[0]) == PrinterProtocol::c_byRequestStart
           && Word(baRequest, NSP::c_iCountFieldOffset) == baRequest.size() - NSP::c_iCountedFrom
           && uint8_t(baRequest[3]) == PrinterProtocol::c_byRequestFixed1
           && uint8_t(baRequest[4]) == PrinterProtocol::c_byRequestFixed2
           && uint8_t(baRequest[NSP::c_iGroupOffset]) == PrinterProtocol::c_byGroupNetSettings;
}

bool IsWrite(const QByteArray& baRequest)
{
    return uint8_t(baRequest[NSP::c_iOperationOffset]) == PrinterProtocol::c_byOperationWrite;
}

QList<uint16_t> ReadIds(const QByteArray& baRequest)
{
    QList<uint16_t> listId;
    if (baRequest.size() < NSP::c_iReadIdsOffset
        || uint8_t(baRequest[NSP::c_iOperationOffset]) != PrinterProtocol::c_byOperationRead)
        return listId;
    const int iCount = Word(baRequest, NSP::c_iReadIdCountOffset);
    if (baRequest.size() != NSP::c_iReadIdsOffset + 2 * iCount)
        return listId;
    for (int i = 0; i < iCount; ++i)
        listId << Word(baRequest, NSP::c_iReadIdsOffset + 2 * i);
    return listId;
}

QByteArray Answer(const QByteArray& baRequest, stSimNetSettings& settings)
{
    if (!IsWrite(baRequest))
        return AnswerRead(baRequest, settings);
    const bool bApplied = ApplyWrite(baRequest, settings);
    return Finish(MessageHead(PrinterProtocol::c_byOperationWrite, bApplied ? c_wResultDone : c_wResultRefused));
}

QString Describe(const stSimNetSettings& settings)
{
    QStringList listPart{settings.bStatic ? QStringLiteral("static") : QStringLiteral("dhcp")};
    for (const QString& strAddress : settings.arrAddress)
        listPart << strAddress;
    return listPart.join(QLatin1Char(','));
}

} // namespace SimNetSettings
