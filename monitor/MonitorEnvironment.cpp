// Resolves the parts of the monitor's environment that depend on the running process.
#include "MonitorEnvironment.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

QString stMonitorEnvironment::EntrySourcePath() const
{
    const QString strDir = strEntrySourceDir.isEmpty() ? QCoreApplication::applicationDirPath() : strEntrySourceDir;
    return strDir + QStringLiteral("/") + MonitorPaths::c_strAutostartEntry;
}

QSize stMonitorEnvironment::DesktopSize() const
{
    if (sizeDesktop.isValid())
        return sizeDesktop;
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    return pScreen ? pScreen->virtualSize() : QSize();
}
