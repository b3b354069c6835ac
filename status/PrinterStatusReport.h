// What the service publishes about every managed printer, gathered at one moment for the
// status command: the printer list, each printer's decoded status file and its age, and the
// age of the service's heartbeat.
#pragma once

#include "PrinterRecords.h"
#include "VornPaths.h"

#include <QDateTime>
#include <QList>
#include <QString>

struct stPrinterReport {
    stPrinterInfo stInfo;
    // False when the printer has no status file (the service took it off-line, or has not read
    // it yet) or the file does not decode; stState is then the reset, off-line state.
    bool bHasStatus = false;
    stPrinterState stState;
    qint64 iStatusAgeSecs = 0;
};

struct stStatusReport {
    QString strHeartbeatFile;
    bool bHeartbeatFound = false;
    qint64 iHeartbeatAgeSecs = 0;
    bool bPrinterListFound = false;
    QList<stPrinterReport> listPrinter;

    // The service runs and is not hung: its heartbeat exists and is fresh.
    bool IsServiceAlive() const;
};

class PrinterStatusReport {
public:
    explicit PrinterStatusReport(const QString& strCfgDir = VornPaths::c_strCfgDir);

    stStatusReport Read(const QDateTime& now = QDateTime::currentDateTime()) const;

private:
    const QString m_strCfgDir;
};
