// Where the service finds CUPS, where it publishes its files, and how it reaches printers and
// external tools. The defaults are the installed system's; tests substitute folders and fakes.
#pragma once

#include "PrinterProtocol.h"
#include "UsbPrinterTransport.h"
#include "UtilProcess.h"
#include "VornPaths.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

using CommandRunner = std::function<stProcessResult(const QString& strProgram, const QStringList& listArgs,
                                                    const stProcessOptions& options)>;

struct stServiceEnvironment {
    QString strCfgDir = VornPaths::c_strCfgDir;
    QString strPrintersConf = VornPaths::c_strCupsPrintersConf;
    QString strPpdDir = VornPaths::c_strCupsPpdDir;
    uint16_t wUdpPort = PrinterProtocol::c_wUdpPort;
    // Shared by all workers; every request is self-contained, so one object serves them all.
    std::shared_ptr<UsbPrinterTransport> pUsbTransport;
    CommandRunner runCommand = &UtilProcess::Run;

    // The installed system: libusb and the real tools.
    static stServiceEnvironment Installed();
};
