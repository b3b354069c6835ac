// Builds status records from field values, the way a printer lays them out: for tests and the
// printer simulator.
#include "UtilPrinterStatus.h"

#include <algorithm>
#include <limits>

namespace {

void AppendNumber(QByteArray& ba, unsigned long ulValue, int iBytes)
{
    for (int i = iBytes - 1; i >= 0; --i)
        ba.append(char((ulValue >> (8 * i)) & 0xFF));
}

// A length field can only say so much; longer texts are cut to what it can state.
void AppendText(QByteArray& ba, const QByteArray& baText, int iLengthBytes)
{
    const int iMax = iLengthBytes == 1 ? std::numeric_limits<uint8_t>::max() : std::numeric_limits<uint16_t>::max();
    const int iLen = std::min(int(baText.size()), iMax);
    AppendNumber(ba, unsigned(iLen), iLengthBytes);
    ba.append(baText.constData(), iLen);
}

void AppendCodes(QByteArray& ba, const QList<uint16_t>& listCode)
{
    const int iCount = std::min(int(listCode.size()), int(std::numeric_limits<uint8_t>::max()));
    AppendNumber(ba, unsigned(iCount), 1);
    for (int i = 0; i < iCount; ++i)
        AppendNumber(ba, listCode[i], 2);
}

} // namespace

QByteArray EncodeStatusRecord(const stStatusRecordFields& fields)
{
    QByteArray ba = fields.baHeader;
    ba.append(5, '\0');
    AppendText(ba, fields.baVenderName, 2);
    AppendText(ba, fields.baProductName, 2);
    AppendText(ba, fields.baPrinterSerialNumber, 2);
    ba.append(2, '\0');
    ba.append(char(fields.byStatusCode));
    AppendText(ba, fields.baFWVersion, 1);
    AppendText(ba, fields.baFurtherText, 1);
    AppendCodes(ba, fields.listErrorCode);
    AppendCodes(ba, fields.listWarningCode);
    ba.append(5, '\0');
    const int iItems = std::min(int(fields.listSupply.size()), int(std::numeric_limits<uint8_t>::max()));
    AppendNumber(ba, unsigned(iItems), 1);
    for (int i = 0; i < iItems; ++i) {
        AppendNumber(ba, fields.listSupply[i].wType, 2);
        AppendText(ba, fields.listSupply[i].baValue, 1);
    }
    return ba;
}

stSupplyItem MakeNumberSupplyItem(uint16_t wType, unsigned long ulValue, int iBytes)
{
    stSupplyItem item;
    item.wType = wType;
    AppendNumber(item.baValue, ulValue, std::clamp(iBytes, 1, int(sizeof(unsigned long))));
    return item;
}
