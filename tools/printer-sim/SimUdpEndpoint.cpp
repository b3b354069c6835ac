// UDP datagrams of one simulated network printer.
#include "SimUdpEndpoint.h"

#include "PrinterProtocol.h"

#include <QNetworkDatagram>

#include <algorithm>
#include <array>

namespace {

template <size_t N>
bool Equals(const QByteArray& ba, const std::array<uint8_t, N>& arr)
{
    return size_t(ba.size()) == N && std::equal(arr.begin(), arr.end(), reinterpret_cast<const uint8_t*>(ba.constData()));
}

} // namespace

SimUdpEndpoint::SimUdpEndpoint(std::shared_ptr<SimPrinter> pPrinter, QObject* pParent)
    : QObject(pParent), m_pPrinter(std::move(pPrinter))
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &SimUdpEndpoint::SlotReadDatagrams);
}

bool SimUdpEndpoint::Open(QString& strError)
{
    const QHostAddress address(m_pPrinter->Address());
    // Simulated printers never leave this machine.
    if (address.isNull() || !address.isLoopback()) {
        strError = QStringLiteral("not a loopback address: ") + m_pPrinter->Address();
        return false;
    }
    if (!m_socket.bind(address, PrinterProtocol::c_wUdpPort)) {
        strError = m_socket.errorString();
        return false;
    }
    return true;
}

void SimUdpEndpoint::Close()
{
    m_socket.close();
}

// Every datagram is reported, whether or not the printer answers it: the log shows what the
// wire carried.
void SimUdpEndpoint::SlotReadDatagrams()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram(PrinterProtocol::c_iUdpReplyMaxBytes);
        const QByteArray baData = datagram.data();
        if (Equals(baData, PrinterProtocol::c_arrUdpStatusRequest)) {
            m_pPrinter->NoteStatusRequest();
            if (!m_pPrinter->State().bSilent)
                m_socket.writeDatagram(m_pPrinter->NetworkReply(), datagram.senderAddress(), quint16(datagram.senderPort()));
        } else if (Equals(baData, PrinterProtocol::c_arrUdpCancelRequest)) {
            m_pPrinter->NoteCancel();
        } else {
            m_pPrinter->NoteOther(QStringLiteral("datagram %1").arg(QString::fromLatin1(baData.toHex())));
        }
    }
}
