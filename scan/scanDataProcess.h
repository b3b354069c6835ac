// The scan data process: reads the scanner's records one by one, writes each page into its
// own file and tells the client about every record. USB and network scans share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// A scan's page files stop growing at this many bytes in all (a fifty-page colour batch at
// 600 dpi fits); the scan then ends with SANE_STATUS_NO_MEM.
constexpr uint64_t kVornMaxScanBytes = 8ULL * 1024 * 1024 * 1024;
// Room a scan always leaves free on the scan folder's file system, beyond the blocks kept for root.
constexpr uint64_t kVornScanDiskReserveBytes = 64ULL * 1024 * 1024;

enum class enScanTransport { Usb, Tcp };

// Reads one record: status receives its ScanStatus, data/size its image bytes (size 0 for
// none). Returns the record's SANE_Status; anything but 0 ends the scan.
using ScanRecordReader = std::function<int(int& status, const unsigned char*& data, size_t& size)>;

// Runs until the reader returns non-zero or the client cannot be reached; returns the last
// reader result. Page files are "<baseName>_<page>.tmp", always new files (a file or link
// already under that name is never written through: the record then carries 11). A block that
// would take the scan past maxScanBytes, or the file system below its reserve, is not written:
// its record carries 10 and ends the scan.
int vorn_RunScanDataLoop(int clientFd, const std::string& baseName, enScanTransport transport,
                         const ScanRecordReader& readRecord, uint64_t maxScanBytes = kVornMaxScanBytes);
