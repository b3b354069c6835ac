// The scan data process loop shared by USB and network scans.
#include "scanDataProcess.h"

#include "scanConnection.h"
#include "commDef.h"
#include "daemonHelper.h"
#include "scanFiles.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr int kExtraWriteAttempts = 10;

struct stRecordTexts {
    const char* writeError;
    const char* sendError;
    const char* createErrorSendError;
    const char* exitLine;
};

constexpr const char* kScanLimitLine = "[VornScanSDK] scan data limit reached, %llu bytes written";

constexpr stRecordTexts kUsbTexts = {
    "[VornScanSDK] usb send scan data err",
    "[VornScanSDK] usb send scan data len err",
    "[VornScanSDK] usb USBScanRecordRes err",
    "[VornScanSDK] usb scan record process exit:%d pid:%d",
};
constexpr stRecordTexts kTcpTexts = {
    "[VornScanSDK] send scan data err",
    "[VornScanSDK] send scan data len err",
    "[VornScanSDK] usb TCPRecordRes err",
    "[VornScanSDK] tcp scan record process exit:%d pid:%d",
};

// USB records put the status first, network records the result first.
bool SendRecord(int clientFd, enScanTransport transport, int status, int fileIndex, int size, int result)
{
    if (transport == enScanTransport::Usb) {
        const USBScanRecordRes record {status, fileIndex, size, result};
        return serverTcpSendWithRetry(clientFd, &record, sizeof record, 0) == sizeof record;
    }
    const TCPRecordRes record {result, size, fileIndex, status};
    return serverTcpSendWithRetry(clientFd, &record, sizeof record, 0) == sizeof record;
}

bool WriteAll(int fd, const unsigned char* data, size_t size)
{
    size_t written = 0;
    for (int attempt = 0; attempt <= kExtraWriteAttempts && written < size; ++attempt) {
        const ssize_t count = write(fd, data + written, size - written);
        if (count > 0)
            written += count;
    }
    return written == size;
}

int OpenPageFile(const std::string& baseName, int page)
{
    const std::string name = vorn_PageFileName(baseName, page);
    // Never through a link or into a file someone placed under the name beforehand.
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kVornScanFileMode);
}

// True when size more bytes keep the scan within its bound and leave the file system its reserve.
bool HasRoomFor(int pageFd, uint64_t written, size_t size, uint64_t maxScanBytes)
{
    if (written + size > maxScanBytes)
        return false;
    struct statvfs space {};
    if (fstatvfs(pageFd, &space) != 0)
        return true;  // no figure to judge by; the bound above still holds
    // f_bavail leaves out the blocks the file system keeps for root: a root daemon must not eat them.
    const uint64_t available = static_cast<uint64_t>(space.f_bavail) * space.f_frsize;
    return available >= size + kVornScanDiskReserveBytes;
}

} // namespace

int vorn_RunScanDataLoop(int clientFd, const std::string& baseName, enScanTransport transport,
                         const ScanRecordReader& readRecord, uint64_t maxScanBytes)
{
    const stRecordTexts& texts = transport == enScanTransport::Usb ? kUsbTexts : kTcpTexts;
    int pageCounter = 0;
    int pageFd = -1;
    bool firstRecord = true;
    uint64_t written = 0;
    int result = SANE_STATUS_GOOD;
    do {
        const int fileIndex = pageCounter;
        int status = SCAN_STATUS_OPERATION_CONTINUOUS;
        const unsigned char* data = nullptr;
        size_t size = 0;
        result = readRecord(status, data, size);
        // The network stream has no page-begin record before its first page.
        if (transport == enScanTransport::Tcp && firstRecord && result == SANE_STATUS_GOOD)
            status = SCAN_STATUS_BEGIN_OF_PAGE;
        firstRecord = false;
        const bool hasData = result == SANE_STATUS_GOOD && size > 0 && data != nullptr;
        // Image bytes with no page open (a device that skipped its page-begin record) start
        // a page rather than being dropped.
        if (status == SCAN_STATUS_BEGIN_OF_PAGE || (hasData && pageFd < 0)) {
            if (pageFd >= 0)
                close(pageFd);
            pageFd = OpenPageFile(baseName, pageCounter);
            if (pageFd < 0) {
                if (!SendRecord(clientFd, transport, SCAN_STATUS_OPERATION_CONTINUOUS, fileIndex, 0,
                                SANE_STATUS_ACCESS_DENIED))
                    vorn_log_err("%s", texts.createErrorSendError);
                result = SANE_STATUS_ACCESS_DENIED;
                break;
            }
            ++pageCounter;
        }
        int recordResult = result;
        if (hasData && !HasRoomFor(pageFd, written, size, maxScanBytes)) {
            vorn_log_err(kScanLimitLine, static_cast<unsigned long long>(written));
            result = recordResult = SANE_STATUS_NO_MEM;
            size = 0;
        } else if (hasData) {
            if (!WriteAll(pageFd, data, size)) {
                vorn_log_err("%s", texts.writeError);
                recordResult = SANE_STATUS_IO_ERROR;
            }
            written += size;
        }
        if (!SendRecord(clientFd, transport, status, fileIndex, static_cast<int>(size), recordResult)) {
            vorn_log_err("%s", texts.sendError);
            break;
        }
    } while (result == SANE_STATUS_GOOD);
    if (pageFd >= 0)
        close(pageFd);
    vorn_log_info(texts.exitLine, result, static_cast<int>(getpid()));
    return result;
}
