// Pages of a scan job: the daemon appends each record's bytes to the page file before it sends
// the record, so the bytes a record announces can be read from the file at once.
#include "VornScanJob.h"

#include "VornJpegPage.h"
#include "VornSaneStatus.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Lineart samples are 1 for black; every other format is white at its highest value.
constexpr unsigned char kWhiteLineart = 0x00;
constexpr unsigned char kWhiteSample = 0xFF;

std::string PagePath(const std::string& baseName, int page)
{
    return VornScanClient::PageFileName(baseName, page);
}

} // namespace

VornScanJob::VornScanJob(VornScanLink& link, const volatile sig_atomic_t& cancel)
    : m_link(link), m_bCancel(cancel)
{
}

VornScanJob::~VornScanJob()
{
    Stop();
}

SANE_Status VornScanJob::StartPage(const VornSaneOptions& options, bool bJpeg)
{
    if (m_iPage >= 0) {
        // The front-end left the last page unread: skip the rest of it.
        if (!m_bPageClosed && m_iEndResult == SANE_STATUS_GOOD) {
            const SANE_Status status = CompleteCurrentPage();
            if (status != SANE_STATUS_GOOD)
                return status;
        }
        ClosePage(true);
    }
    if (!Active()) {
        if (m_bFeederDone) {
            m_bFeederDone = false;
            return SANE_STATUS_NO_DOCS;
        }
        m_bJpeg = bJpeg && !options.IsLineart();
        const SANE_Status status = StartJob(options);
        if (status != SANE_STATUS_GOOD)
            return status;
    }
    while (m_iNextPage < 0 && m_iEndResult == SANE_STATUS_GOOD) {
        if (m_bCancel)
            return Cancelled();
        if (!Advance())
            return LinkFailed();
    }
    if (m_iNextPage < 0) {
        const bool bFeeder = m_bFeeder;
        const bool bEndOfData = m_iEndResult == SANE_STATUS_EOF;
        const SANE_Status status = EndStatus();
        EndJob();
        m_bFeederDone = false;
        if (bEndOfData)
            return bFeeder ? SANE_STATUS_NO_DOCS : SANE_STATUS_IO_ERROR;
        return status;
    }
    if (!OpenPage(m_iNextPage)) {
        const SANE_Status status = errno == EACCES ? SANE_STATUS_ACCESS_DENIED : SANE_STATUS_IO_ERROR;
        Stop();
        return status;
    }
    m_stFrame = options.RawFrame(m_link.ScannedDpi(options.Settings()));
    return m_bJpeg ? DecodeJpegPage() : SANE_STATUS_GOOD;
}

SANE_Status VornScanJob::StartJob(const VornSaneOptions& options)
{
    m_link.DropIfClosed();
    m_bFeeder = options.IsAdf();
    if (m_bFeeder) {
        const int adf = m_link.AdfStatus();
        if (adf == ADF_STATUS_EMPTY)
            return SANE_STATUS_NO_DOCS;
        if (adf == ADF_STATUS_PAPER_JAM)
            return SANE_STATUS_JAMMED;
    }
    SettingInfo info = options.Settings();
    if (m_bJpeg)
        info.compType = COMPRESSION_JPEG;
    std::string baseName;
    const SANE_Status status = m_link.Start(info, baseName);
    // A refused start leaves no page files: its data process ends before writing any.
    if (status != SANE_STATUS_GOOD)
        return status;
    // Without a base name the pages cannot be found: such a scan is of no use.
    if (baseName.empty()) {
        m_link.Abort(baseName);
        return SANE_STATUS_IO_ERROR;
    }
    m_strBaseName = baseName;
    m_bFirstRecord = true;
    m_iEndResult = SANE_STATUS_GOOD;
    m_iNextPage = -1;
    m_llNextPageBytes = 0;
    return SANE_STATUS_GOOD;
}

bool VornScanJob::Advance()
{
    stVornRecord record;
    if (!m_link.ReadRecord(record))
        return false;
    const bool bBegins = record.iStatus == SCAN_STATUS_BEGIN_OF_PAGE || (m_bFirstRecord && m_link.FirstRecordBeginsPage());
    m_bFirstRecord = false;
    const bool bData = record.iResult == SANE_STATUS_GOOD && record.iDataSize > 0;
    if (bBegins) {
        m_bPageClosed = true;
        m_iNextPage = record.iFileIndex;
        // Only a network scan's first record can begin a page and carry data.
        m_llNextPageBytes = bData ? record.iDataSize : 0;
    } else {
        if (record.iStatus == SCAN_STATUS_END_OF_PAGE)
            m_bPageClosed = true;
        // Data before the first page begins has no page file to land in.
        if (bData && m_iPage >= 0 && !m_bPageClosed)
            m_llOnDisk += record.iDataSize;
    }
    if (record.iResult != SANE_STATUS_GOOD) {
        m_iEndResult = record.iResult;
        m_bPageClosed = true;
    }
    return true;
}

SANE_Status VornScanJob::CompleteCurrentPage()
{
    while (!m_bPageClosed) {
        if (m_bCancel)
            return Cancelled();
        if (!Advance())
            return LinkFailed();
    }
    if (m_iEndResult != SANE_STATUS_GOOD && m_iEndResult != SANE_STATUS_EOF) {
        const SANE_Status status = EndStatus();
        Stop();
        return status;
    }
    return SANE_STATUS_GOOD;
}

bool VornScanJob::OpenPage(int index)
{
    m_iPage = index;
    m_iNextPage = -1;
    m_bPageClosed = m_iEndResult != SANE_STATUS_GOOD;
    m_llOnDisk = m_llNextPageBytes;
    m_llNextPageBytes = 0;
    m_llRead = 0;
    m_llDelivered = 0;
    m_iPageFd = open(PagePath(m_strBaseName, index).c_str(), O_RDONLY | O_CLOEXEC);
    return m_iPageFd >= 0;
}

void VornScanJob::ClosePage(bool bDelete)
{
    if (m_iPageFd >= 0)
        close(m_iPageFd);
    m_iPageFd = -1;
    if (bDelete && m_iPage >= 0)
        m_link.DeleteFile(PagePath(m_strBaseName, m_iPage));
    m_iPage = -1;
    m_listDecoded.clear();
    m_listDecoded.shrink_to_fit();
}

SANE_Status VornScanJob::DecodeJpegPage()
{
    const SANE_Status status = CompleteCurrentPage();
    if (status != SANE_STATUS_GOOD)
        return status;
    if (!VornDecodeJpegPage(m_iPageFd, m_stFrame.enFormat == SANE_FRAME_RGB, m_listDecoded, m_stFrame)) {
        Stop();
        return SANE_STATUS_IO_ERROR;
    }
    return SANE_STATUS_GOOD;
}

SANE_Status VornScanJob::Read(SANE_Byte* data, SANE_Int maxLength, SANE_Int* length)
{
    *length = 0;
    if (m_iPage < 0 || maxLength <= 0)
        return m_iPage < 0 ? SANE_STATUS_EOF : SANE_STATUS_INVAL;
    for (;;) {
        if (m_bCancel)
            return Cancelled();
        const long long remaining = m_stFrame.Bytes() - m_llDelivered;
        if (remaining <= 0) {
            // A flatbed scan ends right after its page: reading on frees the scanner now.
            while (!m_bFeeder && Active() && m_iEndResult == SANE_STATUS_GOOD && m_iNextPage < 0) {
                if (!Advance())
                    break;
            }
            ClosePage(true);
            if (Active() && m_iEndResult != SANE_STATUS_GOOD && m_iNextPage < 0)
                EndJob();
            return SANE_STATUS_EOF;
        }
        const long long wanted = std::min<long long>(maxLength, remaining);
        if (m_bJpeg) {
            memcpy(data, m_listDecoded.data() + m_llDelivered, static_cast<size_t>(wanted));
            m_llDelivered += wanted;
            *length = static_cast<SANE_Int>(wanted);
            return SANE_STATUS_GOOD;
        }
        if (m_llRead < m_llOnDisk) {
            const ssize_t got = pread(m_iPageFd, data, static_cast<size_t>(std::min(wanted, m_llOnDisk - m_llRead)), m_llRead);
            if (got <= 0) {
                Stop();
                return SANE_STATUS_IO_ERROR;
            }
            m_llRead += got;
            m_llDelivered += got;
            *length = static_cast<SANE_Int>(got);
            return SANE_STATUS_GOOD;
        }
        if (!m_bPageClosed) {
            if (!Advance())
                return LinkFailed();
            continue;
        }
        if (m_iEndResult != SANE_STATUS_GOOD && m_iEndResult != SANE_STATUS_EOF) {
            const SANE_Status status = EndStatus();
            Stop();
            return status;
        }
        // The scanner sent less than the area asked for: the rest of the frame stays white.
        memset(data, m_stFrame.iDepth == 1 ? kWhiteLineart : kWhiteSample, static_cast<size_t>(wanted));
        m_llDelivered += wanted;
        *length = static_cast<SANE_Int>(wanted);
        return SANE_STATUS_GOOD;
    }
}

SANE_Status VornScanJob::EndStatus()
{
    if (m_iEndResult == SANE_STATUS_CANCELLED) {
        // Scanners end a jammed feeder job as if cancelled; the feeder tells which it was.
        return m_link.AdfStatus() == ADF_STATUS_PAPER_JAM ? SANE_STATUS_JAMMED : SANE_STATUS_CANCELLED;
    }
    return VornStatusOfResult(m_iEndResult);
}

SANE_Status VornScanJob::Cancelled()
{
    Stop();
    return SANE_STATUS_CANCELLED;
}

SANE_Status VornScanJob::LinkFailed()
{
    // A receive cut short by the front-end's cancel is no failure of the daemon.
    if (m_bCancel)
        return Cancelled();
    Stop();
    return SANE_STATUS_IO_ERROR;
}

void VornScanJob::EndJob()
{
    m_link.Finish();
    m_bFeederDone = m_bFeeder && m_iEndResult == SANE_STATUS_EOF;
    m_strBaseName.clear();
    m_iNextPage = -1;
}

void VornScanJob::Stop()
{
    if (Active() && m_iEndResult == SANE_STATUS_GOOD) {
        ClosePage(false);
        m_link.Abort(m_strBaseName);
    } else {
        ClosePage(true);
        if (Active() && m_iNextPage >= 0)
            m_link.DeleteFile(PagePath(m_strBaseName, m_iNextPage));
        if (Active())
            m_link.Finish();
    }
    m_strBaseName.clear();
    m_iNextPage = -1;
    m_iEndResult = SANE_STATUS_GOOD;
    m_bFeederDone = false;
}
