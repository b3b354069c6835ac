// A simulated USB scanner for the scan daemon's tests: answers the scanner's 8-byte commands on
// bulk OUT 0x02 with flagged replies on bulk IN 0x82, and after a start plays a scripted scan as
// data records. Written from the device's side of the protocol, independent of the daemon's code.
#pragma once

#include "UsbSimDevice.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

class UsbScanner : public UsbSimDevice {
public:
    static constexpr uint16_t c_wVendorId = 0x3C7A;
    static constexpr uint16_t c_wProductId = 0x2001;

    // Command codes of the "S" class, and the data-record statuses the scanner sends.
    enum : uint8_t { CodeStart = 0x01, CodeRecord = 0x02, CodeProperties = 0x03, CodeAdfStatus = 0x04,
                     CodeLock = 0x05, CodeUnlock = 0x06, CodeGetSizes = 0x0A, CodeAbort = 0x0F };
    enum : uint8_t { StatusData = 0, StatusEndOfData = 1, StatusEndOfPage = 7, StatusBeginOfScan = 8,
                     StatusBeginOfPage = 9 };

    // A scanner with vendor c_wVendorId, product c_wProductId and the given serial number.
    static stUsbDeviceDescription Description(const std::string& strSerialNumber = "VS0001");
    explicit UsbScanner(stUsbDeviceDescription description = Description());

    // The flag byte of the replies to one command code (0x80, success, by default).
    void SetReplyFlag(uint8_t byCmdCode, uint8_t byFlag);
    void SetAdfStatus(uint8_t byStatus);
    void SetWarmUpSeconds(uint8_t bySeconds);
    // The compression and sources bytes of the device-properties reply (3 and 5 by default).
    void SetProperties(uint8_t byCompression, uint8_t bySources);
    // Extra bytes after the header of every reply (dataSize grows with them), for oversize replies.
    void SetReplyPadding(uint16_t wBytes);

    // The scan played after a start that succeeds: each page as its image bytes, sent in data
    // records of at most uRecordBytes image bytes each. With iAbortAfterPages >= 0 the scanner
    // sends an abort of its own after that many pages instead of the end of data.
    void SetScan(const std::vector<std::vector<uint8_t>>& listPages, size_t uRecordBytes = 4096,
                 int iAbortAfterPages = -1);
    // A scan given as the raw transfers to play after a start that succeeds (malformed scans).
    void SetScanTransfers(std::vector<std::vector<uint8_t>> listTransfers);

    // Transfers handed out before anything else, e.g. stale records left from an earlier scan.
    void QueueTransfer(std::vector<uint8_t> vecBytes);
    // A data record header with its 23 record bytes (status first); dataSize as given.
    static std::vector<uint8_t> DataRecord(uint8_t byStatus, uint16_t wDataSize);
    // The header of a reply to a command of class "S".
    static std::vector<uint8_t> ReplyHeader(uint8_t byCmdCode, uint8_t byFlag, uint16_t wDataSize = 0);

    // Every command received so far, as sent.
    std::vector<std::vector<uint8_t>> ReceivedCommands() const;
    // Transfers still waiting to be read.
    size_t PendingTransfers() const;
    // Resets of the device, of an endpoint and endpoint-halt clears received so far, together.
    int Resets() const;

    int HandleBulkOut(uint8_t byEndpoint, const std::vector<uint8_t>& vecData) override;
    int HandleBulkIn(uint8_t byEndpoint, std::vector<uint8_t>& vecData, size_t uMaxLength) override;
    void HandleReset(enUsbReset reset) override;

private:
    std::vector<uint8_t> ReplyTo(uint8_t byClass, uint8_t byCode) const;

    mutable std::mutex m_mutex;  // guards everything below: handlers run on umockdev's thread
    std::map<uint8_t, uint8_t> m_mapReplyFlag;
    uint8_t m_byAdfStatus = 2;  // paper loaded
    uint8_t m_byWarmUpSeconds = 0;
    uint16_t m_wReplyPadding = 0;
    std::vector<uint8_t> m_vecProperties;
    std::vector<std::vector<uint8_t>> m_listScanTransfers;
    std::deque<std::vector<uint8_t>> m_queueIn;
    size_t m_uFrontOffset = 0;  // bytes of the front transfer already read
    std::vector<std::vector<uint8_t>> m_listReceived;
    int m_iResets = 0;
};
