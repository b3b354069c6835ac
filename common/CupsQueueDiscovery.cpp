// Queue discovery from the scheduler's configuration file and from the "lpstat -v" listing.
#include "CupsQueueDiscovery.h"

#include "UtilProcess.h"

#include <QFile>

namespace {

const QString c_strSectionOpen = QStringLiteral("<Printer");
const QString c_strDefaultSectionOpen = QStringLiteral("<DefaultPrinter");
const QString c_strSectionClose = QStringLiteral("</Printer>");
const QString c_strDefaultSectionClose = QStringLiteral("</DefaultPrinter>");
const QString c_strDeviceUriKey = QStringLiteral("DeviceURI");
const QString c_strListingDevicePrefix = QStringLiteral("device for");
const QString c_strLpstatProgram = QStringLiteral("lpstat");
const QString c_strUsbScheme = QStringLiteral("usb");
const QString c_strUsbSchemeSeparator = QStringLiteral("usb://");
const QString c_strSocketScheme = QStringLiteral("socket");
const QString c_strVornSocketScheme = QStringLiteral("vornsocket");
const QString c_strSchemeSeparator = QStringLiteral("://");
constexpr int c_iLpstatTimeoutMs = 30000;

// Drops the closing ">" of a section tag or the ":" behind a listed queue name.
QString WithoutLastChar(const QString& strText)
{
    return strText.left(qMax(0, strText.size() - 1));
}

bool StartsWithNoCase(const QString& strText, const QString& strPrefix)
{
    return strText.startsWith(strPrefix, Qt::CaseInsensitive);
}

// The host of a network URI: after the first "://" at or after iFrom, up to the next ":".
QString HostAfterScheme(const QString& strURI, int iFrom)
{
    const int iSeparator = strURI.indexOf(c_strSchemeSeparator, iFrom);
    if (iSeparator < 0)
        return QString();
    const int iHostStart = iSeparator + c_strSchemeSeparator.size();
    const int iColon = strURI.indexOf(QLatin1Char(':'), iHostStart);
    return iColon < 0 ? strURI.mid(iHostStart) : strURI.mid(iHostStart, iColon - iHostStart);
}

// A translated listing line: the URI is found anywhere in its third field.
bool ApplyUriInsideText(const QString& strText, stPrinterInfo& info)
{
    const int iUsb = strText.indexOf(c_strUsbSchemeSeparator, 0, Qt::CaseInsensitive);
    if (iUsb >= 0) {
        info.iConnectType = CONNECT_USB;
        info.strPort = strText.mid(iUsb + c_strUsbSchemeSeparator.size());
        info.strURI = strText.mid(iUsb);
        return true;
    }
    int iSocket = strText.indexOf(c_strVornSocketScheme + c_strSchemeSeparator, 0, Qt::CaseInsensitive);
    if (iSocket < 0)
        iSocket = strText.indexOf(c_strSocketScheme + c_strSchemeSeparator, 0, Qt::CaseInsensitive);
    if (iSocket < 0)
        return false;
    info.iConnectType = CONNECT_NETWORK;
    info.strURI = strText.mid(iSocket);
    info.strPort = HostAfterScheme(strText, iSocket);
    return true;
}

// The value of a "*ModelName" PPD line, unquoted and trimmed; empty for any other line.
QString ModelNameOfPpdLine(const QByteArray& baLine)
{
    const int iZero = baLine.indexOf('\0');
    const QString strLine = QString::fromLatin1(iZero < 0 ? baLine : baLine.left(iZero));
    if (!StartsWithNoCase(strLine, QStringLiteral("*ModelName")))
        return QString();
    const QStringList listParts = strLine.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (listParts.size() < 2)
        return QString();
    QString strValue = listParts[1].trimmed();
    if (strValue.startsWith(QLatin1Char('"')))
        strValue.remove(0, 1);
    if (strValue.endsWith(QLatin1Char('"')))
        strValue.chop(1);
    return strValue.trimmed();
}

bool IsSupportedModelName(const QString& strName)
{
    if (strName.isEmpty())
        return false;
    for (const stModelEntry& entry : c_stModelInfoList) {
        if (entry.strModelName.compare(strName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool MatchPpdLine(const QByteArray& baLine, QString& strModel)
{
    const QString strValue = ModelNameOfPpdLine(baLine);
    if (!IsSupportedModelName(strValue))
        return false;
    strModel = strValue;
    return true;
}

template <typename Table>
bool LookUpByUri(const Table& table, const QString& strURI, int& iVendorID, int& iProductID)
{
    for (const stModelEntry& entry : table) {
        if (strURI.contains(entry.strModelCode + QLatin1Char('?'), Qt::CaseSensitive)) {
            iVendorID = entry.iVendorID;
            iProductID = entry.iProductID;
            return true;
        }
    }
    return false;
}

} // namespace

CupsQueueDiscovery::CupsQueueDiscovery(const QString& strPrintersConf, const QString& strPpdDir)
    : m_strPrintersConf(strPrintersConf)
    , m_strPpdDir(strPpdDir.endsWith(QLatin1Char('/')) ? strPpdDir : strPpdDir + QLatin1Char('/'))
{
}

QList<stPrinterInfo> CupsQueueDiscovery::GetPrinterInfo(bool bCheckDriver) const
{
    QFile file(m_strPrintersConf);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        file.setFileName(m_strPrintersConf + VornPaths::c_strCupsBackupSuffix);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
    }
    return ParsePrintersConf(file.readAll(), bCheckDriver);
}

QList<stPrinterInfo> CupsQueueDiscovery::ParsePrintersConf(const QByteArray& baContent, bool bCheckDriver) const
{
    QList<stPrinterInfo> listResult;
    stPrinterInfo info;
    for (const QByteArray& baRawLine : baContent.split('\n')) {
        const QString strLine = QString::fromUtf8(baRawLine.trimmed());
        if (StartsWithNoCase(strLine, c_strSectionOpen) || StartsWithNoCase(strLine, c_strDefaultSectionOpen)) {
            InitStPrinterInfo(info);
            const int iBlank = strLine.indexOf(QLatin1Char(' '));
            if (iBlank >= 0)
                info.strName = WithoutLastChar(strLine.mid(iBlank + 1));
        } else if (StartsWithNoCase(strLine, c_strSectionClose) || StartsWithNoCase(strLine, c_strDefaultSectionClose)) {
            if (info.strName.isEmpty() || info.strURI.isEmpty())
                continue;
            if (!bCheckDriver || CheckDriverMatch(info.strName, info.strModel))
                listResult.append(info);
        } else if (StartsWithNoCase(strLine, c_strDeviceUriKey)) {
            const int iBlank = strLine.indexOf(QLatin1Char(' '));
            if (iBlank >= 0)
                ApplyDeviceUri(strLine.mid(iBlank + 1), info);
        }
    }
    return listResult;
}

QList<stPrinterInfo> CupsQueueDiscovery::GetPrinterInfoFromListing(bool bCheckDriver) const
{
    stProcessOptions options;
    options.iTimeoutMs = c_iLpstatTimeoutMs;
    const stProcessResult result = UtilProcess::Run(c_strLpstatProgram, {QStringLiteral("-v")}, options);
    return ParseListing(QString::fromUtf8(result.baStdout), bCheckDriver);
}

QList<stPrinterInfo> CupsQueueDiscovery::ParseListing(const QString& strListing, bool bCheckDriver) const
{
    QList<stPrinterInfo> listResult;
    for (const QString& strLine : strListing.split(QLatin1Char('\n'))) {
        stPrinterInfo info;
        InitStPrinterInfo(info);
        const QStringList listParts = strLine.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (StartsWithNoCase(strLine, c_strListingDevicePrefix)) {
            if (listParts.size() < 4)
                continue;
            info.strName = WithoutLastChar(listParts[2].trimmed());
            if (!ApplyDeviceUri(listParts[3].trimmed(), info))
                continue;
        } else {
            if (listParts.size() < 3)
                continue;
            info.strName = listParts[1].trimmed();
            if (!ApplyUriInsideText(listParts[2].trimmed(), info))
                continue;
        }
        if (info.strName.isEmpty())
            continue;
        if (!bCheckDriver || CheckDriverMatch(info.strName, info.strModel))
            listResult.append(info);
    }
    return listResult;
}

bool CupsQueueDiscovery::CheckDriverMatch(const QString& strQueue, QString& strModel) const
{
    // A queue name never holds a "/"; one that does must not lead the read out of the PPD folder.
    if (strQueue.isEmpty() || strQueue.contains(QLatin1Char('/')))
        return false;
    QFile file(m_strPpdDir + strQueue + QStringLiteral(".ppd"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // Line by line, so the read stops at the first matching "*ModelName".
    while (!file.atEnd()) {
        if (MatchPpdLine(file.readLine(), strModel))
            return true;
    }
    return false;
}

bool CupsQueueDiscovery::FindSupportedModelName(const QByteArray& baPpd, QString& strModel)
{
    for (const QByteArray& baLine : baPpd.split('\n')) {
        if (MatchPpdLine(baLine, strModel))
            return true;
    }
    return false;
}

bool ApplyDeviceUri(const QString& strURI, stPrinterInfo& info)
{
    if (StartsWithNoCase(strURI, c_strUsbScheme)) {
        info.iConnectType = CONNECT_USB;
        info.strPort = strURI.mid(c_strUsbSchemeSeparator.size());
        info.strURI = strURI;
        return true;
    }
    if (StartsWithNoCase(strURI, c_strSocketScheme) || StartsWithNoCase(strURI, c_strVornSocketScheme)) {
        // Without "://" there is no host to reach: the kind is known but the queue is not taken.
        info.iConnectType = CONNECT_NETWORK;
        if (!strURI.contains(c_strSchemeSeparator))
            return false;
        info.strPort = HostAfterScheme(strURI, 0);
        info.strURI = strURI;
        return true;
    }
    return false;
}

bool GetPrinterVidPid(const QString& strURI, int& iVendorID, int& iProductID)
{
    return LookUpByUri(c_stModelInfoList, strURI, iVendorID, iProductID);
}

bool GetNetworkPrinterVidPid(const QString& strURI, int& iVendorID, int& iProductID)
{
    return LookUpByUri(NetworkModelInfoList(), strURI, iVendorID, iProductID);
}

bool GetPrinterVidPidByModelName(const QString& strModelName, int& iVendorID, int& iProductID)
{
    for (const stModelEntry& entry : c_stModelInfoList) {
        if (entry.strModelName.compare(strModelName, Qt::CaseInsensitive) == 0) {
            iVendorID = entry.iVendorID;
            iProductID = entry.iProductID;
            return true;
        }
    }
    return false;
}
