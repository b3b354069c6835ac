// A network scanner on a loopback address, written from what the daemon expects of one: the
// HTTP job form, abort, capability and ADF pages on port 80, a scripted data stream on port
// 2080 and attribute queries on port 5000. Used by the tests, the benchmark and by hand.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct stSimScript {
    enum class enEnding { JobDone, JobCancel, Drop, HoldUntilAbort, Garbage };

    // RESULT of the job reply (0 accepted, 1 bad field, 91 busy); -1 sends a reply without it.
    int iJobResult = 0;
    // false: nothing ever listens on the data port.
    bool bOpenDataPort = true;
    // Bytes of every page, in order; each page starts with a NEWFILE marker and page header.
    std::vector<size_t> listPageSizes = {1000, 2000};
    // Largest data block of the stream.
    size_t blockSize = 64 * 1024;
    // What follows the last page: JOBDONE, JOBCANCEL (device cancel or jam), a dropped
    // connection, nothing until an abort arrives, or a block header without size digits.
    enEnding ending = enEnding::JobDone;
    // Last byte of the ADF status page.
    char chAdfStatus = '2';
    // Non-zero: the ADF status page answers this once a stream has ended with JOBCANCEL, as a
    // feeder that jammed mid-job does.
    char chAdfStatusAfterCancel = 0;
    std::string strCapabilities =
        "DUPLEX=true\r\nCOLOR=COLOR\r\nMINRES=75\r\nMAXRES=1200\r\nWIDTH_FORMAT=2\r\nFAMILY=7\r\n"
        "PERMPROFILES=false\r\nPROFILE=ENABLED\r\nMAX_WIDTH=8500\r\nMAX_HEIGHT=14000\r\nBASIC_RESOLUTION=300\r\n";
    std::string strAttributeReply = "<reply requestID=\"10001\"><value>7</value></reply>";
};

class ScannerSimulator {
public:
    explicit ScannerSimulator(std::string address = "127.0.0.2");
    ~ScannerSimulator();
    ScannerSimulator(const ScannerSimulator&) = delete;
    ScannerSimulator& operator=(const ScannerSimulator&) = delete;

    // Opens the ports and serves them on background threads; false when a port cannot be bound.
    bool Start(const stSimScript& script);
    void Stop();
    const std::string& Address() const { return m_strAddress; }

    // The bytes of page `page` as the scanner sends them.
    static std::vector<unsigned char> PageBytes(int page, size_t size);

    // Every HTTP request and attribute query received so far, byte for byte.
    std::vector<std::string> HttpRequests() const;
    std::vector<std::string> AttributeQueries() const;
    int DataConnections() const { return m_iDataConnections; }
    // Waits until the data stream has sent everything up to its ending.
    bool WaitForStreamSent(int timeoutMs);

private:
    void ServeHttp();
    void ServeData();
    void ServeAttributes();
    void AnswerHttp(int fd);
    void StreamJob(int fd);
    bool AcceptNext(int listener, int& client);

    std::string m_strAddress;
    stSimScript m_script;
    // The pages' bytes, made once at start so streaming costs only the transfer.
    std::vector<std::vector<unsigned char>> m_listPages;
    int m_iHttpListener = -1;
    int m_iDataListener = -1;
    int m_iAttributeListener = -1;
    std::atomic<bool> m_bStop {false};
    std::atomic<int> m_iDataConnections {0};
    std::vector<std::thread> m_listThreads;

    // Guards the request logs and the abort/stream flags.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_listHttpRequests;
    std::vector<std::string> m_listAttributeQueries;
    bool m_bAbortReceived = false;
    bool m_bStreamSent = false;
    bool m_bJobCancelled = false;
};
