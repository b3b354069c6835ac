// The suite's fixed folders and files. Programs use these as defaults; classes take the
// folder as a constructor argument so tests can point them at a temporary folder.
#pragma once

#include <QString>

namespace VornPaths {

inline const QString c_strRoot = QStringLiteral("/opt/vorn/vorn-printer-t905/");
inline const QString c_strBinDir = c_strRoot + QStringLiteral("bin/");
inline const QString c_strCfgDir = c_strRoot + QStringLiteral("cfg/");
inline const QString c_strLogDir = c_strRoot + QStringLiteral("log/");
inline const QString c_strToolDir = c_strRoot + QStringLiteral("tool/");
inline const QString c_strTempDir = c_strRoot + QStringLiteral("temp/");
inline const QString c_strScanDir = c_strRoot + QStringLiteral("scan/");

inline const QString c_strPrinterListFile = QStringLiteral("printerlist.ini");
inline const QString c_strHeartbeatFile = QStringLiteral("service.hb");
inline const QString c_strStatusFileSuffix = QStringLiteral(".dat");

inline const QString c_strServiceExecutable = c_strBinDir + QStringLiteral("vornT905Service");
inline const QString c_strServiceProcessName = QStringLiteral("vornT905Service");

inline const QString c_strCupsPrintersConf = QStringLiteral("/etc/cups/printers.conf");
inline const QString c_strCupsBackupSuffix = QStringLiteral(".O");
inline const QString c_strCupsPpdDir = QStringLiteral("/etc/cups/ppd/");

} // namespace VornPaths
