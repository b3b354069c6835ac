// Texts come from the tables the status monitor shows, so the console and the tray always name
// a condition alike.
#include "StatusReportFormat.h"

#include "PrinterStateText.h"
#include "ServiceHeartbeat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

const QString c_strIndent = QStringLiteral("  ");

qint64 NonNegative(qint64 iSecs)
{
    return iSecs < 0 ? 0 : iSecs;
}

QString FormatAge(qint64 iSecs)
{
    return QStringLiteral("%1 s old").arg(NonNegative(iSecs));
}

QString FormatConnection(const stPrinterInfo& info, enLanguage language)
{
    if (language == LANGUAGE_CHINESE || info.iConnectType == CONNECT_USB)
        return FormatConnectType(info);
    return QStringLiteral("network (%1)").arg(info.strPort);
}

QString FormatConditions(const QList<enErrorStatus>& listCondition, enLanguage language)
{
    if (listCondition.isEmpty())
        return QStringLiteral("none");
    QStringList listText;
    for (enErrorStatus condition : listCondition)
        listText << GetErrorDescText(condition, language);
    return listText.join(QStringLiteral("; "));
}

QString FormatService(const stStatusReport& report)
{
    if (!report.bHeartbeatFound)
        return QStringLiteral("service: not running (no heartbeat in %1)").arg(report.strHeartbeatFile);
    if (!report.IsServiceAlive())
        return QStringLiteral("service: not responding (heartbeat %1; stale at %2 s)")
            .arg(FormatAge(report.iHeartbeatAgeSecs))
            .arg(ServiceHeartbeat::c_iStaleSecs);
    return QStringLiteral("service: running (heartbeat %1)").arg(FormatAge(report.iHeartbeatAgeSecs));
}

QJsonObject TextObject(const QString& strEnglish, const QString& strChinese)
{
    return QJsonObject{{QStringLiteral("en"), strEnglish}, {QStringLiteral("zh"), strChinese}};
}

QJsonArray ConditionArray(const QList<enErrorStatus>& listCondition)
{
    QJsonArray array;
    for (enErrorStatus condition : listCondition)
        array.append(QJsonObject{
            {QStringLiteral("code"), int(condition)},
            {QStringLiteral("text"), TextObject(GetErrorDescText(condition, LANGUAGE_ENGLISH),
                                                GetErrorDescText(condition, LANGUAGE_CHINESE))}});
    return array;
}

QJsonValue OptionalSeconds(bool bKnown, qint64 iSecs)
{
    return bKnown ? QJsonValue(double(NonNegative(iSecs))) : QJsonValue(QJsonValue::Null);
}

QJsonObject PrinterObject(const stPrinterReport& printer)
{
    const stPrinterInfo& info = printer.stInfo;
    const stPrinterState& state = printer.stState;
    return QJsonObject{
        {QStringLiteral("name"), info.strName},
        {QStringLiteral("model"), info.strModel},
        {QStringLiteral("connection"), info.iConnectType == CONNECT_USB ? QStringLiteral("usb") : QStringLiteral("network")},
        {QStringLiteral("port"), info.strPort},
        {QStringLiteral("uri"), info.strURI},
        {QStringLiteral("online"), printer.bHasStatus},
        {QStringLiteral("state"), QJsonObject{
            {QStringLiteral("code"), int(state.enCurrentStatus)},
            {QStringLiteral("text"), TextObject(GetStatusText(state.enCurrentStatus, LANGUAGE_ENGLISH),
                                                GetStatusText(state.enCurrentStatus, LANGUAGE_CHINESE))}}},
        {QStringLiteral("summary"), TextObject(DescribePrinterState(state, LANGUAGE_ENGLISH).strStatusText,
                                               DescribePrinterState(state, LANGUAGE_CHINESE).strStatusText)},
        {QStringLiteral("toner_percent"),
         printer.bHasStatus ? QJsonValue(state.dwRemainingToner / 100.0) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("errors"), ConditionArray(state.listError)},
        {QStringLiteral("warnings"), ConditionArray(state.listWarning)},
        {QStringLiteral("status_file_age_seconds"), OptionalSeconds(printer.bHasStatus, printer.iStatusAgeSecs)},
    };
}

} // namespace

QString FormatStatusText(const stStatusReport& report, enLanguage language)
{
    QStringList listLine;
    listLine << FormatService(report);
    if (report.listPrinter.isEmpty())
        listLine << (report.bPrinterListFound ? QStringLiteral("no printers of the suite in CUPS")
                                              : QStringLiteral("no printer list published yet"));
    for (const stPrinterReport& printer : report.listPrinter) {
        const stPrinterInfo& info = printer.stInfo;
        const stPrinterState& state = printer.stState;
        listLine << QString();
        listLine << QStringLiteral("%1 (%2)").arg(info.strName, info.strModel);
        listLine << c_strIndent + QStringLiteral("connection:  ") + FormatConnection(info, language);
        listLine << c_strIndent + QStringLiteral("state:       ") + DescribePrinterState(state, language).strStatusText;
        listLine << c_strIndent + QStringLiteral("toner:       ")
                        + (printer.bHasStatus ? FormatRemainingToner(state.dwRemainingToner) : QStringLiteral("unknown"));
        listLine << c_strIndent + QStringLiteral("errors:      ") + FormatConditions(state.listError, language);
        listLine << c_strIndent + QStringLiteral("warnings:    ") + FormatConditions(state.listWarning, language);
        listLine << c_strIndent + QStringLiteral("status file: ")
                        + (printer.bHasStatus ? FormatAge(printer.iStatusAgeSecs) : QStringLiteral("none"));
    }
    return listLine.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray FormatStatusJson(const stStatusReport& report)
{
    QJsonArray arrayPrinter;
    for (const stPrinterReport& printer : report.listPrinter)
        arrayPrinter.append(PrinterObject(printer));
    const QJsonObject service{
        {QStringLiteral("alive"), report.IsServiceAlive()},
        {QStringLiteral("heartbeat_file"), report.strHeartbeatFile},
        {QStringLiteral("heartbeat_age_seconds"), OptionalSeconds(report.bHeartbeatFound, report.iHeartbeatAgeSecs)},
        {QStringLiteral("stale_after_seconds"), double(ServiceHeartbeat::c_iStaleSecs)},
    };
    const QJsonObject root{{QStringLiteral("service"), service}, {QStringLiteral("printers"), arrayPrinter}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
