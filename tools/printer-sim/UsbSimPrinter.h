// A simulated printer on the simulated USB bus: the model's vendor and product id, its serial
// number, and a printer-class interface 0 that answers the status and cancel class requests,
// network-settings requests on its bulk pipe, and takes firmware images on bulk OUT 0x01.
#pragma once

#include "SimPrinter.h"
#include "UsbSimDevice.h"

#include <atomic>
#include <memory>
#include <mutex>

class UsbSimPrinter : public UsbSimDevice {
public:
    static constexpr uint8_t c_byBulkInEndpoint = 0x81;

    // bKernelDriverBound: the kernel's printer driver holds the interface, as on a desktop where
    // the printer was just plugged in.
    explicit UsbSimPrinter(std::shared_ptr<SimPrinter> pPrinter, bool bKernelDriverBound = false);

    SimPrinter& Printer() const { return *m_pPrinter; }

    // Status (0xA1/0x33): the current record without its header. Cancel (0xA1/0x34): counted,
    // no data. A silent printer fails both with a protocol error.
    int HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData) override;
    // Refused with EBUSY while the state says another program holds the interface. A claim
    // starts a new exchange: firmware data after it is a new image.
    int HandleClaimInterface(unsigned uInterface) override;
    // A settings request is answered on bulk IN; any other data is a piece of a firmware image.
    int HandleBulkOut(uint8_t byEndpoint, const std::vector<uint8_t>& vecData) override;
    // The pending settings reply, whole; nothing (the read waits) when there is none.
    int HandleBulkIn(uint8_t byEndpoint, std::vector<uint8_t>& vecData, size_t uMaxLength) override;

private:
    void SettingsRequest(const QByteArray& baRequest);
    int ImageChunk(const std::vector<uint8_t>& vecData);

    const std::shared_ptr<SimPrinter> m_pPrinter;
    std::atomic<bool> m_bNewExchange{true};
    // Guards the reply waiting for the next bulk IN; handlers run on umockdev's thread.
    std::mutex m_mutexReply;
    QByteArray m_baPendingReply;
};
