// Fuzz entry for the readers of CUPS state: the configuration file, PPD files and the queue
// listing. The same bytes go through all three, so each parser meets the others' shapes too.
#include "CupsQueueDiscovery.h"

#include <cstdint>
#include <cstdlib>

namespace {

void CheckTaken(const QList<stPrinterInfo>& list)
{
    for (const stPrinterInfo& info : list) {
        const bool bValid = !info.strName.isEmpty() && !info.strURI.isEmpty()
            && (info.iConnectType == CONNECT_USB || info.iConnectType == CONNECT_NETWORK);
        if (!bValid)
            std::abort();
        int iVendorID = 0;
        int iProductID = 0;
        GetPrinterVidPid(info.strPort, iVendorID, iProductID);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray baInput(reinterpret_cast<const char*>(data), int(size));
    // Folders that do not exist: the driver check must fail quietly, never touch real files.
    const CupsQueueDiscovery discovery(QStringLiteral("/nonexistent/vorn-fuzz/printers.conf"),
                                       QStringLiteral("/nonexistent/vorn-fuzz/ppd"));
    CheckTaken(discovery.ParsePrintersConf(baInput, false));
    CheckTaken(discovery.ParsePrintersConf(baInput, true));
    CheckTaken(discovery.ParseListing(QString::fromUtf8(baInput), false));

    QString strModel;
    if (CupsQueueDiscovery::FindSupportedModelName(baInput, strModel)) {
        int iVendorID = 0;
        int iProductID = 0;
        if (!GetPrinterVidPidByModelName(strModel, iVendorID, iProductID))
            std::abort();
    }
    return 0;
}
