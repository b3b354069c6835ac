// UDP exchanges with network printers. The socket is connected to the printer, so the kernel
// drops datagrams from any other sender and a stray packet cannot pose as a status record.
#include "PrinterUdp.h"

#include "PrinterProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>

namespace {

// Closes the socket on every path out.
class UdpSocket {
public:
    UdpSocket() : m_iFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~UdpSocket()
    {
        if (m_iFd >= 0)
            ::close(m_iFd);
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    int Fd() const { return m_iFd; }

private:
    int m_iFd;
};

bool MakeDestination(const QString& strAddress, uint16_t wPort, sockaddr_in& addr)
{
    addr = sockaddr_in{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(wPort);
    return !strAddress.isEmpty() && ::inet_pton(AF_INET, strAddress.toLatin1().constData(), &addr.sin_addr) == 1;
}

// Connects the socket to the printer and sends one whole request: 0, or -1 for an address
// that is not a dotted IPv4 address, -2 without a socket, -3 when the request did not go out.
template <size_t N>
int SendRequest(const UdpSocket& socket, const QString& strAddress, uint16_t wPort,
                const std::array<uint8_t, N>& arrRequest)
{
    sockaddr_in addr;
    if (!MakeDestination(strAddress, wPort, addr))
        return -1;
    if (socket.Fd() < 0)
        return -2;
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0
        || ::send(socket.Fd(), arrRequest.data(), N, MSG_NOSIGNAL) != ssize_t(N))
        return -3;
    return 0;
}

} // namespace

namespace PrinterUdp {

int RequestStatus(const QString& strAddress, uint16_t wPort, QByteArray& baReply)
{
    UdpSocket socket;
    if (const int iSent = SendRequest(socket, strAddress, wPort, PrinterProtocol::c_arrUdpStatusRequest))
        return iSent;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(PrinterProtocol::c_iUdpReceiveTimeoutMs);
    QByteArray baBuffer(PrinterProtocol::c_iUdpReplyMaxBytes, '\0');
    for (;;) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0)
            return -5;
        pollfd pfd{socket.Fd(), POLLIN, 0};
        const int iReady = ::poll(&pfd, 1, int(remaining.count()));
        if (iReady < 0 && errno == EINTR)
            continue;
        if (iReady < 0)
            return -4;
        if (iReady == 0)
            return -5;
        const ssize_t iReceived = ::recv(socket.Fd(), baBuffer.data(), baBuffer.size(), MSG_DONTWAIT);
        if (iReceived < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // Refused (nobody listens) or any other error: the printer did not answer.
        if (iReceived < PrinterProtocol::c_iUdpReplyMinBytes)
            return -5;
        baReply = baBuffer.left(int(iReceived));
        return 0;
    }
}

int SendCancel(const QString& strAddress, uint16_t wPort)
{
    UdpSocket socket;
    return SendRequest(socket, strAddress, wPort, PrinterProtocol::c_arrUdpCancelRequest);
}

} // namespace PrinterUdp
