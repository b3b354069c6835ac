// The printer's UDP requests on port 9300: the status request with its one-datagram reply,
// and the fire-and-forget cancel.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace PrinterUdp {

// Sends the status request and waits up to 2 s for one reply datagram of at least 8 bytes
// from the printer's own address and port; datagrams from anyone else are ignored.
// 0 with baReply filled; -1 no usable IPv4 address, -2 no socket, -3 send failed,
// -4 waiting failed, -5 no reply in time (or a reply too short).
int RequestStatus(const QString& strAddress, uint16_t wPort, QByteArray& baReply);

// Sends the cancel datagram; no reply is awaited.
// 0 sent, -1 no usable IPv4 address, -2 no socket, -3 send failed.
int SendCancel(const QString& strAddress, uint16_t wPort);

} // namespace PrinterUdp
