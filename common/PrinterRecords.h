// Plain value records that describe one queue, its decoded status, one job and one managed
// printer; every program of the printing side shares them.
#pragma once

#include "PrinterStatusEnums.h"

#include <QList>
#include <QString>

enum enConnectType : int {
    CONNECT_NONE = 0,
    CONNECT_USB = 1,
    CONNECT_NETWORK = 2,
};

struct stPrinterInfo {
    QString strName;
    QString strModel;
    int iConnectType = CONNECT_NONE;
    QString strPort;
    QString strURI;
};

struct stPrinterState {
    QString strPrinterSerialNumber;
    enPrinterStatus enCurrentStatus = PS_OFFLINE;
    QString strFWVersion;
    QString strVenderName;
    QString strProductName;
    int iNumberOfError = 0;
    int iNumberOfWarning = 0;
    QList<enErrorStatus> listError;
    QList<enErrorStatus> listWarning;
    QString strSupplySerialNumber;
    enTonerType enSpplyType = TONER_STANDARD;
    unsigned long dwRemainingToner = 0;
    unsigned long dwWasteToner = 0;
    unsigned long dwOPCRotation = 0;
    unsigned long dwNumberOfPages = 0;
    unsigned long dwNumberOfPrint = 0;
    unsigned long dwPrintDotsCount = 0;
    unsigned long dwPrinterNumOfPages = 0;
    unsigned long dwPrinterNumOfPrint = 0;
    int iFailCount = 0;
};

struct stJobState {
    QString strJobID;
    int iStatus = 0;
};

// The service's form; the status monitor ignores listJob and bNeedStatus.
struct stPrinterManager {
    stPrinterInfo stInfo;
    stPrinterState stState;
    QList<stJobState> listJob;
    bool bNeedStatus = false;
};

void InitStPrinterInfo(stPrinterInfo& info);
void InitStPrinterState(stPrinterState& state);
// One managed entry per printer, each with a reset state, as a freshly replaced list starts.
QList<stPrinterManager> GetInitPrinterList(const QList<stPrinterInfo>& listPrinter);
