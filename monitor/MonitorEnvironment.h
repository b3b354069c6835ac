// Where the monitor reads the service's files, where the autostart entry goes, which programs it
// starts, and how big the desktop is. The defaults are the installed system's; tests and the
// benchmark substitute folders, tools and desktop sizes.
#pragma once

#include "UtilProcess.h"
#include "VornPaths.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

using CommandRunner = std::function<stProcessResult(const QString& strProgram, const QStringList& listArgs,
                                                    const stProcessOptions& options)>;

namespace MonitorPaths {
inline const QString c_strProcessName = QStringLiteral("VornPrinterTool");
inline const QString c_strFirmwareUpdater = VornPaths::c_strBinDir + QStringLiteral("vornT905FW");
inline const QString c_strAutostartDir = QStringLiteral("/opt/apps/vorn-printer-t905/entries/autostart/");
inline const QString c_strAutostartEntry = QStringLiteral("vorn-t905-tool-autostart.desktop");
// Removes every job of the queue named by its one argument.
inline const QString c_strCancelProgram = QStringLiteral("cancel");
} // namespace MonitorPaths

struct stMonitorEnvironment {
    QString strCfgDir = VornPaths::c_strCfgDir;
    QString strAutostartDir = MonitorPaths::c_strAutostartDir;
    // Where the shipped autostart entry lies; empty: beside the running executable.
    QString strEntrySourceDir;
    QString strFirmwareUpdater = MonitorPaths::c_strFirmwareUpdater;
    CommandRunner runCommand = &UtilProcess::Run;
    // Wake the workers on changes in the service's folder instead of waiting for the next poll.
    bool bWatchFiles = true;
    // Invalid: the primary screen's virtual desktop.
    QSize sizeDesktop;

    QString EntrySourcePath() const;
    QSize DesktopSize() const;
};
