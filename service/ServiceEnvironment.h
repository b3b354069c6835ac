// Where the service finds CUPS, where it publishes its files, and how it reaches printers and
// the scheduler. The defaults are the installed system's; tests substitute folders and fakes.
#pragma once

#include "CupsQueueSource.h"
#include "PrinterProtocol.h"
#include "UsbPrinterTransport.h"
#include "VornPaths.h"

#include <QString>

#include <functional>
#include <memory>

struct stServiceEnvironment {
    QString strCfgDir = VornPaths::c_strCfgDir;
    QString strPrintersConf = VornPaths::c_strCupsPrintersConf;
    QString strPpdDir = VornPaths::c_strCupsPpdDir;
    uint16_t wUdpPort = PrinterProtocol::c_wUdpPort;
    // Shared by all workers; every request is self-contained, so one object serves them all.
    std::shared_ptr<UsbPrinterTransport> pUsbTransport;
    // Each worker makes its own, on its own thread: a scheduler connection is not shared.
    std::function<std::unique_ptr<CupsQueueSource>()> makeCupsSource;

    // The installed system: libusb and the local scheduler.
    static stServiceEnvironment Installed();
};
