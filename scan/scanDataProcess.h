// The scan data process: reads the scanner's records one by one, writes each page into its
// own file and tells the client about every record. USB and network scans share it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

enum class enScanTransport { Usb, Tcp };

// Reads one record: status receives its ScanStatus, data/size its image bytes (size 0 for
// none). Returns the record's SANE_Status; anything but 0 ends the scan.
using ScanRecordReader = std::function<int(int& status, const unsigned char*& data, size_t& size)>;

// Runs until the reader returns non-zero or the client cannot be reached; returns the last
// reader result. Page files are "<baseName>_<page>.tmp".
int vorn_RunScanDataLoop(int clientFd, const std::string& baseName, enScanTransport transport,
                         const ScanRecordReader& readRecord);
