// Reader and writer of the printer list file "printerlist.ini".
#include "PrinterListFile.h"

#include <QFile>
#include <QSettings>
#include <QTextCodec>

#include <algorithm>

namespace {

const QString c_strMainGroup = QStringLiteral("Main");
const QString c_strCountKey = QStringLiteral("Count");
const QString c_strPrinterGroupPrefix = QStringLiteral("printer_");
const QString c_strNameKey = QStringLiteral("Name");
const QString c_strModelKey = QStringLiteral("Model");
const QString c_strConnectTypeKey = QStringLiteral("ConnectType");
const QString c_strPortKey = QStringLiteral("Port");
const QString c_strUriKey = QStringLiteral("URI");
const char* const c_szCodec = "utf-8";

void UseUtf8(QSettings& settings)
{
    settings.setIniCodec(QTextCodec::codecForName(c_szCodec));
}

} // namespace

PrinterListFile::PrinterListFile(const QString& strPath)
    : m_strPath(strPath)
{
}

QList<stPrinterInfo> PrinterListFile::GetPrinterInfo(enFilter filter) const
{
    if (!QFile::exists(m_strPath))
        return {};
    QSettings settings(m_strPath, QSettings::IniFormat);
    UseUtf8(settings);
    int iCount = settings.value(c_strMainGroup + QLatin1Char('/') + c_strCountKey).toInt();
    // A damaged "Count" must not make the reader build millions of empty entries: no file the
    // service writes holds more entries than groups.
    iCount = std::min(iCount, int(settings.childGroups().size()));

    QList<stPrinterInfo> listResult;
    for (int i = 0; i < iCount; ++i) {
        stPrinterInfo info;
        InitStPrinterInfo(info);
        settings.beginGroup(c_strPrinterGroupPrefix + QString::number(i));
        info.strName = settings.value(c_strNameKey).toString();
        info.strModel = settings.value(c_strModelKey).toString();
        info.iConnectType = settings.value(c_strConnectTypeKey).toInt();
        info.strPort = settings.value(c_strPortKey).toString();
        info.strURI = settings.value(c_strUriKey).toString();
        settings.endGroup();
        if (filter == USB_PRINTERS_ONLY && info.iConnectType != CONNECT_USB)
            continue;
        listResult.append(info);
    }
    return listResult;
}

bool PrinterListFile::Write(const QList<stPrinterInfo>& listPrinter) const
{
    {
        // The settings class writes through a temporary file and a rename, so readers in other
        // programs see either the old list or the new one.
        QSettings settings(m_strPath, QSettings::IniFormat);
        UseUtf8(settings);
        settings.setValue(c_strMainGroup + QLatin1Char('/') + c_strCountKey, QString::number(listPrinter.size()));
        for (int i = 0; i < listPrinter.size(); ++i) {
            const stPrinterInfo& info = listPrinter[i];
            settings.beginGroup(c_strPrinterGroupPrefix + QString::number(i));
            settings.setValue(c_strNameKey, info.strName);
            settings.setValue(c_strModelKey, info.strModel);
            settings.setValue(c_strConnectTypeKey, QString::number(info.iConnectType));
            settings.setValue(c_strPortKey, info.strPort);
            settings.setValue(c_strUriKey, info.strURI);
            settings.endGroup();
        }
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    // Every desktop user's monitor reads the list the root service writes.
    return QFile::setPermissions(m_strPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}
