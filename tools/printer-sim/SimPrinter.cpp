// State and status record of a simulated printer.
#include "SimPrinter.h"

#include "PrinterProtocol.h"
#include "UtilPrinterStatus.h"

namespace {

// Counter values go out as 4-byte numbers, wide enough for every counter the printer keeps.
constexpr int c_iCounterBytes = 4;
constexpr uint8_t c_bySupplyTypeStandard = 0;

// The 7-byte head of a status reply, in the request framing:
//   0xA5 | count of the bytes after the count (2, big-endian) | 0x50 0xE0 | group | operation
QByteArray NetworkReplyHead(int iRecordBytesAfterHead)
{
    const int iCountAfterField = iRecordBytesAfterHead + PrinterProtocol::c_iRecordHeaderBytes - 3;
    QByteArray ba;
    ba.append(char(PrinterProtocol::c_byRequestStart));
    ba.append(char((iCountAfterField >> 8) & 0xFF));
    ba.append(char(iCountAfterField & 0xFF));
    ba.append(char(PrinterProtocol::c_byRequestFixed1));
    ba.append(char(PrinterProtocol::c_byRequestFixed2));
    ba.append(char(PrinterProtocol::c_byGroupStatus));
    ba.append(char(PrinterProtocol::c_byOperationStatus));
    return ba;
}

} // namespace

SimPrinter::SimPrinter(QString strName, enSimTransport enTransport, const stModelEntry& model, QString strSerialNumber,
                       QString strAddress)
    : m_strName(std::move(strName))
    , m_enTransport(enTransport)
    , m_strTransportName(enTransport == enSimTransport::Udp ? QStringLiteral("udp") : QStringLiteral("usb"))
    , m_stModel(model)
    , m_strSerialNumber(std::move(strSerialNumber))
    , m_strAddress(std::move(strAddress))
{
}

stSimPrinterState SimPrinter::State() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stState;
}

void SimPrinter::Update(const std::function<void(stSimPrinterState&)>& fnChange)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    fnChange(m_stState);
}

QByteArray SimPrinter::Record(const QByteArray& baHeader) const
{
    const stSimPrinterState state = State();
    stStatusRecordFields fields;
    fields.baHeader = baHeader;
    fields.baVenderName = c_szVendorName;
    fields.baProductName = m_stModel.strModelCode.toLatin1();
    fields.baPrinterSerialNumber = m_strSerialNumber.toLatin1();
    fields.byStatusCode = state.byStatusCode;
    fields.baFWVersion = state.baFWVersion;
    fields.listErrorCode = state.listError;
    fields.listWarningCode = state.listWarning;
    fields.listSupply = {
        stSupplyItem{SUPPLY_SERIAL_NUMBER, state.baSupplySerialNumber},
        stSupplyItem{SUPPLY_TYPE, QByteArray(1, char(c_bySupplyTypeStandard))},
        MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, state.dwRemainingToner, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_WASTE_TONER, state.dwWasteToner, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_OPC_ROTATION, state.dwOPCRotation, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_NUMBER_OF_PAGES, state.dwNumberOfPages, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_NUMBER_OF_PRINT, state.dwNumberOfPrint, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_PRINT_DOTS_COUNT, state.dwPrintDotsCount, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_PRINTER_NUM_OF_PAGES, state.dwPrinterNumOfPages, c_iCounterBytes),
        MakeNumberSupplyItem(SUPPLY_PRINTER_NUM_OF_PRINT, state.dwPrinterNumOfPrint, c_iCounterBytes),
    };
    return EncodeStatusRecord(fields);
}

QByteArray SimPrinter::NetworkReply() const
{
    const QByteArray baBody = Record(QByteArray(PrinterProtocol::c_iRecordHeaderBytes, '\0'))
                                  .mid(PrinterProtocol::c_iRecordHeaderBytes);
    return NetworkReplyHead(baBody.size()) + baBody;
}

QByteArray SimPrinter::UsbReply() const
{
    return Record(QByteArray(PrinterProtocol::c_iRecordHeaderBytes, '\0')).mid(PrinterProtocol::c_iRecordHeaderBytes);
}

void SimPrinter::NoteStatusRequest()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_iStatusRequests;
    }
    Report(QStringLiteral("status"));
}

void SimPrinter::NoteCancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_iCancels;
    }
    Report(QStringLiteral("cancel"));
}

void SimPrinter::NoteOther(const QString& strWhat)
{
    Report(strWhat);
}

int SimPrinter::StatusRequestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iStatusRequests;
}

int SimPrinter::CancelCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iCancels;
}

// Event lines read "WHAT NAME TRANSPORT [DETAIL...]", so tests can count them with one match.
void SimPrinter::Report(const QString& strWhat) const
{
    if (!m_fnEventSink)
        return;
    const int iSpace = strWhat.indexOf(QLatin1Char(' '));
    const QString strVerb = iSpace < 0 ? strWhat : strWhat.left(iSpace);
    const QString strDetail = iSpace < 0 ? QString() : strWhat.mid(iSpace);
    m_fnEventSink(strVerb + QLatin1Char(' ') + m_strName + QLatin1Char(' ') + m_strTransportName + strDetail);
}

const stModelEntry* FindModel(const QString& strModelCode)
{
    for (const stModelEntry& model : c_stModelInfoList) {
        if (model.strModelCode == strModelCode)
            return &model;
    }
    return nullptr;
}
