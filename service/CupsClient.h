// Asks the local CUPS scheduler in-process over IPP, through its client library, instead of
// starting its command-line tools. One instance per worker thread: it keeps its connection.
#pragma once

#include "CupsQueueSource.h"

#include <QByteArray>

#include <chrono>

typedef struct _http_s http_t;
typedef struct _ipp_s ipp_t;

class CupsClient : public CupsQueueSource {
public:
    // A scheduler that accepts a request but never answers holds a worker this long at most.
    static constexpr int c_iRequestTimeoutMs = 2000;
    static constexpr int c_iConnectTimeoutMs = 2000;
    // After a failed request the scheduler is left alone for this long, so a hung or stopped
    // scheduler costs a worker at most one time-out per pause and its status reads go on.
    static constexpr int c_iRetryPauseMs = 3000;

    // An empty server means the one the client library is configured for (the local domain
    // socket on an installed system); iPort 0 means the library's IPP port.
    explicit CupsClient(const QString& strServer = QString(), int iPort = 0);
    ~CupsClient() override;
    CupsClient(const CupsClient&) = delete;
    CupsClient& operator=(const CupsClient&) = delete;

    bool GetJobs(const QString& strQueue, const QList<int>& listKnownJobId, QList<stCupsJob>& listJob) override;
    bool IsQueuePrinting(const QString& strQueue) override;

private:
    // The connection, made when needed; null while the retry pause runs or connecting failed.
    http_t* Connection();
    // Sends the request (which it frees) and returns the response, or null on failure; no
    // answer at all drops the connection and starts the pause.
    ipp_t* Ask(ipp_t* pRequest);
    void Disconnect();
    // The library's wait callback: 1 keeps waiting, 0 gives the request up.
    static int KeepWaiting(http_t* pHttp, void* pClient);

    const QByteArray m_baServer;
    const int m_iPort;
    http_t* m_pHttp = nullptr;
    std::chrono::steady_clock::time_point m_tRetryAt{};
    std::chrono::steady_clock::time_point m_tRequestDeadline{};
};
