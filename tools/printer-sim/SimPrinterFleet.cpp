// Bookkeeping of the simulated printers and their transports.
#include "SimPrinterFleet.h"

#include "UsbSimPrinter.h"


SimPrinterFleet::SimPrinterFleet(std::function<void(const QString&)> fnEventSink)
    : m_fnEventSink(std::move(fnEventSink))
{
}

bool SimPrinterFleet::Add(std::shared_ptr<SimPrinter> pPrinter, QString& strError)
{
    if (m_mapMember.count(pPrinter->Name())) {
        strError = QStringLiteral("a printer named %1 exists").arg(pPrinter->Name());
        return false;
    }
    pPrinter->SetEventSink(m_fnEventSink);
    stMember member;
    member.pPrinter = pPrinter;
    if (pPrinter->Transport() == enSimTransport::Udp)
        member.pUdp = std::make_unique<SimUdpEndpoint>(pPrinter);
    if (!Connect(member, strError))
        return false;
    m_listOrder.push_back(pPrinter->Name());
    m_mapMember[pPrinter->Name()] = std::move(member);
    return true;
}

bool SimPrinterFleet::Connect(stMember& member, QString& strError)
{
    if (member.pUdp)
        return member.pUdp->Open(strError);
    if (!m_pUsbBus) {
        m_pUsbBus = std::make_unique<UsbTestbed>();
        // Unplugging the last printer must leave a bus with devices on it, as on a real machine.
        if (m_pUsbBus->IsReady())
            m_pUsbBus->AddDevice(std::make_shared<UsbSimDevice>(UnrelatedUsbDevice()));
    }
    if (!m_pUsbBus->IsReady()) {
        strError = QString::fromStdString(m_pUsbBus->NotReadyReason());
        return false;
    }
    member.strDevNode = m_pUsbBus->AddDevice(std::make_shared<UsbSimPrinter>(member.pPrinter));
    if (member.strDevNode.empty()) {
        strError = QStringLiteral("the simulated USB bus refused the device");
        return false;
    }
    return true;
}

std::shared_ptr<SimPrinter> SimPrinterFleet::Find(const QString& strName) const
{
    auto it = m_mapMember.find(strName);
    return it == m_mapMember.end() ? nullptr : it->second.pPrinter;
}

std::vector<std::shared_ptr<SimPrinter>> SimPrinterFleet::Printers() const
{
    std::vector<std::shared_ptr<SimPrinter>> listPrinter;
    for (const QString& strName : m_listOrder)
        listPrinter.push_back(m_mapMember.at(strName).pPrinter);
    return listPrinter;
}

bool SimPrinterFleet::IsPlugged(const QString& strName) const
{
    auto it = m_mapMember.find(strName);
    if (it == m_mapMember.end())
        return false;
    return it->second.pUdp ? it->second.pUdp->IsOpen() : !it->second.strDevNode.empty();
}

bool SimPrinterFleet::Unplug(const QString& strName, QString& strError)
{
    auto it = m_mapMember.find(strName);
    if (it == m_mapMember.end()) {
        strError = QStringLiteral("no printer named %1").arg(strName);
        return false;
    }
    stMember& member = it->second;
    if (member.pUdp) {
        member.pUdp->Close();
    } else if (!member.strDevNode.empty()) {
        m_pUsbBus->RemoveDevice(member.strDevNode);
        member.strDevNode.clear();
    }
    return true;
}

bool SimPrinterFleet::Plug(const QString& strName, QString& strError)
{
    auto it = m_mapMember.find(strName);
    if (it == m_mapMember.end()) {
        strError = QStringLiteral("no printer named %1").arg(strName);
        return false;
    }
    if (IsPlugged(strName))
        return true;
    return Connect(it->second, strError);
}
