// Serial-number matching shared by every USB transport of the suite.
#include "UsbDeviceAddress.h"

#include <QUrlQuery>

QString SerialFromDeviceAddress(const QString& strPort)
{
    const int iQuery = strPort.indexOf(QLatin1Char('?'));
    if (iQuery < 0)
        return QString();
    return QUrlQuery(strPort.mid(iQuery + 1)).queryItemValue(QStringLiteral("serial"), QUrl::FullyDecoded);
}

bool SerialMatches(const QString& strAddressSerial, const QString& strDeviceSerial)
{
    return strDeviceSerial.startsWith(strAddressSerial, Qt::CaseInsensitive);
}
