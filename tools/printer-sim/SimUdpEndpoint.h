// The network face of a simulated printer: a UDP socket on its loopback address and the
// printer port, answering status requests and noting cancels.
#pragma once

#include "SimPrinter.h"

#include <QObject>
#include <QUdpSocket>

#include <memory>

class SimUdpEndpoint : public QObject {
    Q_OBJECT
public:
    explicit SimUdpEndpoint(std::shared_ptr<SimPrinter> pPrinter, QObject* pParent = nullptr);

    // Binds the socket; false with the reason when the address cannot be taken.
    bool Open(QString& strError);
    void Close();
    bool IsOpen() const { return m_socket.state() == QAbstractSocket::BoundState; }

private slots:
    void SlotReadDatagrams();

private:
    const std::shared_ptr<SimPrinter> m_pPrinter;
    QUdpSocket m_socket;
};
