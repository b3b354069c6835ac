// Reads the service's files without writing any, so the command is safe beside a running
// service and works for any user who can read the configuration folder.
#include "PrinterStatusReport.h"

#include "PrinterListFile.h"
#include "ServiceHeartbeat.h"
#include "UtilPrinterStatus.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A status record is a few hundred bytes; anything far larger is not one of the service's.
constexpr qint64 c_iMaxStatusFileBytes = 64 * 1024;

bool ReadStatusFile(const QString& strPath, const QDateTime& now, stPrinterReport& report)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray baRecord = file.read(c_iMaxStatusFileBytes);
    stPrinterState state;
    if (DecodeStatusRecord(baRecord, state) != 0)
        return false;
    report.stState = state;
    report.iStatusAgeSecs = QFileInfo(file).lastModified().secsTo(now);
    return true;
}

} // namespace

bool stStatusReport::IsServiceAlive() const
{
    return bHeartbeatFound && ServiceHeartbeat::IsFresh(iHeartbeatAgeSecs);
}

PrinterStatusReport::PrinterStatusReport(const QString& strCfgDir)
    : m_strCfgDir(strCfgDir.endsWith(QLatin1Char('/')) ? strCfgDir : strCfgDir + QLatin1Char('/'))
{
}

stStatusReport PrinterStatusReport::Read(const QDateTime& now) const
{
    stStatusReport report;
    report.strHeartbeatFile = m_strCfgDir + VornPaths::c_strHeartbeatFile;
    report.bHeartbeatFound = ServiceHeartbeat::ReadAgeSecs(report.strHeartbeatFile, now, report.iHeartbeatAgeSecs);

    const PrinterListFile listFile(m_strCfgDir + VornPaths::c_strPrinterListFile);
    report.bPrinterListFound = QFile::exists(listFile.Path());
    for (const stPrinterInfo& info : listFile.GetPrinterInfo()) {
        stPrinterReport printer;
        printer.stInfo = info;
        InitStPrinterState(printer.stState);
        printer.bHasStatus = ReadStatusFile(m_strCfgDir + info.strName + VornPaths::c_strStatusFileSuffix, now, printer);
        report.listPrinter.append(printer);
    }
    return report;
}
