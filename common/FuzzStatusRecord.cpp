// Fuzz entry for the status record decoder: records come from printers and from status files
// that any process running as root could have left behind.
#include "UtilPrinterStatus.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so any read past the end hits the sanitizer's red zone.
    std::unique_ptr<unsigned char[]> pBuf(new unsigned char[size ? size : 1]);
    if (size)
        std::memcpy(pBuf.get(), data, size);

    UtilPrinterStatus decoder;
    if (!decoder.parseRecvBuf(pBuf.get(), size))
        return 0;
    stPrinterState state;
    decoder.FillPrinterState(state);
    const bool bConsistent = state.listError.size() == state.iNumberOfError
        && state.listWarning.size() == state.iNumberOfWarning
        && state.strVenderName.size() <= UtilPrinterStatus::c_iTextSlotBytes
        && state.strProductName.size() <= UtilPrinterStatus::c_iTextSlotBytes
        && state.strPrinterSerialNumber.size() <= UtilPrinterStatus::c_iTextSlotBytes
        && state.strFWVersion.size() <= UtilPrinterStatus::c_iTextSlotBytes
        && state.strSupplySerialNumber.size() <= UtilPrinterStatus::c_iSupplySerialSlotBytes
        && state.iFailCount == 0;
    if (!bConsistent)
        std::abort();
    return 0;
}
