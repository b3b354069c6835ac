// One scan job through the daemon as a front-end sees it: pages handed out one sane_start at
// a time, their samples read from the page files the daemon writes while its records arrive.
#pragma once

#include "VornSaneOptions.h"
#include "VornScanLink.h"

#include <csignal>
#include <string>
#include <vector>

class VornScanJob {
public:
    // cancel is set by sane_cancel, possibly from a signal handler while a call waits.
    VornScanJob(VornScanLink& link, const volatile sig_atomic_t& cancel);
    ~VornScanJob();
    VornScanJob(const VornScanJob&) = delete;
    VornScanJob& operator=(const VornScanJob&) = delete;

    // Begins the next page: the next one of a running feeder job, or a new job. A feeder job
    // that has delivered its pages answers SANE_STATUS_NO_DOCS once, then starts anew.
    SANE_Status StartPage(const VornSaneOptions& options, bool bJpeg);
    // The frame of the page begun last.
    const stVornFrame& Frame() const { return m_stFrame; }
    SANE_Status Read(SANE_Byte* data, SANE_Int maxLength, SANE_Int* length);
    // Ends whatever runs: a live scan is aborted through the daemon, files left are removed.
    void Stop();

private:
    bool Active() const { return !m_strBaseName.empty(); }
    SANE_Status StartJob(const VornSaneOptions& options);
    // Reads one record and applies it; false when the connection failed.
    bool Advance();
    // Reads records until the current page has all its bytes on disk.
    SANE_Status CompleteCurrentPage();
    bool OpenPage(int index);
    void ClosePage(bool bDelete);
    // Status of a scan that ended with a non-zero result other than the end of data.
    SANE_Status EndStatus();
    SANE_Status Cancelled();
    SANE_Status LinkFailed();
    SANE_Status DecodeJpegPage();
    void EndJob();

    VornScanLink& m_link;
    const volatile sig_atomic_t& m_bCancel;
    bool m_bFeeder = false;
    bool m_bFeederDone = false;
    std::string m_strBaseName;
    bool m_bFirstRecord = false;
    // 0 while the scan runs, else the result of its last record.
    int m_iEndResult = 0;
    // A page-begin record already seen for the page after the current one.
    int m_iNextPage = -1;
    long long m_llNextPageBytes = 0;

    int m_iPage = -1;
    int m_iPageFd = -1;
    bool m_bPageClosed = false;  // no more bytes will come for the current page
    long long m_llOnDisk = 0;    // bytes of the page file announced by records
    long long m_llRead = 0;      // bytes of the page file taken
    long long m_llDelivered = 0; // bytes of the frame handed out (the file's, then padding)
    stVornFrame m_stFrame;
    bool m_bJpeg = false;
    std::vector<unsigned char> m_listDecoded;
};
