// Reset operations: every record in use starts from these values.
#include "PrinterRecords.h"

void InitStPrinterInfo(stPrinterInfo& info)
{
    info = stPrinterInfo();
}

void InitStPrinterState(stPrinterState& state)
{
    state = stPrinterState();
}
