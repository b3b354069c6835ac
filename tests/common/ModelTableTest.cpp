// The printer records' reset values and the invariants the model table must keep.
#include "CupsQueueDiscovery.h"
#include "ModelTable.h"
#include "PrinterRecords.h"

#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

TEST(PrinterRecords, ResetStateIsOfflineWithEverythingEmpty)
{
    stPrinterState state;
    state.strPrinterSerialNumber = "x";
    state.enCurrentStatus = PS_PRINTING;
    state.strFWVersion = state.strVenderName = state.strProductName = state.strSupplySerialNumber = "x";
    state.iNumberOfError = state.iNumberOfWarning = 3;
    state.listError = {ERR_FIXER};
    state.listWarning = {ERR_TONER_LOW};
    state.dwRemainingToner = state.dwWasteToner = state.dwOPCRotation = state.dwNumberOfPages = 9;
    state.dwNumberOfPrint = state.dwPrintDotsCount = state.dwPrinterNumOfPages = state.dwPrinterNumOfPrint = 9;
    state.iFailCount = 7;

    InitStPrinterState(state);
    EXPECT_EQ(state.enCurrentStatus, PS_OFFLINE);
    EXPECT_TRUE(state.strPrinterSerialNumber.isEmpty() && state.strFWVersion.isEmpty() && state.strVenderName.isEmpty()
                && state.strProductName.isEmpty() && state.strSupplySerialNumber.isEmpty());
    EXPECT_EQ(state.iNumberOfError, 0);
    EXPECT_EQ(state.iNumberOfWarning, 0);
    EXPECT_TRUE(state.listError.isEmpty());
    EXPECT_TRUE(state.listWarning.isEmpty());
    EXPECT_EQ(state.enSpplyType, TONER_STANDARD);
    for (unsigned long dw : {state.dwRemainingToner, state.dwWasteToner, state.dwOPCRotation, state.dwNumberOfPages,
                             state.dwNumberOfPrint, state.dwPrintDotsCount, state.dwPrinterNumOfPages, state.dwPrinterNumOfPrint})
        EXPECT_EQ(dw, 0u);
    EXPECT_EQ(state.iFailCount, 0);
}

TEST(PrinterRecords, ResetInfoEmptiesEveryField)
{
    stPrinterInfo info{"q", "Vorn X", CONNECT_USB, "p", "usb://p"};
    InitStPrinterInfo(info);
    EXPECT_TRUE(info.strName.isEmpty() && info.strModel.isEmpty() && info.strPort.isEmpty() && info.strURI.isEmpty());
    EXPECT_EQ(info.iConnectType, CONNECT_NONE);
}

TEST(PrinterRecords, CopiesAreIndependentOfTheirSource)
{
    stPrinterManager original;
    original.stInfo.strName = "q";
    original.stState.listError = {ERR_FIXER};
    original.listJob = {stJobState{"q-1", 1}};
    stPrinterManager copy = original;
    copy.stInfo.strName = "other";
    copy.stState.listError.append(ERR_LASER);
    copy.listJob[0].iStatus = 2;
    EXPECT_EQ(original.stInfo.strName, "q");
    EXPECT_EQ(original.stState.listError.size(), 1);
    EXPECT_EQ(original.listJob[0].iStatus, 1);
    EXPECT_FALSE(stPrinterManager().bNeedStatus);
}

TEST(ModelTable, RowsFollowTheNamingRules)
{
    const QRegularExpression reCode(QStringLiteral("^[A-Z]{1,3}[0-9]+[A-Z]*[a-z]?$"));
    for (const stModelEntry& entry : c_stModelInfoList) {
        EXPECT_TRUE(reCode.match(entry.strModelCode).hasMatch()) << qPrintable(entry.strModelCode);
        EXPECT_GE(entry.strModelCode.size(), 4);
        EXPECT_LE(entry.strModelCode.size(), 9);
        EXPECT_EQ(entry.strModelName, "Vorn " + entry.strModelCode);
        EXPECT_EQ(entry.strPPDFile, "Vorn_" + entry.strModelCode + ".ppd");
        EXPECT_EQ(entry.iVendorID, c_iVendorID);
        EXPECT_GE(entry.iProductID, 0x1001);
        EXPECT_LE(entry.iProductID, 0x10F1);
    }
}

TEST(ModelTable, CodesAndProductIdsAreUniqueAndNoCodeIsAnothersTail)
{
    QSet<QString> setCodes;
    QSet<int> setProducts;
    for (const stModelEntry& entry : c_stModelInfoList) {
        setCodes.insert(entry.strModelCode.toUpper());
        setProducts.insert(entry.iProductID);
        for (const stModelEntry& other : c_stModelInfoList) {
            if (&other != &entry) {
                EXPECT_FALSE(other.strModelCode.endsWith(entry.strModelCode, Qt::CaseInsensitive))
                    << qPrintable(entry.strModelCode) << " ends " << qPrintable(other.strModelCode);
            }
        }
    }
    EXPECT_EQ(setCodes.size(), c_iModelCount);
    EXPECT_EQ(setProducts.size(), c_iModelCount);
}

TEST(ModelTable, NetworkTableHoldsExactlyTheModelsWithNOrWAfterTheDigits)
{
    const std::vector<stModelEntry>& vecNetwork = NetworkModelInfoList();
    EXPECT_EQ(vecNetwork.size(), 51u);
    const QRegularExpression reLetters(QStringLiteral("^[A-Z]+[0-9]+(.*)$"));
    int iExpected = 0;
    for (const stModelEntry& entry : c_stModelInfoList) {
        const QString strLetters = reLetters.match(entry.strModelCode).captured(1);
        if (strLetters.contains('N') || strLetters.contains('W'))
            ++iExpected;
    }
    EXPECT_EQ(iExpected, 51);
    for (const stModelEntry& entry : vecNetwork) {
        const QString strLetters = reLetters.match(entry.strModelCode).captured(1);
        EXPECT_TRUE(strLetters.contains('N') || strLetters.contains('W')) << qPrintable(entry.strModelCode);
    }
    EXPECT_FALSE(IsNetworkModel("VL2120DS"));
    EXPECT_TRUE(IsNetworkModel("VL2100DNa"));
}

TEST(ModelTable, UriLookupFindsExactlyTheRowOfTheCodeBeforeTheQuery)
{
    // Codes that begin like another code must still find their own row, whatever the order.
    for (const stModelEntry& entry : c_stModelInfoList) {
        int iVendor = 0;
        int iProduct = 0;
        const QString strURI = "usb://Vorn/" + entry.strModelCode + "?serial=AB12345";
        ASSERT_TRUE(GetPrinterVidPid(strURI, iVendor, iProduct)) << qPrintable(strURI);
        EXPECT_EQ(iVendor, entry.iVendorID);
        EXPECT_EQ(iProduct, entry.iProductID) << qPrintable(strURI);
        int iPortProduct = 0;
        ASSERT_TRUE(GetPrinterVidPid(strURI.mid(6), iVendor, iPortProduct));
        EXPECT_EQ(iPortProduct, entry.iProductID);
    }
}

TEST(ModelTable, UriLookupIsCaseSensitiveAndLeavesOutputsAloneOnMiss)
{
    int iVendor = -5;
    int iProduct = -6;
    EXPECT_FALSE(GetPrinterVidPid("usb://Vorn/vl2120dn?serial=1", iVendor, iProduct));
    EXPECT_FALSE(GetPrinterVidPid("usb://Vorn/VL2120DN", iVendor, iProduct)) << "no query, no match";
    EXPECT_FALSE(GetPrinterVidPid("usb://Vorn/VL2120DNX?serial=1", iVendor, iProduct));
    EXPECT_EQ(iVendor, -5);
    EXPECT_EQ(iProduct, -6);
}

TEST(ModelTable, NetworkUriLookupRefusesUsbOnlyModels)
{
    int iVendor = 0;
    int iProduct = 0;
    EXPECT_TRUE(GetPrinterVidPid("Vorn/VL2120DS?serial=1", iVendor, iProduct));
    iProduct = -1;
    EXPECT_FALSE(GetNetworkPrinterVidPid("Vorn/VL2120DS?serial=1", iVendor, iProduct));
    EXPECT_EQ(iProduct, -1);
    EXPECT_TRUE(GetNetworkPrinterVidPid("Vorn/VL2120DNW?serial=1", iVendor, iProduct));
}

TEST(ModelTable, ModelNameLookupIgnoresCase)
{
    int iVendor = 0;
    int iProduct = 0;
    const stModelEntry& entry = c_stModelInfoList[10];
    ASSERT_TRUE(GetPrinterVidPidByModelName(entry.strModelName.toLower(), iVendor, iProduct));
    EXPECT_EQ(iProduct, entry.iProductID);
    iProduct = -1;
    EXPECT_FALSE(GetPrinterVidPidByModelName(entry.strModelCode, iVendor, iProduct));
    EXPECT_FALSE(GetPrinterVidPidByModelName("Vorn  " + entry.strModelCode, iVendor, iProduct));
    EXPECT_EQ(iProduct, -1);
}
