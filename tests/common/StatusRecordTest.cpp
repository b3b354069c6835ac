// The status record decoder against records laid out byte by byte, and the code tables.
#include "UtilPrinterStatus.h"

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> listByte)
{
    QByteArray ba;
    for (int iByte : listByte)
        ba.append(char(iByte));
    return ba;
}

// The printer's documented sample: VEND / P01 / SN123, printing, firmware 1.0, front cover
// open, toner 7532, cartridge C12.
QByteArray SampleRecord()
{
    return Bytes({0, 0, 0, 0, 0, 0, 0, /**/ 0, /**/ 0, 0, /**/ 0, 0,
                  0, 4, 'V', 'E', 'N', 'D', /**/ 0, 3, 'P', '0', '1', /**/ 0, 5, 'S', 'N', '1', '2', '3',
                  0, 0, /**/ 0x10, /**/ 3, '1', '.', '0', /**/ 0, /**/ 1, 0x11, 0x06, /**/ 0,
                  0, /**/ 0, 0, /**/ 0, 0, /**/ 2, /**/ 0x10, 0x00, 2, 0x1D, 0x6C, /**/ 0x00, 0x00, 3, 'C', '1', '2'});
}

int Decode(const QByteArray& ba, stPrinterState& state)
{
    return DecodeStatusRecord(ba, state);
}

stStatusRecordFields MinimalFields()
{
    stStatusRecordFields fields;
    fields.baVenderName = "VEND";
    fields.baProductName = "P01";
    fields.baPrinterSerialNumber = "SN123";
    return fields;
}

} // namespace

TEST(StatusRecord, SampleRecordDecodesToEveryStatedField)
{
    const QByteArray ba = SampleRecord();
    ASSERT_EQ(ba.size(), 59);
    stPrinterState state;
    state.iFailCount = 4;
    ASSERT_EQ(Decode(ba, state), 0);
    EXPECT_EQ(state.strVenderName, "VEND");
    EXPECT_EQ(state.strProductName, "P01");
    EXPECT_EQ(state.strPrinterSerialNumber, "SN123");
    EXPECT_EQ(state.enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(state.strFWVersion, "1.0");
    EXPECT_EQ(state.iNumberOfError, 1);
    EXPECT_EQ(state.listError, QList<enErrorStatus>{ERR_FRONT_COVER_OPEN});
    EXPECT_EQ(state.iNumberOfWarning, 0);
    EXPECT_TRUE(state.listWarning.isEmpty());
    EXPECT_EQ(state.dwRemainingToner, 7532u);
    EXPECT_EQ(state.strSupplySerialNumber, "C12");
    EXPECT_EQ(state.dwWasteToner, 0u);
    EXPECT_EQ(state.dwOPCRotation, 0u);
    EXPECT_EQ(state.dwNumberOfPages, 0u);
    EXPECT_EQ(state.dwNumberOfPrint, 0u);
    EXPECT_EQ(state.dwPrintDotsCount, 0u);
    EXPECT_EQ(state.dwPrinterNumOfPages, 0u);
    EXPECT_EQ(state.dwPrinterNumOfPrint, 0u);
    EXPECT_EQ(state.enSpplyType, TONER_STANDARD);
    EXPECT_EQ(state.iFailCount, 0);
}

TEST(StatusRecord, EncoderProducesTheSampleRecordByteForByte)
{
    stStatusRecordFields fields = MinimalFields();
    fields.byStatusCode = 0x10;
    fields.baFWVersion = "1.0";
    fields.listErrorCode = {0x1106};
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 7532, 2), stSupplyItem{SUPPLY_SERIAL_NUMBER, "C12"}};
    EXPECT_EQ(EncodeStatusRecord(fields).toHex(), SampleRecord().toHex());
}

TEST(StatusRecord, EveryTruncationOfTheSampleFailsAndLeavesTheStateAlone)
{
    const QByteArray ba = SampleRecord();
    for (int iLen = 0; iLen < ba.size(); ++iLen) {
        stPrinterState state;
        state.strVenderName = "kept";
        state.iFailCount = 3;
        EXPECT_EQ(Decode(ba.left(iLen), state), -1) << "length " << iLen;
        EXPECT_EQ(state.strVenderName, "kept");
        EXPECT_EQ(state.iFailCount, 3);
    }
}

TEST(StatusRecord, ShortAndEmptyBuffersFail)
{
    UtilPrinterStatus decoder;
    const unsigned char arrSeven[7] = {};
    EXPECT_FALSE(decoder.parseRecvBuf(arrSeven, sizeof(arrSeven)));
    EXPECT_FALSE(decoder.parseRecvBuf(nullptr, 0));
    EXPECT_FALSE(decoder.parseRecvBuf(nullptr, 100));
}

TEST(StatusRecord, RecordEndingAtSupplyCountZeroSucceedsWithNothingSet)
{
    const QByteArray ba = EncodeStatusRecord(MinimalFields());
    stPrinterState state;
    ASSERT_EQ(Decode(ba, state), 0);
    EXPECT_EQ(state.dwRemainingToner, 0u);
    EXPECT_TRUE(state.strSupplySerialNumber.isEmpty());
    EXPECT_EQ(state.enCurrentStatus, PS_READY);
}

TEST(StatusRecord, RecordMissingTheTrailerAfterWarningsFails)
{
    stStatusRecordFields fields = MinimalFields();
    fields.listWarningCode = {0x110D};
    const QByteArray ba = EncodeStatusRecord(fields);
    stPrinterState state;
    EXPECT_EQ(Decode(ba.left(ba.size() - 6), state), -1);
    EXPECT_EQ(Decode(ba, state), 0);
    EXPECT_EQ(state.listWarning, QList<enErrorStatus>{ERR_TONER_LOW});
}

TEST(StatusRecord, ErrorCountBeyondTheCodesPresentFails)
{
    QByteArray ba = SampleRecord();
    const int iErrorCount = ba.indexOf(QByteArray::fromHex("011106"));
    ASSERT_GT(iErrorCount, 0);
    ba[iErrorCount] = 2;
    stPrinterState state;
    EXPECT_EQ(Decode(ba.left(iErrorCount + 3), state), -1);
}

TEST(StatusRecord, SupplyNumbersFollowTheLengthRule)
{
    struct stCase {
        QByteArray baValue;
        unsigned long ulExpected;
    };
    const stCase arrCases[] = {
        {Bytes({0x1D, 0x6C}), 7532},
        {Bytes({0x64}), 100},
        {Bytes({0x01, 0x02, 0x03}), 0x010203},
        {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFul},
        {Bytes({0x01, 0x02, 0x03, 0x04, 0x05}), 1},
        {QByteArray(), 0},
    };
    for (const stCase& c : arrCases) {
        stStatusRecordFields fields = MinimalFields();
        fields.listSupply = {stSupplyItem{SUPPLY_REMAINING_TONER, c.baValue}};
        stPrinterState state;
        ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
        EXPECT_EQ(state.dwRemainingToner, c.ulExpected) << c.baValue.toHex().constData();
    }
}

TEST(StatusRecord, EachSupplyItemSetsOnlyItsOwnCounterInAnyOrder)
{
    stStatusRecordFields fields = MinimalFields();
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_NUMBER_OF_PRINT, 9), MakeNumberSupplyItem(SUPPLY_NUMBER_OF_PAGES, 5)};
    stPrinterState state;
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_EQ(state.dwNumberOfPages, 5u);
    EXPECT_EQ(state.dwNumberOfPrint, 9u);
    EXPECT_EQ(state.dwRemainingToner, 0u);

    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_WASTE_TONER, 1), MakeNumberSupplyItem(SUPPLY_OPC_ROTATION, 2),
                         MakeNumberSupplyItem(SUPPLY_PRINT_DOTS_COUNT, 3), MakeNumberSupplyItem(SUPPLY_PRINTER_NUM_OF_PAGES, 4),
                         MakeNumberSupplyItem(SUPPLY_PRINTER_NUM_OF_PRINT, 6), MakeNumberSupplyItem(SUPPLY_NUMBER_OF_PRINT, 7),
                         MakeNumberSupplyItem(SUPPLY_NUMBER_OF_PRINT, 8)};
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_EQ(state.dwWasteToner, 1u);
    EXPECT_EQ(state.dwOPCRotation, 2u);
    EXPECT_EQ(state.dwPrintDotsCount, 3u);
    EXPECT_EQ(state.dwPrinterNumOfPages, 4u);
    EXPECT_EQ(state.dwPrinterNumOfPrint, 6u);
    EXPECT_EQ(state.dwNumberOfPrint, 8u) << "the later item of a repeated type wins";
    EXPECT_EQ(state.dwNumberOfPages, 0u) << "nothing is kept from the earlier decode";
}

TEST(StatusRecord, UnknownSupplyTypeIsSkippedAndTheNextItemApplies)
{
    stStatusRecordFields fields = MinimalFields();
    fields.listSupply = {stSupplyItem{0x2000, Bytes({1, 2, 3, 4, 5, 6, 7})}, MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 42, 2)};
    stPrinterState state;
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_EQ(state.dwRemainingToner, 42u);
}

TEST(StatusRecord, ShortSupplyItemFailsTheDecode)
{
    stStatusRecordFields fields = MinimalFields();
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 42, 4)};
    const QByteArray ba = EncodeStatusRecord(fields);
    stPrinterState state;
    EXPECT_EQ(Decode(ba.left(ba.size() - 1), state), -1);
    EXPECT_EQ(Decode(ba + "trailing bytes are ignored", state), 0);
}

TEST(StatusRecord, TextsEndAtAZeroByteAndDecodingGoesOnAfterTheDeclaredLength)
{
    stStatusRecordFields fields = MinimalFields();
    fields.baVenderName = QByteArray("VE\0ND", 5);
    fields.baProductName = QByteArray();
    fields.byStatusCode = 0x05;
    fields.listErrorCode = {0x0201, 0x0202};
    stPrinterState state;
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_EQ(state.strVenderName, "VE");
    EXPECT_TRUE(state.strProductName.isEmpty());
    EXPECT_EQ(state.strPrinterSerialNumber, "SN123");
    EXPECT_EQ(state.enCurrentStatus, PS_UNKNOWN);
    EXPECT_EQ(state.listError, (QList<enErrorStatus>{ERR_UNKNOWN, ERR_BREAKDOWN}));
}

TEST(StatusRecord, TextsAreLatin1)
{
    stStatusRecordFields fields = MinimalFields();
    fields.baFWVersion = Bytes({'V', 0xE9});
    stPrinterState state;
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_EQ(state.strFWVersion, QString::fromUtf8("V\xC3\xA9"));
}

TEST(StatusRecord, OverlongTextsAreCutToTheirSlots)
{
    stStatusRecordFields fields = MinimalFields();
    fields.baVenderName = QByteArray(1000, 'v');
    fields.baFWVersion = QByteArray(255, 'f');
    fields.listSupply = {stSupplyItem{SUPPLY_SERIAL_NUMBER, QByteArray(200, 's')},
                         MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 77, 2)};
    stPrinterState state;
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_EQ(state.strVenderName, QString(255, 'v'));
    EXPECT_EQ(state.strProductName, "P01");
    EXPECT_EQ(state.strFWVersion, QString(255, 'f'));
    EXPECT_EQ(state.strSupplySerialNumber, QString(64, 's'));
    EXPECT_EQ(state.dwRemainingToner, 77u);
}

TEST(StatusRecord, DecoderKeepsNothingBetweenRecords)
{
    stStatusRecordFields full = MinimalFields();
    full.listErrorCode = {0x1106};
    full.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 5000, 2), stSupplyItem{SUPPLY_SERIAL_NUMBER, "C12"}};
    const QByteArray baFull = EncodeStatusRecord(full);
    const QByteArray baBare = EncodeStatusRecord(MinimalFields());

    UtilPrinterStatus decoder;
    ASSERT_TRUE(decoder.parseRecvBuf(reinterpret_cast<const unsigned char*>(baFull.constData()), baFull.size()));
    ASSERT_TRUE(decoder.parseRecvBuf(reinterpret_cast<const unsigned char*>(baBare.constData()), baBare.size()));
    stPrinterState state;
    decoder.FillPrinterState(state);
    EXPECT_TRUE(state.listError.isEmpty());
    EXPECT_EQ(state.dwRemainingToner, 0u);
    EXPECT_TRUE(state.strSupplySerialNumber.isEmpty());
}

TEST(PrinterStatusCodes, StatusCodesMapAsThePrinterDefinesThem)
{
    EXPECT_EQ(GetPrinterStatusEnum(0), PS_READY);
    EXPECT_EQ(GetPrinterStatusEnum(1), PS_INITIALIZE);
    EXPECT_EQ(GetPrinterStatusEnum(2), PS_BUSY);
    EXPECT_EQ(GetPrinterStatusEnum(3), PS_CANCELING);
    for (unsigned long ul = 4; ul < 16; ++ul)
        EXPECT_EQ(GetPrinterStatusEnum(ul), PS_UNKNOWN) << ul;
    EXPECT_EQ(GetPrinterStatusEnum(0x10), PS_PRINTING);
    EXPECT_EQ(GetPrinterStatusEnum(0x11), PS_SCANNING);
    EXPECT_EQ(GetPrinterStatusEnum(0x12), PS_COPYING);
    EXPECT_EQ(GetPrinterStatusEnum(0x13), PS_REPORTING);
    EXPECT_EQ(GetPrinterStatusEnum(0x14), PS_UNKNOWN);
    EXPECT_EQ(GetPrinterStatusEnum(0xFF), PS_UNKNOWN);
    EXPECT_EQ(GetPrinterStatusEnum(~0ul), PS_UNKNOWN);
}

TEST(PrinterStatusCodes, ErrorCodesMapAtTheEdgesOfEveryRange)
{
    struct stCase {
        unsigned long ulCode;
        enErrorStatus enExpected;
    };
    const stCase arrCases[] = {
        {0x0100, ERR_BREAKDOWN}, {0x0101, ERR_BREAKDOWN}, {0x0102, ERR_UNKNOWN}, {0x0110, ERR_INITIAL_SETUP},
        {0x0200, ERR_BREAKDOWN}, {0x0201, ERR_UNKNOWN}, {0x0202, ERR_BREAKDOWN}, {0x1105, ERR_UNKNOWN},
        {0x1106, ERR_FRONT_COVER_OPEN}, {0x1107, ERR_UNKNOWN}, {0x1108, ERR_BREAKDOWN}, {0x1109, ERR_CARTRIDGE},
        {0x110C, ERR_CARTRIDGE}, {0x110D, ERR_TONER_LOW}, {0x110E, ERR_TONER_EMPTY_CONTINUE}, {0x110F, ERR_TONER_EMPTY_REPLACE},
        {0x1110, ERR_NO_CARTRIDGE}, {0x1111, ERR_WASTE_TONER_FULL}, {0x1112, ERR_CARTRIDGE_PAGES_LIMIT},
        {0x1114, ERR_CARTRIDGE_PAGES_LIMIT}, {0x1115, ERR_PRINTER_LIFE_END}, {0x1116, ERR_UNKNOWN}, {0x1120, ERR_UNKNOWN},
        {0x1121, ERR_WASTE_TONER_NEAR_FULL}, {0x1122, ERR_CARTRIDGE_PAGES_NEAR_LIMIT}, {0x1123, ERR_TONER_EMPTY_CONTINUE},
        {0x1124, ERR_CARTRIDGE_PAGES_NEAR_LIMIT}, {0x1125, ERR_WASTE_TONER_FULL}, {0x1126, ERR_PRINTER_LIFE_NEAR_END},
        {0x1127, ERR_PRINTER_LIFE_END}, {0x1128, ERR_PRINTER_LIFE_NEAR_END}, {0x1129, ERR_PRINTER_LIFE_NEAR_END},
        {0x112A, ERR_UNKNOWN}, {0x112F, ERR_TONER_EMPTY_CONTINUE}, {0x1130, ERR_MEMORY_OVERFLOW}, {0x1131, ERR_UNKNOWN},
        {0x1132, ERR_INVALID_SETTING}, {0x1133, ERR_TRAY_MISMATCH}, {0x1134, ERR_UNKNOWN}, {0x113F, ERR_UNKNOWN},
        {0x1140, ERR_COOLING}, {0x1141, ERR_UNKNOWN}, {0x119F, ERR_UNKNOWN}, {0x11A0, ERR_TRAY_EMPTY},
        {0x11A1, ERR_MANUAL_FEED_EMPTY}, {0x11A2, ERR_MANUAL_FEED_STOP}, {0x11A3, ERR_UNKNOWN}, {0x11AF, ERR_UNKNOWN},
        {0x11B0, ERR_JAM_INSIDE}, {0x11B8, ERR_JAM_INSIDE}, {0x11B9, ERR_UNKNOWN}, {0x11C0, ERR_JAM_TRAY},
        {0x11C6, ERR_JAM_TRAY}, {0x11C7, ERR_UNKNOWN}, {0x11D0, ERR_JAM_REAR}, {0x11D6, ERR_JAM_REAR},
        {0x11D7, ERR_UNKNOWN}, {0x11E0, ERR_PAPER_SIZE_MISMATCH}, {0x11E3, ERR_PAPER_SIZE_MISMATCH}, {0x11E4, ERR_UNKNOWN},
        {0x11EA, ERR_TONER_RUNNING_OUT}, {0x11EB, ERR_UNKNOWN}, {0x11EE, ERR_TONER_EMPTY_CONTINUE},
        {0x11EF, ERR_TONER_EMPTY_CONTINUE}, {0x11F0, ERR_UNKNOWN}, {0x1200, ERR_FIXER}, {0x1201, ERR_BREAKDOWN},
        {0x1202, ERR_BREAKDOWN}, {0x1203, ERR_LASER}, {0x1204, ERR_BREAKDOWN}, {0x1207, ERR_BREAKDOWN},
        {0x1208, ERR_UNKNOWN}, {0x1209, ERR_BREAKDOWN}, {0x120B, ERR_BREAKDOWN}, {0x120C, ERR_UNKNOWN},
        {0x1210, ERR_UNKNOWN}, {0x1211, ERR_BREAKDOWN}, {0x1212, ERR_HIGH_TEMPERATURE}, {0x1213, ERR_BREAKDOWN},
        {0x121F, ERR_BREAKDOWN}, {0x1220, ERR_UNKNOWN}, {0x2100, ERR_ADF_JAM}, {0x2101, ERR_UNKNOWN},
        {0x2102, ERR_ADF_NO_PAPER}, {0x2103, ERR_ADF_FEED}, {0x2200, ERR_NO_SCANNER}, {0x4100, ERR_BREAKDOWN_2},
        {0x4200, ERR_BREAKDOWN_2}, {0x4201, ERR_BREAKDOWN_2}, {0x4202, ERR_UNKNOWN}, {0x420F, ERR_UNKNOWN},
        {0x4210, ERR_BREAKDOWN_2}, {0x4211, ERR_FLATBED_SCAN}, {0x4212, ERR_BREAKDOWN_2}, {0x4213, ERR_ADF_SCAN_NO_PAPER},
        {0x4214, ERR_FILE_SIZE_LIMIT}, {0x4215, ERR_UNKNOWN}, {0x4F00, ERR_BREAKDOWN_2}, {0x5000, ERR_IP_CONFLICT},
        {0xE100, ERR_IP_SETTINGS}, {0x0000, ERR_UNKNOWN}, {0xFFFF, ERR_UNKNOWN}, {0x11106, ERR_UNKNOWN},
    };
    for (const stCase& c : arrCases)
        EXPECT_EQ(GetErrorStatusEnum(c.ulCode), c.enExpected) << std::hex << c.ulCode;
}

TEST(PrinterStatusCodes, NoCodeProducesTheCartridgeConditionsWithoutPrinterCodes)
{
    for (unsigned long ul = 0; ul <= 0xFFFF; ++ul) {
        const enErrorStatus en = GetErrorStatusEnum(ul);
        EXPECT_TRUE(en != ERR_CARTRIDGE_UNSUPPORTED && en != ERR_CARTRIDGE_MISMATCH && en != ERR_CARTRIDGE_INVALID
                    && en != ERR_CARTRIDGE_LIFE_NEAR_END && en != ERR_CARTRIDGE_LIFE_END)
            << std::hex << ul;
    }
}

TEST(PrinterStatusCodes, CodeInTheWarningListBecomesAWarning)
{
    stStatusRecordFields fields = MinimalFields();
    fields.listWarningCode = {0x1106};
    stPrinterState state;
    ASSERT_EQ(Decode(EncodeStatusRecord(fields), state), 0);
    EXPECT_TRUE(state.listError.isEmpty());
    EXPECT_EQ(state.listWarning, QList<enErrorStatus>{ERR_FRONT_COVER_OPEN});
    EXPECT_EQ(state.iNumberOfWarning, 1);
}

TEST(PrinterStatusCodes, TonerTypeIsAlwaysTheStandardOne)
{
    for (unsigned long ul : {0ul, 1ul, 7ul, 0xFFFFFFFFul})
        EXPECT_EQ(GetTonerTypeEnum(ul), TONER_STANDARD);
}
