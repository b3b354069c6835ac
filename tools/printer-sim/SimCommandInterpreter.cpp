// Parses and runs simulator commands.
#include "SimCommandInterpreter.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace {

constexpr const char* c_szOk = "ok";
constexpr const char* c_szErrorPrefix = "error: ";

const std::array<std::pair<const char*, uint8_t>, 8> c_arrStatusName = {{
    {"ready", SimStatusCode::c_byReady},
    {"initializing", SimStatusCode::c_byInitializing},
    {"busy", SimStatusCode::c_byBusy},
    {"canceling", SimStatusCode::c_byCanceling},
    {"printing", SimStatusCode::c_byPrinting},
    {"scanning", SimStatusCode::c_byScanning},
    {"copying", SimStatusCode::c_byCopying},
    {"reporting", SimStatusCode::c_byReporting},
}};

// The counters a command can set, by the name the command language gives them.
const std::array<std::pair<const char*, unsigned long stSimPrinterState::*>, 8> c_arrCounter = {{
    {"toner", &stSimPrinterState::dwRemainingToner},
    {"waste", &stSimPrinterState::dwWasteToner},
    {"opc", &stSimPrinterState::dwOPCRotation},
    {"pages", &stSimPrinterState::dwNumberOfPages},
    {"prints", &stSimPrinterState::dwNumberOfPrint},
    {"dots", &stSimPrinterState::dwPrintDotsCount},
    {"printer-pages", &stSimPrinterState::dwPrinterNumOfPages},
    {"printer-prints", &stSimPrinterState::dwPrinterNumOfPrint},
}};

// Decimal, or hexadecimal with "0x".
bool ParseNumber(const QString& strText, unsigned long ulMax, unsigned long& ulValue)
{
    bool bOk = false;
    const bool bHex = strText.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    ulValue = bHex ? strText.mid(2).toULong(&bOk, 16) : strText.toULong(&bOk, 10);
    return bOk && ulValue <= ulMax;
}

QString StatusName(uint8_t byCode)
{
    for (const auto& entry : c_arrStatusName) {
        if (entry.second == byCode)
            return QString::fromLatin1(entry.first);
    }
    return QStringLiteral("0x%1").arg(byCode, 2, 16, QLatin1Char('0'));
}

QString CodeList(const QList<uint16_t>& listCode)
{
    QStringList listText;
    for (uint16_t wCode : listCode)
        listText << QStringLiteral("0x%1").arg(wCode, 4, 16, QLatin1Char('0'));
    return listText.join(QLatin1Char(','));
}

QString Error(const QString& strReason)
{
    return QString::fromLatin1(c_szErrorPrefix) + strReason;
}

} // namespace

SimCommandInterpreter::SimCommandInterpreter(SimPrinterFleet& fleet, std::function<void()> fnQuit)
    : m_fleet(fleet), m_fnQuit(std::move(fnQuit))
{
}

const char* SimCommandInterpreter::HelpText()
{
    return "add NAME udp ADDRESS MODEL [SERIAL]   a network printer on a loopback address\n"
           "add NAME usb MODEL SERIAL             a printer on the simulated USB bus\n"
           "printers                              one line per printer with its state\n"
           "set NAME status ready|initializing|busy|canceling|printing|scanning|copying|reporting|CODE\n"
           "set NAME toner|waste|opc|pages|prints|dots|printer-pages|printer-prints NUMBER\n"
           "set NAME firmware|supply-serial TEXT\n"
           "counters NAME FIELD=NUMBER...         several counters at once (fields as for set)\n"
           "error add|remove NAME CODE            e.g. error add P1 0x1106\n"
           "warning add|remove NAME CODE          e.g. warning add P1 0x110D\n"
           "clear NAME                            no errors, no warnings\n"
           "silent NAME on|off                    hear requests but answer none\n"
           "held NAME on|off                      USB: another program holds interface 0, claims fail\n"
           "unplug NAME / plug NAME               leave or rejoin the bus (USB) or the network (UDP)\n"
           "net NAME source dhcp|static           USB network settings the printer reports and takes\n"
           "net NAME ip|mask|gateway|dns1|dns2|wins1|wins2 A.B.C.D\n"
           "net NAME set first|second             item set the firmware speaks (0x4000.. or 0x4010..)\n"
           "net NAME reply normal|unknown-item|past-end|cut|none   how settings reads are answered\n"
           "image NAME delay-per-kib MS           firmware image: take MS milliseconds per KiB\n"
           "image NAME fail-after BYTES|off       firmware image: bulk OUT fails once BYTES arrived\n"
           "image NAME clear                      forget the image received so far\n"
           "help\n"
           "quit";
}

bool SimCommandInterpreter::IsSuccess(const QStringList& listReply)
{
    return !listReply.isEmpty() && listReply.last() == QLatin1String(c_szOk);
}

QStringList SimCommandInterpreter::Execute(const QString& strLine)
{
    const QString strTrimmed = strLine.trimmed();
    if (strTrimmed.isEmpty() || strTrimmed.startsWith(QLatin1Char('#')))
        return {QString::fromLatin1(c_szOk)};
    const QStringList listWord = strTrimmed.split(QRegularExpression(QStringLiteral("\\s+")));
    const QString& strVerb = listWord.first();
    QString strResult;
    if (strVerb == QLatin1String("add")) {
        strResult = Add(listWord);
    } else if (strVerb == QLatin1String("printers")) {
        return Listing() << QString::fromLatin1(c_szOk);
    } else if (strVerb == QLatin1String("set")) {
        strResult = Set(listWord);
    } else if (strVerb == QLatin1String("counters")) {
        strResult = Counters(listWord);
    } else if (strVerb == QLatin1String("error") || strVerb == QLatin1String("warning")) {
        strResult = Condition(listWord);
    } else if (strVerb == QLatin1String("clear")) {
        strResult = Clear(listWord);
    } else if (strVerb == QLatin1String("silent")) {
        strResult = Switch(listWord, &stSimPrinterState::bSilent);
    } else if (strVerb == QLatin1String("held")) {
        strResult = Switch(listWord, &stSimPrinterState::bInterfaceHeld);
    } else if (strVerb == QLatin1String("unplug") || strVerb == QLatin1String("plug")) {
        strResult = Plug(listWord, strVerb == QLatin1String("plug"));
    } else if (strVerb == QLatin1String("net")) {
        strResult = Net(listWord);
    } else if (strVerb == QLatin1String("image")) {
        strResult = Image(listWord);
    } else if (strVerb == QLatin1String("help")) {
        return QString::fromLatin1(HelpText()).split(QLatin1Char('\n')) << QString::fromLatin1(c_szOk);
    } else if (strVerb == QLatin1String("quit")) {
        m_fnQuit();
    } else {
        strResult = Error(QStringLiteral("unknown command %1 (try help)").arg(strVerb));
    }
    return {strResult.isEmpty() ? QString::fromLatin1(c_szOk) : strResult};
}

std::shared_ptr<SimPrinter> SimCommandInterpreter::Printer(const QString& strName, QString& strError) const
{
    std::shared_ptr<SimPrinter> pPrinter = m_fleet.Find(strName);
    if (!pPrinter)
        strError = Error(QStringLiteral("no printer named %1").arg(strName));
    return pPrinter;
}

QString SimCommandInterpreter::Add(const QStringList& listWord)
{
    if (listWord.size() < 4)
        return Error(QStringLiteral("add NAME udp ADDRESS MODEL [SERIAL] | add NAME usb MODEL SERIAL"));
    const QString& strName = listWord[1];
    const QString& strTransport = listWord[2];
    std::shared_ptr<SimPrinter> pPrinter;
    if (strTransport == QLatin1String("udp") && (listWord.size() == 5 || listWord.size() == 6)) {
        const stModelEntry* pModel = FindModel(listWord[4]);
        if (!pModel)
            return Error(QStringLiteral("unknown model %1").arg(listWord[4]));
        const QString strSerial = listWord.size() == 6 ? listWord[5] : QStringLiteral("NET") + strName;
        pPrinter = std::make_shared<SimPrinter>(strName, enSimTransport::Udp, *pModel, strSerial, listWord[3]);
    } else if (strTransport == QLatin1String("usb") && listWord.size() == 5) {
        const stModelEntry* pModel = FindModel(listWord[3]);
        if (!pModel)
            return Error(QStringLiteral("unknown model %1").arg(listWord[3]));
        pPrinter = std::make_shared<SimPrinter>(strName, enSimTransport::Usb, *pModel, listWord[4]);
    } else {
        return Error(QStringLiteral("add NAME udp ADDRESS MODEL [SERIAL] | add NAME usb MODEL SERIAL"));
    }
    QString strError;
    return m_fleet.Add(pPrinter, strError) ? QString() : Error(strError);
}

QString SimCommandInterpreter::Set(const QStringList& listWord)
{
    if (listWord.size() != 4)
        return Error(QStringLiteral("set NAME FIELD VALUE"));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[1], strError);
    return pPrinter ? SetField(*pPrinter, listWord[2], listWord[3]) : strError;
}

QString SimCommandInterpreter::SetField(SimPrinter& printer, const QString& strField, const QString& strValue)
{
    unsigned long ulValue = 0;
    if (strField == QLatin1String("status")) {
        for (const auto& entry : c_arrStatusName) {
            if (strValue == QLatin1String(entry.first)) {
                printer.Update([&](stSimPrinterState& state) { state.byStatusCode = entry.second; });
                return {};
            }
        }
        if (!ParseNumber(strValue, 0xFF, ulValue))
            return Error(QStringLiteral("unknown status %1").arg(strValue));
        printer.Update([&](stSimPrinterState& state) { state.byStatusCode = uint8_t(ulValue); });
        return {};
    }
    if (strField == QLatin1String("firmware") || strField == QLatin1String("supply-serial")) {
        const QByteArray baText = strValue.toLatin1();
        const bool bFirmware = strField == QLatin1String("firmware");
        printer.Update([&](stSimPrinterState& state) {
            (bFirmware ? state.baFWVersion : state.baSupplySerialNumber) = baText;
        });
        return {};
    }
    for (const auto& entry : c_arrCounter) {
        if (strField != QLatin1String(entry.first))
            continue;
        if (!ParseNumber(strValue, 0xFFFFFFFFUL, ulValue))
            return Error(QStringLiteral("not a 32-bit number: %1").arg(strValue));
        printer.Update([&](stSimPrinterState& state) { state.*(entry.second) = ulValue; });
        return {};
    }
    return Error(QStringLiteral("unknown field %1").arg(strField));
}

QString SimCommandInterpreter::Counters(const QStringList& listWord)
{
    if (listWord.size() < 3)
        return Error(QStringLiteral("counters NAME FIELD=NUMBER..."));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[1], strError);
    if (!pPrinter)
        return strError;
    for (int i = 2; i < listWord.size(); ++i) {
        const int iEquals = listWord[i].indexOf(QLatin1Char('='));
        if (iEquals <= 0)
            return Error(QStringLiteral("expected FIELD=NUMBER, got %1").arg(listWord[i]));
        const QString strResult = SetField(*pPrinter, listWord[i].left(iEquals), listWord[i].mid(iEquals + 1));
        if (!strResult.isEmpty())
            return strResult;
    }
    return {};
}

QString SimCommandInterpreter::Condition(const QStringList& listWord)
{
    const bool bError = listWord[0] == QLatin1String("error");
    if (listWord.size() != 4 || (listWord[1] != QLatin1String("add") && listWord[1] != QLatin1String("remove")))
        return Error(QStringLiteral("%1 add|remove NAME CODE").arg(listWord[0]));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[2], strError);
    if (!pPrinter)
        return strError;
    unsigned long ulCode = 0;
    if (!ParseNumber(listWord[3], 0xFFFF, ulCode))
        return Error(QStringLiteral("not a 16-bit code: %1").arg(listWord[3]));
    const bool bAdd = listWord[1] == QLatin1String("add");
    pPrinter->Update([&](stSimPrinterState& state) {
        QList<uint16_t>& listCode = bError ? state.listError : state.listWarning;
        if (bAdd)
            listCode.append(uint16_t(ulCode));
        else
            listCode.removeAll(uint16_t(ulCode));
    });
    return {};
}

QString SimCommandInterpreter::Clear(const QStringList& listWord)
{
    if (listWord.size() != 2)
        return Error(QStringLiteral("clear NAME"));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[1], strError);
    if (!pPrinter)
        return strError;
    pPrinter->Update([](stSimPrinterState& state) {
        state.listError.clear();
        state.listWarning.clear();
    });
    return {};
}

// "silent NAME on|off" and "held NAME on|off".
QString SimCommandInterpreter::Switch(const QStringList& listWord, bool stSimPrinterState::*pbFlag)
{
    if (listWord.size() != 3 || (listWord[2] != QLatin1String("on") && listWord[2] != QLatin1String("off")))
        return Error(QStringLiteral("%1 NAME on|off").arg(listWord[0]));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[1], strError);
    if (!pPrinter)
        return strError;
    const bool bOn = listWord[2] == QLatin1String("on");
    pPrinter->Update([&](stSimPrinterState& state) { state.*pbFlag = bOn; });
    return {};
}

QString SimCommandInterpreter::Plug(const QStringList& listWord, bool bPlug)
{
    if (listWord.size() != 2)
        return Error(QStringLiteral("%1 NAME").arg(listWord[0]));
    QString strError;
    const bool bDone = bPlug ? m_fleet.Plug(listWord[1], strError) : m_fleet.Unplug(listWord[1], strError);
    return bDone ? QString() : Error(strError);
}

QString SimCommandInterpreter::Net(const QStringList& listWord)
{
    if (listWord.size() != 4)
        return Error(QStringLiteral("net NAME source|ip|mask|gateway|dns1|dns2|wins1|wins2|set|reply VALUE"));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[1], strError);
    if (!pPrinter)
        return strError;
    const QString& strField = listWord[2];
    const QString& strValue = listWord[3];
    if (strField == QLatin1String("source") && (strValue == QLatin1String("dhcp") || strValue == QLatin1String("static"))) {
        pPrinter->Update([&](stSimPrinterState& state) { state.stNet.bStatic = strValue == QLatin1String("static"); });
        return {};
    }
    if (strField == QLatin1String("set") && (strValue == QLatin1String("first") || strValue == QLatin1String("second"))) {
        pPrinter->Update([&](stSimPrinterState& state) { state.stNet.bFirstSet = strValue == QLatin1String("first"); });
        return {};
    }
    if (strField == QLatin1String("reply")) {
        const auto& arrName = SimNetSettings::ReplyNames();
        for (size_t i = 0; i < arrName.size(); ++i) {
            if (strValue == QLatin1String(arrName[i])) {
                pPrinter->Update([&](stSimPrinterState& state) { state.stNet.enReply = enSimNetReply(i); });
                return {};
            }
        }
        return Error(QStringLiteral("unknown reply %1").arg(strValue));
    }
    const auto& arrAddressName = SimNetSettings::AddressNames();
    for (size_t i = 0; i < arrAddressName.size(); ++i) {
        if (strField != QLatin1String(arrAddressName[i]))
            continue;
        const QStringList listOctet = strValue.split(QLatin1Char('.'));
        unsigned long ulOctet = 0;
        for (const QString& strOctet : listOctet) {
            if (listOctet.size() != 4 || !ParseNumber(strOctet, 0xFF, ulOctet) || strOctet.startsWith(QLatin1String("0x")))
                return Error(QStringLiteral("not an IPv4 address: %1").arg(strValue));
        }
        pPrinter->Update([&](stSimPrinterState& state) { state.stNet.arrAddress[i] = strValue; });
        return {};
    }
    return Error(QStringLiteral("unknown net field %1 or value %2").arg(strField, strValue));
}

QString SimCommandInterpreter::Image(const QStringList& listWord)
{
    const bool bClear = listWord.size() == 3 && listWord[2] == QLatin1String("clear");
    if (listWord.size() != 4 && !bClear)
        return Error(QStringLiteral("image NAME delay-per-kib MS | fail-after BYTES|off | clear"));
    QString strError;
    std::shared_ptr<SimPrinter> pPrinter = Printer(listWord[1], strError);
    if (!pPrinter)
        return strError;
    if (bClear) {
        pPrinter->Update([](stSimPrinterState& state) { state.stImage.Restart(); });
        return {};
    }
    unsigned long ulValue = 0;
    if (listWord[2] == QLatin1String("delay-per-kib") && ParseNumber(listWord[3], 60000, ulValue)) {
        pPrinter->Update([&](stSimPrinterState& state) { state.stImage.iDelayPerKiBMs = int(ulValue); });
        return {};
    }
    if (listWord[2] == QLatin1String("fail-after")
        && (listWord[3] == QLatin1String("off") || ParseNumber(listWord[3], 0xFFFFFFFFUL, ulValue))) {
        const qint64 iLimit = listWord[3] == QLatin1String("off") ? -1 : qint64(ulValue);
        pPrinter->Update([&](stSimPrinterState& state) { state.stImage.iFailAfterBytes = iLimit; });
        return {};
    }
    return Error(QStringLiteral("image NAME delay-per-kib MS | fail-after BYTES|off | clear"));
}

QStringList SimCommandInterpreter::Listing() const
{
    QStringList listLine;
    for (const std::shared_ptr<SimPrinter>& pPrinter : m_fleet.Printers())
        listLine << PrinterLine(*pPrinter);
    return listLine;
}

QString SimCommandInterpreter::PrinterLine(const SimPrinter& printer) const
{
    const stSimPrinterState state = printer.State();
    QStringList listField{printer.Name(), printer.TransportName()};
    if (printer.Transport() == enSimTransport::Udp)
        listField << printer.Address();
    listField << printer.Model().strModelCode << QStringLiteral("serial=") + printer.SerialNumber()
              << QStringLiteral("status=") + StatusName(state.byStatusCode)
              << QStringLiteral("errors=") + CodeList(state.listError)
              << QStringLiteral("warnings=") + CodeList(state.listWarning);
    for (const auto& entry : c_arrCounter)
        listField << QString::fromLatin1(entry.first) + QLatin1Char('=') + QString::number(state.*(entry.second));
    listField << QStringLiteral("silent=") + (state.bSilent ? QStringLiteral("on") : QStringLiteral("off"))
              << QStringLiteral("held=") + (state.bInterfaceHeld ? QStringLiteral("on") : QStringLiteral("off"))
              << QStringLiteral("plugged=") + (m_fleet.IsPlugged(printer.Name()) ? QStringLiteral("yes") : QStringLiteral("no"))
              << QStringLiteral("requests=%1").arg(printer.StatusRequestCount())
              << QStringLiteral("cancels=%1").arg(printer.CancelCount());
    if (printer.Transport() == enSimTransport::Usb) {
        QStringList listChunk;
        for (int iChunk : state.stImage.listChunk)
            listChunk << QString::number(iChunk);
        listField << QStringLiteral("net=") + SimNetSettings::Describe(state.stNet)
                  << QStringLiteral("net-set=") + (state.stNet.bFirstSet ? QStringLiteral("first") : QStringLiteral("second"))
                  << QStringLiteral("net-reply=") + QString::fromLatin1(SimNetSettings::ReplyNames()[size_t(state.stNet.enReply)])
                  << QStringLiteral("image=%1").arg(state.stImage.iBytes)
                  << QStringLiteral("chunks=") + listChunk.join(QLatin1Char(','))
                  << QStringLiteral("fnv1a64=%1").arg(state.stImage.uFnv1a64, 16, 16, QLatin1Char('0'))
                  << QStringLiteral("delay-per-kib=%1").arg(state.stImage.iDelayPerKiBMs)
                  << QStringLiteral("fail-after=") + (state.stImage.iFailAfterBytes < 0 ? QStringLiteral("off")
                                                      : QString::number(state.stImage.iFailAfterBytes));
    }
    return listField.join(QLatin1Char(' '));
}
