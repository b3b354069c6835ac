// The printer list file that the service publishes and the other programs read.
#pragma once

#include "PrinterRecords.h"
#include "VornPaths.h"

#include <QList>
#include <QString>

class PrinterListFile {
public:
    explicit PrinterListFile(const QString& strPath = VornPaths::c_strCfgDir + VornPaths::c_strPrinterListFile);

    enum enFilter { ALL_PRINTERS, USB_PRINTERS_ONLY };

    // Reads groups "printer_0" .. "printer_<Count-1>"; missing file or Count gives an empty list.
    QList<stPrinterInfo> GetPrinterInfo(enFilter filter = ALL_PRINTERS) const;

    // Rewrites "Main/Count" and one group per entry in place (groups past Count may remain),
    // replacing the file atomically so a reader never sees half of it; mode 0644.
    bool Write(const QList<stPrinterInfo>& listPrinter) const;

    const QString& Path() const { return m_strPath; }

private:
    const QString m_strPath;
};
