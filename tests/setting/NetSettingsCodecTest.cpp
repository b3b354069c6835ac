// The network-settings requests byte for byte, and the reply reader on well-formed, cut and
// hostile replies: a reply is only accepted when every byte it relies on arrived.
#include "NetSettingsCodec.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> listByte)
{
    QByteArray ba;
    for (int i : listByte)
        ba.append(char(i));
    return ba;
}

QByteArray Word(int i)
{
    return Bytes({(i >> 8) & 0xFF, i & 0xFF});
}

// One reply item: ID, uninterpreted bytes up to the length field, length, value.
QByteArray Item(int iId, const QByteArray& baValue)
{
    const bool bWide = iId == 0x6374 || (iId & 0x0F) == 0;
    return Word(iId) + QByteArray(bWide ? 14 : 10, '\x5A') + Word(baValue.size()) + baValue;
}

// A reply message: the 7-byte head, result and item count, the items; then cut into 64-byte
// packets, every later packet with a 5-byte head starting 0xA5.
QByteArray Reply(const QList<QByteArray>& listItem)
{
    QByteArray baMessage = Bytes({0xA5, 0, 0, 0x50, 0xE0, 0xB2, 0x02}) + Word(0) + Word(listItem.size());
    for (const QByteArray& baItem : listItem)
        baMessage += baItem;
    baMessage.replace(1, 2, Word(baMessage.size() - 3));
    QByteArray baWire = baMessage.left(64);
    for (int i = 64, n = 1; i < baMessage.size(); i += 59, ++n)
        baWire += Bytes({0xA5, 0, n, 0, qMin(59, baMessage.size() - i)}) + baMessage.mid(i, 59);
    return baWire;
}

QList<QByteArray> AddressItems(int iBase, const char* szSource)
{
    const char* arrAddress[] = {"10.0.0.9", "255.255.0.0", "10.0.0.1", "8.8.4.4", "1.1.1.1", "10.0.0.2", "010.001.000.255"};
    QList<QByteArray> listItem{Item(iBase, szSource)};
    for (int i = 0; i < 7; ++i)
        listItem << Item(iBase + 1 + i, arrAddress[i]);
    return listItem;
}

bool Parse(const QByteArray& baReply, stIPInfo& info)
{
    return NetSettingsCodec::ParseRecvData(reinterpret_cast<const unsigned char*>(baReply.constData()), baReply.size(), info);
}

} // namespace

TEST(NetSettingsRequests, ReadsAskForTheSelectorOrTheItemsOfOneSet)
{
    EXPECT_EQ(NetSettingsCodec::StatusQuery(), Bytes({0xA5, 0x00, 0x0B, 0x50, 0xE0, 0xB2, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x63, 0x74}));
    const QByteArray baHead = Bytes({0xA5, 0x00, 0x19, 0x50, 0xE0, 0xB2, 0x02, 0x00, 0x00, 0x01, 0x00, 0x08});
    EXPECT_EQ(NetSettingsCodec::AddressRead(1),
              baHead + Bytes({0x40, 0x00, 0x40, 0x01, 0x40, 0x02, 0x40, 0x03, 0x40, 0x04, 0x40, 0x05, 0x40, 0x06, 0x40, 0x07}));
    EXPECT_EQ(NetSettingsCodec::AddressRead(0),
              baHead + Bytes({0x40, 0x10, 0x40, 0x11, 0x40, 0x12, 0x40, 0x13, 0x40, 0x14, 0x40, 0x15, 0x40, 0x16, 0x40, 0x17}));
}

TEST(NetSettingsRequests, WriteCarriesSourceSevenAddressesAndTrailerInTheRememberedSet)
{
    // A fresh page: DHCP, every field 0, no read yet so the second set.
    stIPInfo fresh;
    for (int i = 0; i < 7; ++i)
        *IPInfoAddress(fresh, i) = QStringLiteral("0.0.0.0");
    QByteArray baExpected = Bytes({0xA5, 0x00, 0x48, 0x50, 0xE0, 0xB2, 0x03, 0x00, 0x09, 0x40, 0x10, 0x00, 0x01, 0x00});
    for (int i = 1; i <= 7; ++i)
        baExpected += Bytes({0x40, 0x10 + i, 0x00, 0x04, 0, 0, 0, 0});
    baExpected += Bytes({0x40, 0x1F, 0x00, 0x01, 0x00});
    EXPECT_EQ(NetSettingsCodec::AddressWrite(fresh), baExpected);

    stIPInfo info;
    info.iPrimarySet = 1;
    info.iIPSource = 1;
    const char* arrAddress[] = {"192.168.1.10", "255.255.255.0", "192.168.1.1", "8.8.8.8", "010.001.000.255", "0.0.0.0", "1.2.3.4"};
    for (int i = 0; i < 7; ++i)
        *IPInfoAddress(info, i) = QString::fromLatin1(arrAddress[i]);
    const QByteArray baWrite = NetSettingsCodec::AddressWrite(info);
    ASSERT_EQ(baWrite.size(), 75);
    EXPECT_EQ(baWrite.mid(9, 5), Bytes({0x40, 0x00, 0x00, 0x01, 0x01}));
    EXPECT_EQ(baWrite.mid(14, 8), Bytes({0x40, 0x01, 0x00, 0x04, 192, 168, 1, 10}));
    EXPECT_EQ(baWrite.mid(46, 8), Bytes({0x40, 0x05, 0x00, 0x04, 10, 1, 0, 255}));
    EXPECT_EQ(baWrite.mid(62, 8), Bytes({0x40, 0x07, 0x00, 0x04, 1, 2, 3, 4}));
    EXPECT_EQ(baWrite.mid(70), Bytes({0x40, 0x0F, 0x00, 0x01, 0x00}));

    // One address that is not complete: nothing to send.
    info.strGateway = QStringLiteral("192.168..1");
    EXPECT_TRUE(NetSettingsCodec::AddressWrite(info).isEmpty());
}

TEST(NetSettingsReply, PacketHeadsAreDroppedOnlyWhereABoundaryHoldsA5)
{
    QByteArray baReply(70, '\x11');
    baReply[0] = char(0xA5);
    baReply[64] = 0x22;  // not a head: the 6 bytes after the first packet stay
    QByteArray baJoined = NetSettingsCodec::Deframe(reinterpret_cast<const unsigned char*>(baReply.constData()), 70);
    EXPECT_EQ(baJoined, baReply.mid(5, 59) + baReply.mid(64));

    baReply[64] = char(0xA5);  // a head: its 5 bytes go, 1 byte remains
    baJoined = NetSettingsCodec::Deframe(reinterpret_cast<const unsigned char*>(baReply.constData()), 70);
    EXPECT_EQ(baJoined, baReply.mid(5, 59) + baReply.mid(69));

    // A head cut by the end of the reply takes only what is there.
    baJoined = NetSettingsCodec::Deframe(reinterpret_cast<const unsigned char*>(baReply.constData()), 67);
    EXPECT_EQ(baJoined, baReply.mid(5, 59));
}

TEST(NetSettingsReply, WellFormedRepliesFillTheRecordAndTheSelectorPicksTheSet)
{
    stIPInfo info;
    ASSERT_TRUE(Parse(Reply(AddressItems(0x4000, "Static")), info));
    EXPECT_EQ(info.iIPSource, 1);
    EXPECT_EQ(info.strIP, QStringLiteral("10.0.0.9"));
    EXPECT_EQ(info.strSubnetMask, QStringLiteral("255.255.0.0"));
    EXPECT_EQ(info.strWINS1, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(info.strWINS2, QStringLiteral("010.001.000.255"));  // spans the first packet boundary

    stIPInfo second;
    ASSERT_TRUE(Parse(Reply(AddressItems(0x4010, "DHCP")), second));
    EXPECT_EQ(second.iIPSource, 0);
    EXPECT_EQ(second.strGateway, QStringLiteral("10.0.0.1"));

    stIPInfo status;
    ASSERT_TRUE(Parse(Reply({Item(0x6374, "V1")}), status));
    EXPECT_EQ(status.iPrimarySet, 1);
    status.iPrimarySet = 1;
    ASSERT_TRUE(Parse(Reply({Item(0x6374, "")}), status));
    EXPECT_EQ(status.iPrimarySet, 0);
}

TEST(NetSettingsReply, MalformedRepliesFailAsAWhole)
{
    const QByteArray baGood = Reply(AddressItems(0x4000, "DHCP"));
    const QByteArray baPastEnd = Word(0x4001) + QByteArray(10, '\0') + Word(20) + "1.2.3.4";
    QByteArray baNoStart = baGood;
    baNoStart[0] = 0x5A;
    QList<QByteArray> listBadAddress = AddressItems(0x4000, "DHCP");
    listBadAddress[3] = Item(0x4003, "256.1.1.1");
    const struct {
        const char* szCase;
        QByteArray baReply;
    } arrCase[] = {
        {"item 0x4008 after valid items", Reply(AddressItems(0x4000, "DHCP") << Item(0x4008, "0.0.0.0"))},
        {"trailing item 0x400F", Reply({Item(0x400F, "0")})},
        {"length past the end", Reply({Item(0x4000, "DHCP"), baPastEnd})},
        {"cut inside an item header", Reply(AddressItems(0x4000, "DHCP")).append(Word(0x4001)).append(QByteArray(6, '\0'))},
        {"cut inside an item ID", Reply({Item(0x4000, "DHCP")}).append('\x40')},
        {"more than 1024 bytes", baGood + QByteArray(1025 - baGood.size(), '\0')},
        {"shorter than 7 bytes", Bytes({0xA5, 0, 3, 0x50, 0xE0, 0xB2})},
        {"not starting with 0xA5", baNoStart},
        {"unknown source text", Reply({Item(0x4000, "BOOTP")})},
        {"address out of range", Reply(listBadAddress)},
        {"value of 400 characters", Reply({Item(0x4001, QByteArray(400, '1'))})},
    };
    for (const auto& test : arrCase) {
        stIPInfo info;
        EXPECT_FALSE(Parse(test.baReply, info)) << test.szCase;
    }
}

TEST(NetSettingsAddress, IsIPValidTakesFourDottedNumbersUpTo255Only)
{
    const struct {
        const char* szText;
        bool bValid;
    } arrCase[] = {
        {"192.168.1.10", true}, {"010.001.000.255", true}, {"0.0.0.0", true},     {"256.1.1.1", false},
        {"1.2.3", false},       {"1.2.3.4.5", false},      {" 1.2.3.4", false},   {"1.2.3.4 ", false},
        {"1.2.3.0255", false},  {"", false},               {"1..3.4", false},
    };
    for (const auto& test : arrCase)
        EXPECT_EQ(IsIPValid(QString::fromLatin1(test.szText)), test.bValid) << test.szText;
    // Digits of another script are not octets.
    EXPECT_FALSE(IsIPValid(QStringLiteral("1.2.3.\u0664")));
}
