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

QList<stPrinterManager> GetInitPrinterList(const QList<stPrinterInfo>& listPrinter)
{
    stPrinterState stResetState;
    InitStPrinterState(stResetState);
    QList<stPrinterManager> listManager;
    for (const stPrinterInfo& info : listPrinter) {
        stPrinterManager manager;
        manager.stInfo = info;
        manager.stState = stResetState;
        listManager.append(manager);
    }
    return listManager;
}
