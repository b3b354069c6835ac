// Decoder of the printer status record. Every read is checked against the given length first,
// and every text is cut to its slot, so a short or hostile record can only fail the decode.
#include "UtilPrinterStatus.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads big-endian fields in record order and refuses any read past the end.
class RecordCursor {
public:
    RecordCursor(const unsigned char* pBuf, unsigned long ulLen)
        : m_pBuf(pBuf)
        , m_ulLen(pBuf ? ulLen : 0)
    {
    }

    bool Skip(unsigned long ulBytes)
    {
        if (!Has(ulBytes))
            return false;
        m_ulPos += ulBytes;
        return true;
    }

    bool ReadNumber(unsigned long ulBytes, unsigned long& ulValue)
    {
        if (!Has(ulBytes))
            return false;
        ulValue = 0;
        for (unsigned long i = 0; i < ulBytes; ++i)
            ulValue = (ulValue << 8) | m_pBuf[m_ulPos + i];
        m_ulPos += ulBytes;
        return true;
    }

    // Points pBytes at the next ulBytes bytes and moves past them.
    bool ReadBytes(unsigned long ulBytes, const unsigned char*& pBytes)
    {
        if (!Has(ulBytes))
            return false;
        pBytes = m_pBuf + m_ulPos;
        m_ulPos += ulBytes;
        return true;
    }

private:
    bool Has(unsigned long ulBytes) const { return ulBytes <= m_ulLen - m_ulPos; }

    const unsigned char* m_pBuf;
    unsigned long m_ulLen;
    unsigned long m_ulPos = 0;
};

// Record layout after the 7-byte header (all numbers big-endian):
//   7      1      not interpreted
//   8      2      not interpreted
//   10     2      not interpreted
//   12     2+V    vendor name          2+P  product name       2+S  printer serial number
//   next   2      not interpreted      1    printer status code
//   next   1+F    firmware version     1+X  further text
//   next   1+2E   error codes          1+2W warning codes
//   next   1,2,2  not interpreted      1    supply item count N
//   next   N x (type 2, length 1, value L)
constexpr unsigned long c_ulHeaderBytes = 7;
constexpr unsigned long c_ulLeadingFieldsBytes = 1 + 2 + 2;
constexpr unsigned long c_ulBeforeStatusBytes = 2;
constexpr unsigned long c_ulBeforeSupplyCountBytes = 1 + 2 + 2;
constexpr unsigned long c_ulLongLengthBytes = 2;
constexpr unsigned long c_ulShortLengthBytes = 1;
constexpr unsigned long c_ulCodeBytes = 2;
constexpr unsigned long c_ulSupplyTypeBytes = 2;

// Copies a text into its slot: cut to the slot, ended at the first zero byte, always terminated.
void CopyText(char* szSlot, unsigned long ulSlotBytes, const unsigned char* pText, unsigned long ulLen)
{
    const unsigned long ulCopy = std::min(ulLen, ulSlotBytes);
    if (ulCopy > 0)
        std::memcpy(szSlot, pText, ulCopy);
    szSlot[ulCopy] = '\0';
}

bool ReadLengthPrefixedText(RecordCursor& cursor, unsigned long ulLengthBytes, char* szSlot, unsigned long ulSlotBytes)
{
    unsigned long ulLen = 0;
    const unsigned char* pText = nullptr;
    if (!cursor.ReadNumber(ulLengthBytes, ulLen) || !cursor.ReadBytes(ulLen, pText))
        return false;
    CopyText(szSlot, ulSlotBytes, pText, ulLen);
    return true;
}

bool ReadCodeList(RecordCursor& cursor, unsigned long& ulCount, std::vector<unsigned long>& vecCode)
{
    if (!cursor.ReadNumber(c_ulShortLengthBytes, ulCount))
        return false;
    for (unsigned long i = 0; i < ulCount; ++i) {
        unsigned long ulCode = 0;
        if (!cursor.ReadNumber(c_ulCodeBytes, ulCode))
            return false;
        vecCode.push_back(ulCode);
    }
    return true;
}

QString TextFromSlot(const char* szSlot)
{
    return QString::fromLatin1(szSlot);
}

QList<enErrorStatus> MapCodes(const std::vector<unsigned long>& vecCode)
{
    QList<enErrorStatus> list;
    for (unsigned long ulCode : vecCode)
        list.append(GetErrorStatusEnum(ulCode));
    return list;
}

} // namespace

UtilPrinterStatus::UtilPrinterStatus()
{
    Reset();
}

void UtilPrinterStatus::Reset()
{
    m_szVenderName[0] = '\0';
    m_szProductName[0] = '\0';
    m_szPrinterSerialNumber[0] = '\0';
    m_szFWVersion[0] = '\0';
    m_szFurtherText[0] = '\0';
    m_szSupplySerialNumber[0] = '\0';
    m_ulStatusCode = 0;
    m_ulNumberOfError = 0;
    m_ulNumberOfWarning = 0;
    m_vecErrorCode.clear();
    m_vecWarningCode.clear();
    m_ulSupplyCount = 0;
    m_ulSupplyType = 0;
    m_dwRemainingToner = 0;
    m_dwWasteToner = 0;
    m_dwOPCRotation = 0;
    m_dwNumberOfPages = 0;
    m_dwNumberOfPrint = 0;
    m_dwPrintDotsCount = 0;
    m_dwPrinterNumOfPages = 0;
    m_dwPrinterNumOfPrint = 0;
}

bool UtilPrinterStatus::parseRecvBuf(const unsigned char* pBuf, unsigned long ulLen)
{
    Reset();
    RecordCursor cursor(pBuf, ulLen);
    if (!cursor.Skip(c_ulHeaderBytes) || !cursor.Skip(c_ulLeadingFieldsBytes))
        return false;
    if (!ReadLengthPrefixedText(cursor, c_ulLongLengthBytes, m_szVenderName, c_iTextSlotBytes)
        || !ReadLengthPrefixedText(cursor, c_ulLongLengthBytes, m_szProductName, c_iTextSlotBytes)
        || !ReadLengthPrefixedText(cursor, c_ulLongLengthBytes, m_szPrinterSerialNumber, c_iTextSlotBytes))
        return false;
    if (!cursor.Skip(c_ulBeforeStatusBytes) || !cursor.ReadNumber(1, m_ulStatusCode))
        return false;
    if (!ReadLengthPrefixedText(cursor, c_ulShortLengthBytes, m_szFWVersion, c_iTextSlotBytes)
        || !ReadLengthPrefixedText(cursor, c_ulShortLengthBytes, m_szFurtherText, c_iTextSlotBytes))
        return false;
    if (!ReadCodeList(cursor, m_ulNumberOfError, m_vecErrorCode)
        || !ReadCodeList(cursor, m_ulNumberOfWarning, m_vecWarningCode))
        return false;
    if (!cursor.Skip(c_ulBeforeSupplyCountBytes) || !cursor.ReadNumber(c_ulShortLengthBytes, m_ulSupplyCount))
        return false;

    for (unsigned long i = 0; i < m_ulSupplyCount; ++i) {
        unsigned long ulType = 0;
        unsigned long ulValueLen = 0;
        const unsigned char* pValue = nullptr;
        if (!cursor.ReadNumber(c_ulSupplyTypeBytes, ulType) || !cursor.ReadNumber(c_ulShortLengthBytes, ulValueLen)
            || !cursor.ReadBytes(ulValueLen, pValue))
            return false;
        // Values longer than the scratch area are cut to it, like texts to their slots.
        unsigned char arrScratch[c_iSupplyScratchBytes] = {};
        const unsigned long ulScratchLen = std::min<unsigned long>(ulValueLen, c_iSupplyScratchBytes);
        if (ulScratchLen > 0)
            std::memcpy(arrScratch, pValue, ulScratchLen);
        setSuppliesData(ulType, arrScratch, ulScratchLen);
    }
    return true;
}

void UtilPrinterStatus::setSuppliesData(unsigned long ulType, const unsigned char* pValue, unsigned long ulLen)
{
    if (!pValue)
        ulLen = 0;
    switch (ulType) {
    case SUPPLY_SERIAL_NUMBER:
        CopyText(m_szSupplySerialNumber, c_iSupplySerialSlotBytes, pValue, ulLen);
        return;
    case SUPPLY_TYPE:
        m_ulSupplyType = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_REMAINING_TONER:
        m_dwRemainingToner = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_WASTE_TONER:
        m_dwWasteToner = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_OPC_ROTATION:
        m_dwOPCRotation = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_NUMBER_OF_PAGES:
        m_dwNumberOfPages = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_NUMBER_OF_PRINT:
        m_dwNumberOfPrint = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_PRINT_DOTS_COUNT:
        m_dwPrintDotsCount = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_PRINTER_NUM_OF_PAGES:
        m_dwPrinterNumOfPages = byteToDWORD(pValue, ulLen);
        return;
    case SUPPLY_PRINTER_NUM_OF_PRINT:
        m_dwPrinterNumOfPrint = byteToDWORD(pValue, ulLen);
        return;
    default:
        return;
    }
}

// Two to four bytes are a big-endian number; any other length counts as its first byte alone,
// and an empty value as 0.
unsigned long UtilPrinterStatus::byteToDWORD(const unsigned char* pValue, unsigned long ulLen)
{
    if (!pValue || ulLen == 0)
        return 0;
    if (ulLen < 2 || ulLen > 4)
        return pValue[0];
    unsigned long ulValue = 0;
    for (unsigned long i = 0; i < ulLen; ++i)
        ulValue = (ulValue << 8) | pValue[i];
    return ulValue;
}

void UtilPrinterStatus::FillPrinterState(stPrinterState& state) const
{
    state = stPrinterState();
    state.strPrinterSerialNumber = TextFromSlot(m_szPrinterSerialNumber);
    state.strFWVersion = TextFromSlot(m_szFWVersion);
    state.strVenderName = TextFromSlot(m_szVenderName);
    state.strProductName = TextFromSlot(m_szProductName);
    state.strSupplySerialNumber = TextFromSlot(m_szSupplySerialNumber);
    state.enCurrentStatus = GetPrinterStatusEnum(m_ulStatusCode);
    state.iNumberOfError = static_cast<int>(m_ulNumberOfError);
    state.iNumberOfWarning = static_cast<int>(m_ulNumberOfWarning);
    state.listError = MapCodes(m_vecErrorCode);
    state.listWarning = MapCodes(m_vecWarningCode);
    state.enSpplyType = GetTonerTypeEnum(m_ulSupplyType);
    state.dwRemainingToner = m_dwRemainingToner;
    state.dwWasteToner = m_dwWasteToner;
    state.dwOPCRotation = m_dwOPCRotation;
    state.dwNumberOfPages = m_dwNumberOfPages;
    state.dwNumberOfPrint = m_dwNumberOfPrint;
    state.dwPrintDotsCount = m_dwPrintDotsCount;
    state.dwPrinterNumOfPages = m_dwPrinterNumOfPages;
    state.dwPrinterNumOfPrint = m_dwPrinterNumOfPrint;
    state.iFailCount = 0;
}

int DecodeStatusRecord(const QByteArray& baRecord, stPrinterState& state)
{
    UtilPrinterStatus decoder;
    if (!decoder.parseRecvBuf(reinterpret_cast<const unsigned char*>(baRecord.constData()),
                              static_cast<unsigned long>(baRecord.size())))
        return -1;
    decoder.FillPrinterState(state);
    return 0;
}
