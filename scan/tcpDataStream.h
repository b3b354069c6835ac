// The network scanner's raw data stream on its data port: the job header, then blocks that are
// either a marker (new page, job done, job cancelled) or image bytes, read record by record.
#pragma once

#include "commDef.h"

#include <vector>

// Data stream layout:
//   job header   20 bytes, bytes 8-13 six ASCII digits = size of the header body that follows
//   block header 18 bytes: a marker below, or bytes 6-11 six ASCII digits = size of a data block
//   page header  18 bytes after NEWFILE, bytes 6-11 six ASCII digits = size of a discarded body
constexpr int kJobHeaderSize = 20;
constexpr int kJobHeaderDigitsOffset = 8;
constexpr int kBlockHeaderSize = 18;
constexpr int kBlockHeaderDigitsOffset = 6;
constexpr int kHeaderDigitsCount = 6;
constexpr const char* kMarkerNewFile = "NEWFILE          \n";
constexpr const char* kMarkerJobDone = "JOBDONE          \n";
constexpr const char* kMarkerJobCancel = "JOBCANCEL        \n";

// Size in the six ASCII digits at header[offset]; -1 when they are not digits.
int vorn_ParseHeaderSize(const unsigned char* header, int offset);

// Reads a header of headerSize bytes (at most kJobHeaderSize) whose size digits sit at
// digitsOffset, then its body, which is discarded. Returns 0, or the status to give up with; the
// caller closes what it opened.
int vorn_tcp_SkipHeader(int fd, int headerSize, int digitsOffset);

// Closes the open data connection and marks the socket as having none.
void vorn_tcp_CloseDataConnection(VornSocket* sock);

// Reads one record of the data stream; readSize is 0 for markers. Every ending (job done,
// cancel, a broken stream) closes the data connection and sets tcpFromScanner to -1.
int vorn_tcp_ScanRecord(VornSocket* sock, int& status, std::vector<unsigned char>& buffer, int& readSize);
