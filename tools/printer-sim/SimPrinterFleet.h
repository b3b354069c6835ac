// The printers one simulator run plays, with their transports: UDP endpoints on loopback
// addresses and devices on the simulated USB bus of this process.
#pragma once

#include "SimPrinter.h"
#include "SimUdpEndpoint.h"
#include "UsbTestbed.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class SimPrinterFleet {
public:
    explicit SimPrinterFleet(std::function<void(const QString&)> fnEventSink);

    // Adds and plugs in a printer; false with the reason on failure (name taken, address busy,
    // no USB bus in this process).
    bool Add(std::shared_ptr<SimPrinter> pPrinter, QString& strError);
    std::shared_ptr<SimPrinter> Find(const QString& strName) const;
    std::vector<std::shared_ptr<SimPrinter>> Printers() const;

    // A USB printer leaves or rejoins the bus; a network printer closes or reopens its port.
    bool Unplug(const QString& strName, QString& strError);
    bool Plug(const QString& strName, QString& strError);
    bool IsPlugged(const QString& strName) const;

private:
    struct stMember {
        std::shared_ptr<SimPrinter> pPrinter;
        std::unique_ptr<SimUdpEndpoint> pUdp;
        std::string strDevNode;  // empty while a USB printer is unplugged
    };

    bool Connect(stMember& member, QString& strError);

    const std::function<void(const QString&)> m_fnEventSink;
    // Created with the first USB printer; declared first so it outlives the devices it serves.
    std::unique_ptr<UsbTestbed> m_pUsbBus;
    std::map<QString, stMember> m_mapMember;
    std::vector<QString> m_listOrder;
};
