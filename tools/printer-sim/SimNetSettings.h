// The printer's side of the network-settings exchange: its IPv4 configuration, how it answers a
// read (in 64-byte packets, or deliberately malformed) and how it applies a write.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

// How the printer answers settings requests; the malformed forms let tests see the tool refuse them.
enum class enSimNetReply {
    Normal,
    UnknownItem,   // an extra item 0x4008 after the asked ones
    LengthPastEnd, // the last item's length points one byte past the end
    CutHeader,     // the reply ends inside the last item's header
    None,          // requests are heard, nothing comes back
};

struct stSimNetSettings {
    bool bFirstSet = true;  // which item set this printer's firmware speaks
    bool bStatic = false;
    // Own address, mask, gateway, DNS 1 and 2, WINS 1 and 2.
    std::array<QString, 7> arrAddress = {QStringLiteral("192.168.0.120"), QStringLiteral("255.255.255.0"),
                                         QStringLiteral("192.168.0.1"),   QStringLiteral("192.168.0.1"),
                                         QStringLiteral("0.0.0.0"),       QStringLiteral("0.0.0.0"),
                                         QStringLiteral("0.0.0.0")};
    enSimNetReply enReply = enSimNetReply::Normal;
};

namespace SimNetSettings {

// Names of the seven addresses in commands and listings: ip, mask, gateway, dns1, dns2, wins1, wins2.
const std::array<const char*, 7>& AddressNames();
// The command words of enSimNetReply, in the enumeration's order.
const std::array<const char*, 5>& ReplyNames();

// True when the bytes are a settings request (0xA5 head, group 0xB2, count matching the size).
bool IsSettingsRequest(const QByteArray& baRequest);
bool IsWrite(const QByteArray& baRequest);
// The IDs a read asks for; empty when the read is malformed.
QList<uint16_t> ReadIds(const QByteArray& baRequest);

// The whole reply to a settings request as it goes over the wire; a write is applied to the
// settings first (items of the printer's own set; malformed writes change nothing).
QByteArray Answer(const QByteArray& baRequest, stSimNetSettings& settings);

// "static,192.168.0.120,255.255.255.0,..." for the listing.
QString Describe(const stSimNetSettings& settings);

} // namespace SimNetSettings
