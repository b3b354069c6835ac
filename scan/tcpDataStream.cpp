// Parser of the network scanner's data stream: headers, markers and image blocks.
#include "tcpDataStream.h"

#include "daemonHelper.h"
#include "tcpcommanddef.h"

#include <cstring>
#include <new>

namespace {

constexpr const char* kBlockHeaderError = "[VornScanSDK] vorn_tcp_recv_with_retry blockdata err";

} // namespace

void vorn_tcp_CloseDataConnection(VornSocket* sock)
{
    vorn_close_tcp(sock->tcpFromScanner);
    sock->tcpFromScanner = -1;
}

int vorn_ParseHeaderSize(const unsigned char* header, int offset)
{
    int value = 0;
    for (int i = 0; i < kHeaderDigitsCount; ++i) {
        const unsigned char digit = header[offset + i];
        if (digit < '0' || digit > '9')
            return -1;
        value = value * 10 + (digit - '0');
    }
    return value;
}

int vorn_tcp_SkipHeader(int fd, int headerSize, int digitsOffset)
{
    unsigned char header[kJobHeaderSize] = {};
    if (vorn_tcp_recv_with_retry(fd, header, headerSize) != 0) {
        vorn_log_err("[VornScanSDK] recv record scan data err");
        return SANE_STATUS_IO_ERROR;
    }
    const int bodySize = vorn_ParseHeaderSize(header, digitsOffset);
    if (bodySize < 0) {
        vorn_log_err("[VornScanSDK] recv record scan data err");
        return SANE_STATUS_IO_ERROR;
    }
    std::vector<unsigned char> body;
    try {
        body.resize(bodySize);
    } catch (const std::bad_alloc&) {
        vorn_log_err("[VornScanSDK] realloc record headerBuffer error");
        return SANE_STATUS_NO_MEM;
    }
    if (bodySize > 0 && vorn_tcp_recv_with_retry(fd, body.data(), bodySize) != 0) {
        vorn_log_err("[VornScanSDK] recv record header data error");
        return SANE_STATUS_IO_ERROR;
    }
    return SANE_STATUS_GOOD;
}

int vorn_tcp_ScanRecord(VornSocket* sock, int& status, std::vector<unsigned char>& buffer, int& readSize)
{
    vorn_log_info("[VornScanSDK] ** %s", __func__);
    status = SCAN_STATUS_OPERATION_CONTINUOUS;
    readSize = 0;
    unsigned char header[kBlockHeaderSize] = {};
    if (vorn_tcp_recv_with_retry(sock->tcpFromScanner, header, kBlockHeaderSize) != 0) {
        vorn_log_err("%s", kBlockHeaderError);
        vorn_tcp_CloseDataConnection(sock);
        return SANE_STATUS_IO_ERROR;
    }
    if (memcmp(header, kMarkerNewFile, kBlockHeaderSize) == 0) {
        vorn_log_info("[VornScanSDK] newFileFlag");
        status = SCAN_STATUS_BEGIN_OF_PAGE;
        const int result = vorn_tcp_SkipHeader(sock->tcpFromScanner, kBlockHeaderSize, kBlockHeaderDigitsOffset);
        if (result != SANE_STATUS_GOOD)
            vorn_tcp_CloseDataConnection(sock);
        return result;
    }
    if (memcmp(header, kMarkerJobDone, kBlockHeaderSize) == 0) {
        vorn_log_info("[VornScanSDK] jobDoneFlag");
        status = SCAN_STATUS_END_OF_DATA;
        vorn_tcp_CloseDataConnection(sock);
        return SANE_STATUS_EOF;
    }
    if (memcmp(header, kMarkerJobCancel, kBlockHeaderSize) == 0) {
        vorn_log_info("[VornScanSDK] jobCancelFlag");
        status = SCAN_STATUS_ABORTED_BY_DEVICE;
        vorn_tcp_CloseDataConnection(sock);
        return SANE_STATUS_CANCELLED;
    }
    const int size = vorn_ParseHeaderSize(header, kBlockHeaderDigitsOffset);
    if (size < 0) {
        vorn_log_err("%s", kBlockHeaderError);
        vorn_tcp_CloseDataConnection(sock);
        return SANE_STATUS_IO_ERROR;
    }
    if (buffer.size() < static_cast<size_t>(size)) {
        try {
            buffer.resize(size);
        } catch (const std::bad_alloc&) {
            vorn_log_err("[VornScanSDK] realloc bufSize err");
            vorn_tcp_CloseDataConnection(sock);
            return SANE_STATUS_NO_MEM;
        }
    }
    if (size > 0 && vorn_tcp_recv_with_retry(sock->tcpFromScanner, buffer.data(), size) != 0) {
        vorn_log_err("[VornScanSDK] vorn_tcp_recv_with_retry recv err");
        vorn_tcp_CloseDataConnection(sock);
        return SANE_STATUS_IO_ERROR;
    }
    readSize = size;
    return SANE_STATUS_GOOD;
}
