// One simulated printer of the suite's model table: the state it reports, the status record it
// builds from that state, and what it has been asked, whichever transport carries the requests.
#pragma once

#include "ModelTable.h"
#include "SimNetSettings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <mutex>

enum class enSimTransport { Udp, Usb };

// Printer status codes as the printer sends them.
namespace SimStatusCode {
constexpr uint8_t c_byReady = 0x00;
constexpr uint8_t c_byInitializing = 0x01;
constexpr uint8_t c_byBusy = 0x02;
constexpr uint8_t c_byCanceling = 0x03;
constexpr uint8_t c_byPrinting = 0x10;
constexpr uint8_t c_byScanning = 0x11;
constexpr uint8_t c_byCopying = 0x12;
constexpr uint8_t c_byReporting = 0x13;
} // namespace SimStatusCode

// A firmware image as it arrives on bulk OUT 0x01: what came, in which pieces, and how the
// printer is told to behave while it comes.
struct stSimImage {
    static constexpr quint64 c_uFnvOffsetBasis = 0xcbf29ce484222325ULL;
    qint64 iBytes = 0;
    QList<int> listChunk;
    quint64 uFnv1a64 = c_uFnvOffsetBasis;  // FNV-1a 64 of every byte that arrived
    int iDelayPerKiBMs = 0;                // the printer takes its time writing the image
    qint64 iFailAfterBytes = -1;           // bulk OUT fails once this many bytes came; -1 never

    // Forgets what arrived; the printer's behaviour settings stay.
    void Restart()
    {
        iBytes = 0;
        listChunk.clear();
        uFnv1a64 = c_uFnvOffsetBasis;
    }
};

struct stSimPrinterState {
    uint8_t byStatusCode = SimStatusCode::c_byReady;
    QList<uint16_t> listError;
    QList<uint16_t> listWarning;
    QByteArray baFWVersion = "1.00";
    QByteArray baSupplySerialNumber = "C0000001";
    unsigned long dwRemainingToner = 10000;  // hundredths of a percent
    unsigned long dwWasteToner = 0;
    unsigned long dwOPCRotation = 0;
    unsigned long dwNumberOfPages = 0;
    unsigned long dwNumberOfPrint = 0;
    unsigned long dwPrintDotsCount = 0;
    unsigned long dwPrinterNumOfPages = 0;
    unsigned long dwPrinterNumOfPrint = 0;
    // A silent printer hears requests but answers none (turned off, cable pulled on the far side).
    bool bSilent = false;
    // Interface 0 of a USB printer is held by another program (a CUPS backend printing).
    bool bInterfaceHeld = false;
    stSimNetSettings stNet;
    stSimImage stImage;
};

class SimPrinter {
public:
    static constexpr const char* c_szVendorName = "Vorn";

    // strAddress: the loopback address of a network printer; unused for USB.
    SimPrinter(QString strName, enSimTransport enTransport, const stModelEntry& model, QString strSerialNumber,
               QString strAddress = QString());

    const QString& Name() const { return m_strName; }
    enSimTransport Transport() const { return m_enTransport; }
    const QString& TransportName() const { return m_strTransportName; }
    const stModelEntry& Model() const { return m_stModel; }
    const QString& SerialNumber() const { return m_strSerialNumber; }
    const QString& Address() const { return m_strAddress; }

    stSimPrinterState State() const;
    void Update(const std::function<void(stSimPrinterState&)>& fnChange);

    // The whole record with the 7-byte reply head of the network protocol.
    QByteArray NetworkReply() const;
    // The reply to the USB status request: the record without its 7-byte header.
    QByteArray UsbReply() const;

    // Called by the transports; each counts and reports one event line ("status NAME udp").
    void NoteStatusRequest();
    void NoteCancel();
    void NoteOther(const QString& strWhat);
    int StatusRequestCount() const;
    int CancelCount() const;

    // Receives every event line; set before the printer is served. May be called from any thread.
    void SetEventSink(std::function<void(const QString&)> fnSink) { m_fnEventSink = std::move(fnSink); }

private:
    QByteArray Record(const QByteArray& baHeader) const;
    void Report(const QString& strWhat) const;

    const QString m_strName;
    const enSimTransport m_enTransport;
    const QString m_strTransportName;
    const stModelEntry m_stModel;
    const QString m_strSerialNumber;
    const QString m_strAddress;
    std::function<void(const QString&)> m_fnEventSink;

    // Guards the state and the counters: the USB side runs on umockdev's thread.
    mutable std::mutex m_mutex;
    stSimPrinterState m_stState;
    int m_iStatusRequests = 0;
    int m_iCancels = 0;
};

// The model row with that code, or nullptr.
const stModelEntry* FindModel(const QString& strModelCode);
