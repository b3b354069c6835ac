// A simulated USB scanner: the device's side of the scanner's command protocol.
#include "UsbScanner.h"

#include <algorithm>

namespace {

// Header of commands and replies: 1B, class, code, sub-code, dataSize (LE16), flags, reserved.
constexpr uint8_t c_byStart = 0x1B;
constexpr uint8_t c_byClassScan = 0x53;
constexpr uint8_t c_byClassDevice = 0x44;
constexpr uint8_t c_byCodePowerOn = 0x04;
constexpr uint8_t c_byFlagSuccess = 0x80;
constexpr uint8_t c_byFlagInvalid = 0x81;
constexpr size_t c_uHeaderSize = 8;
constexpr size_t c_uRecordFieldsSize = 23;
constexpr uint8_t c_byEndpointOut = 0x02;
constexpr uint8_t c_byEndpointIn = 0x82;

// Device properties after the header: versions 1.2, no custom strings, compression 3, boundaries
// 4 and 8, two alignment bytes, processing 0x107, capabilities 3, sources 5, one alignment byte.
const std::vector<uint8_t> c_vecProperties = {1, 2, 0, 3, 4, 8, 0, 0, 0x07, 0x01, 0, 0, 0x03, 0x00, 0x05, 0};
constexpr size_t c_uCompressionAt = 3;
constexpr size_t c_uSourcesAt = 14;
constexpr uint8_t c_byScanSizeCount = 3;

void PutLe16(std::vector<uint8_t>& vec, size_t uOffset, uint16_t wValue)
{
    vec[uOffset] = uint8_t(wValue & 0xFF);
    vec[uOffset + 1] = uint8_t(wValue >> 8);
}

std::vector<uint8_t> Header(uint8_t byClass, uint8_t byCode, uint8_t byFlag, uint16_t wDataSize)
{
    std::vector<uint8_t> vec = {c_byStart, byClass, byCode, 0, 0, 0, byFlag, 0};
    PutLe16(vec, 4, wDataSize);
    return vec;
}

}  // namespace

stUsbDeviceDescription UsbScanner::Description(const std::string& strSerialNumber)
{
    stUsbDeviceDescription description;
    description.wVendorId = c_wVendorId;
    description.wProductId = c_wProductId;
    description.strManufacturer = "Vorn";
    description.strProduct = "Vorn VC5100DN Scanner";
    description.strSerialNumber = strSerialNumber;
    // Vendor-specific interface with the two bulk endpoints the daemon uses.
    description.listInterface = {
        {0, 0xFF, 0, 0, {{c_byEndpointOut, enUsbTransferType::Bulk}, {c_byEndpointIn, enUsbTransferType::Bulk}}}};
    return description;
}

UsbScanner::UsbScanner(stUsbDeviceDescription description)
    : UsbSimDevice(std::move(description)), m_vecProperties(c_vecProperties)
{
}

void UsbScanner::SetProperties(uint8_t byCompression, uint8_t bySources)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecProperties[c_uCompressionAt] = byCompression;
    m_vecProperties[c_uSourcesAt] = bySources;
}

void UsbScanner::SetReplyFlag(uint8_t byCmdCode, uint8_t byFlag)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mapReplyFlag[byCmdCode] = byFlag;
}

void UsbScanner::SetAdfStatus(uint8_t byStatus)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_byAdfStatus = byStatus;
}

void UsbScanner::SetWarmUpSeconds(uint8_t bySeconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_byWarmUpSeconds = bySeconds;
}

void UsbScanner::SetReplyPadding(uint16_t wBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wReplyPadding = wBytes;
}

void UsbScanner::SetScan(const std::vector<std::vector<uint8_t>>& listPages, size_t uRecordBytes, int iAbortAfterPages)
{
    uRecordBytes = std::clamp<size_t>(uRecordBytes, 1, UINT16_MAX - c_uRecordFieldsSize);
    std::vector<std::vector<uint8_t>> list = {DataRecord(StatusBeginOfScan, c_uRecordFieldsSize)};
    for (size_t uPage = 0; uPage < listPages.size() && int(uPage) != iAbortAfterPages; ++uPage) {
        const std::vector<uint8_t>& vecPage = listPages[uPage];
        list.push_back(DataRecord(StatusBeginOfPage, c_uRecordFieldsSize));
        for (size_t uOffset = 0; uOffset < vecPage.size(); uOffset += uRecordBytes) {
            size_t uBytes = std::min(uRecordBytes, vecPage.size() - uOffset);
            list.push_back(DataRecord(StatusData, uint16_t(c_uRecordFieldsSize + uBytes)));
            list.emplace_back(vecPage.begin() + long(uOffset), vecPage.begin() + long(uOffset + uBytes));
        }
        list.push_back(DataRecord(StatusEndOfPage, c_uRecordFieldsSize));
    }
    if (iAbortAfterPages >= 0)
        list.push_back(Header(c_byClassScan, CodeAbort, c_byFlagSuccess, 0));
    else
        list.push_back(DataRecord(StatusEndOfData, c_uRecordFieldsSize));
    SetScanTransfers(std::move(list));
}

void UsbScanner::SetScanTransfers(std::vector<std::vector<uint8_t>> listTransfers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listScanTransfers = std::move(listTransfers);
}

void UsbScanner::QueueTransfer(std::vector<uint8_t> vecBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queueIn.push_back(std::move(vecBytes));
}

std::vector<uint8_t> UsbScanner::DataRecord(uint8_t byStatus, uint16_t wDataSize)
{
    std::vector<uint8_t> vec = Header(c_byClassScan, CodeRecord, c_byFlagSuccess, wDataSize);
    vec.resize(c_uHeaderSize + c_uRecordFieldsSize, 0);
    vec[c_uHeaderSize] = byStatus;
    return vec;
}

std::vector<uint8_t> UsbScanner::ReplyHeader(uint8_t byCmdCode, uint8_t byFlag, uint16_t wDataSize)
{
    return Header(c_byClassScan, byCmdCode, byFlag, wDataSize);
}

std::vector<std::vector<uint8_t>> UsbScanner::ReceivedCommands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listReceived;
}

size_t UsbScanner::PendingTransfers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queueIn.size();
}

std::vector<uint8_t> UsbScanner::ReplyTo(uint8_t byClass, uint8_t byCode) const
{
    bool bKnown = byClass == c_byClassDevice ? byCode == c_byCodePowerOn
                                             : byClass == c_byClassScan && byCode != CodeRecord;
    auto it = m_mapReplyFlag.find(byCode);
    uint8_t byFlag = !bKnown ? c_byFlagInvalid : it != m_mapReplyFlag.end() ? it->second : c_byFlagSuccess;

    std::vector<uint8_t> vecBody;
    if (byClass == c_byClassDevice)
        vecBody = {m_byWarmUpSeconds};
    else if (byCode == CodeProperties)
        vecBody = m_vecProperties;
    else if (byCode == CodeGetSizes)
        vecBody = {c_byScanSizeCount};
    vecBody.resize(vecBody.size() + m_wReplyPadding, 0);

    std::vector<uint8_t> vecReply = Header(byClass, byCode, byFlag, uint16_t(vecBody.size()));
    if (byClass == c_byClassScan && byCode == CodeAdfStatus)
        vecReply[7] = m_byAdfStatus;
    vecReply.insert(vecReply.end(), vecBody.begin(), vecBody.end());
    return vecReply;
}

int UsbScanner::HandleBulkOut(uint8_t byEndpoint, const std::vector<uint8_t>& vecData)
{
    if (byEndpoint != c_byEndpointOut)
        return c_iStall;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listReceived.push_back(vecData);
    if (vecData.size() < c_uHeaderSize || vecData[0] != c_byStart)
        return int(vecData.size());

    uint8_t byClass = vecData[1];
    uint8_t byCode = vecData[2];
    if (byClass == c_byClassScan && byCode == CodeAbort) {
        // The scan stops at once; the scanner still confirms the abort, which the host does not read.
        m_queueIn.clear();
        m_uFrontOffset = 0;
        m_queueIn.push_back(Header(c_byClassScan, CodeAbort, c_byFlagSuccess, 0));
        return int(vecData.size());
    }
    std::vector<uint8_t> vecReply = ReplyTo(byClass, byCode);
    bool bStarted = byClass == c_byClassScan && byCode == CodeStart && vecReply[6] == c_byFlagSuccess;
    m_queueIn.push_back(std::move(vecReply));
    if (bStarted)
        m_queueIn.insert(m_queueIn.end(), m_listScanTransfers.begin(), m_listScanTransfers.end());
    return int(vecData.size());
}

int UsbScanner::HandleBulkIn(uint8_t byEndpoint, std::vector<uint8_t>& vecData, size_t uMaxLength)
{
    if (byEndpoint != c_byEndpointIn)
        return c_iStall;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queueIn.empty())
        return c_iNoDataYet;
    // A read never crosses into the next transfer: a transfer ends with a short packet on the wire.
    const std::vector<uint8_t>& vecFront = m_queueIn.front();
    size_t uBytes = std::min(uMaxLength, vecFront.size() - m_uFrontOffset);
    vecData.assign(vecFront.begin() + long(m_uFrontOffset), vecFront.begin() + long(m_uFrontOffset + uBytes));
    m_uFrontOffset += uBytes;
    if (m_uFrontOffset == vecFront.size()) {
        m_queueIn.pop_front();
        m_uFrontOffset = 0;
    }
    return int(uBytes);
}

int UsbScanner::Resets() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iResets;
}

void UsbScanner::HandleReset(enUsbReset)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_iResets;
}
