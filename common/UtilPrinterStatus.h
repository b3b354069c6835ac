// The printer status record: its decoder, the state fill, and an encoder that builds records
// from field values for tests and the printer simulator.
#pragma once

#include "PrinterRecords.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <vector>

// Supply item types inside a status record.
enum enSupplyItemType : unsigned long {
    SUPPLY_SERIAL_NUMBER = 0x0000,
    SUPPLY_TYPE = 0x0001,
    SUPPLY_REMAINING_TONER = 0x1000,
    SUPPLY_WASTE_TONER = 0x1001,
    SUPPLY_OPC_ROTATION = 0x1002,
    SUPPLY_NUMBER_OF_PAGES = 0x1003,
    SUPPLY_NUMBER_OF_PRINT = 0x1004,
    SUPPLY_PRINT_DOTS_COUNT = 0x1100,
    SUPPLY_PRINTER_NUM_OF_PAGES = 0x1101,
    SUPPLY_PRINTER_NUM_OF_PRINT = 0x1102,
};

class UtilPrinterStatus {
public:
    static constexpr int c_iTextSlotBytes = 255;
    static constexpr int c_iSupplySerialSlotBytes = 64;
    static constexpr int c_iSupplyScratchBytes = 64;

    UtilPrinterStatus();

    // Decodes one record; true when every declared field down to the last supply item lies
    // within ulLen. Texts longer than their slot are cut to the slot.
    bool parseRecvBuf(const unsigned char* pBuf, unsigned long ulLen);
    void setSuppliesData(unsigned long ulType, const unsigned char* pValue, unsigned long ulLen);
    static unsigned long byteToDWORD(const unsigned char* pValue, unsigned long ulLen);

    // The state fill after a successful decode: a fresh state with iFailCount 0.
    void FillPrinterState(stPrinterState& state) const;

private:
    void Reset();

    char m_szVenderName[c_iTextSlotBytes + 1];
    char m_szProductName[c_iTextSlotBytes + 1];
    char m_szPrinterSerialNumber[c_iTextSlotBytes + 1];
    char m_szFWVersion[c_iTextSlotBytes + 1];
    char m_szFurtherText[c_iTextSlotBytes + 1];
    char m_szSupplySerialNumber[c_iSupplySerialSlotBytes + 1];
    unsigned long m_ulStatusCode;
    unsigned long m_ulNumberOfError;
    unsigned long m_ulNumberOfWarning;
    std::vector<unsigned long> m_vecErrorCode;
    std::vector<unsigned long> m_vecWarningCode;
    unsigned long m_ulSupplyCount;
    unsigned long m_ulSupplyType;
    unsigned long m_dwRemainingToner;
    unsigned long m_dwWasteToner;
    unsigned long m_dwOPCRotation;
    unsigned long m_dwNumberOfPages;
    unsigned long m_dwNumberOfPrint;
    unsigned long m_dwPrintDotsCount;
    unsigned long m_dwPrinterNumOfPages;
    unsigned long m_dwPrinterNumOfPrint;
};

// Decodes a whole record (header included) into state; 0, or -1 with state untouched.
int DecodeStatusRecord(const QByteArray& baRecord, stPrinterState& state);

// Field values of one status record, for the encoder.
struct stSupplyItem {
    uint16_t wType = 0;
    QByteArray baValue;
};
struct stStatusRecordFields {
    QByteArray baHeader = QByteArray(7, '\0');
    QByteArray baVenderName;
    QByteArray baProductName;
    QByteArray baPrinterSerialNumber;
    uint8_t byStatusCode = 0;
    QByteArray baFWVersion;
    QByteArray baFurtherText;
    QList<uint16_t> listErrorCode;
    QList<uint16_t> listWarningCode;
    QList<stSupplyItem> listSupply;
};

// Builds the record bytes in wire order; the inverse of parseRecvBuf.
QByteArray EncodeStatusRecord(const stStatusRecordFields& fields);
// A supply item whose value is a big-endian number of iBytes bytes (2 to 4).
stSupplyItem MakeNumberSupplyItem(uint16_t wType, unsigned long ulValue, int iBytes = 4);
