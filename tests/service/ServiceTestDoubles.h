// Stand-ins for the service's seams: a USB printer that answers control requests, a scheduler
// that answers from canned jobs, and a loopback UDP printer.
#pragma once

#include "ServiceEnvironment.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>

struct stUsbRequest {
    QString strPort;
    uint8_t bRequest = 0;
    uint16_t wLength = 0;
};

class FakeUsbTransport : public UsbPrinterTransport {
public:
    // Answer to the status request: a result code, and the reply bytes when it is 0.
    void SetStatusReply(int iResult, const QByteArray& baReply = QByteArray())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_iStatusResult = iResult;
        m_baStatusReply = baReply;
    }

    QList<stUsbRequest> Requests(uint8_t bRequest) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QList<stUsbRequest> listMatching;
        for (const stUsbRequest& request : m_listRequest) {
            if (request.bRequest == bRequest)
                listMatching.append(request);
        }
        return listMatching;
    }

    int ControlRequestIn(const QString& strPort, uint8_t, uint8_t bRequest, uint16_t, uint16_t,
                         unsigned char* pData, uint16_t wLength, unsigned int& uTransferred) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listRequest.append({strPort, bRequest, wLength});
        if (bRequest != PrinterProtocol::c_byRequestStatus) {
            uTransferred = 0;
            return 0;
        }
        if (m_iStatusResult != 0)
            return m_iStatusResult;
        const int iCopy = qMin<int>(wLength, m_baStatusReply.size());
        memcpy(pData, m_baStatusReply.constData(), size_t(iCopy));
        uTransferred = unsigned(iCopy);
        return 0;
    }

private:
    mutable std::mutex m_mutex;
    int m_iStatusResult = -5;
    QByteArray m_baStatusReply;
    QList<stUsbRequest> m_listRequest;
};

// The local scheduler as the workers see it: canned jobs and queue state, shared by every
// worker's source; records what was asked.
class FakeCupsScheduler {
public:
    void SetJobs(const QList<stCupsJob>& listJob)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listJob = listJob;
    }
    void SetQueuePrinting(bool bPrinting)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bPrinting = bPrinting;
    }
    // The queues asked about, one entry per question, "jobs Q" or "printing Q".
    QStringList Questions() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_listQuestion;
    }
    // The job numbers asked for beyond the jobs in progress, one list per job question.
    QList<QList<int>> KnownJobIds() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_listKnownJobId;
    }

    bool GetJobs(const QString& strQueue, const QList<int>& listKnownJobId, QList<stCupsJob>& listJob)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listQuestion.append(QStringLiteral("jobs ") + strQueue);
        m_listKnownJobId.append(listKnownJobId);
        listJob = m_listJob;
        return true;
    }
    bool IsQueuePrinting(const QString& strQueue)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listQuestion.append(QStringLiteral("printing ") + strQueue);
        return m_bPrinting;
    }

private:
    mutable std::mutex m_mutex;
    QList<stCupsJob> m_listJob;
    bool m_bPrinting = false;
    QStringList m_listQuestion;
    QList<QList<int>> m_listKnownJobId;
};

class FakeCupsSource : public CupsQueueSource {
public:
    explicit FakeCupsSource(std::shared_ptr<FakeCupsScheduler> pScheduler) : m_pScheduler(std::move(pScheduler)) {}
    bool GetJobs(const QString& strQueue, const QList<int>& listKnownJobId, QList<stCupsJob>& listJob) override
    {
        return m_pScheduler->GetJobs(strQueue, listKnownJobId, listJob);
    }
    bool IsQueuePrinting(const QString& strQueue) override { return m_pScheduler->IsQueuePrinting(strQueue); }

private:
    std::shared_ptr<FakeCupsScheduler> m_pScheduler;
};

// A UDP socket on 127.0.0.1 with an ephemeral port, standing in for a network printer.
class LoopbackUdpPrinter {
public:
    LoopbackUdpPrinter()
    {
        m_iFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_iFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        socklen_t len = sizeof(addr);
        ::getsockname(m_iFd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_wPort = ntohs(addr.sin_port);
    }
    ~LoopbackUdpPrinter() { ::close(m_iFd); }

    uint16_t Port() const { return m_wPort; }

    // The next datagram within iTimeoutMs, with its sender; empty when none came.
    QByteArray Receive(int iTimeoutMs, sockaddr_in* pFrom = nullptr)
    {
        pollfd pfd{m_iFd, POLLIN, 0};
        if (::poll(&pfd, 1, iTimeoutMs) <= 0)
            return QByteArray();
        QByteArray baData(4096, '\0');
        sockaddr_in from{};
        socklen_t len = sizeof(from);
        const ssize_t iReceived = ::recvfrom(m_iFd, baData.data(), baData.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (pFrom)
            *pFrom = from;
        return iReceived < 0 ? QByteArray() : baData.left(int(iReceived));
    }

    void SendTo(const sockaddr_in& to, const QByteArray& baData)
    {
        ::sendto(m_iFd, baData.constData(), size_t(baData.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }

private:
    int m_iFd = -1;
    uint16_t m_wPort = 0;
};

// A full disk, for as long as it lives: files of this process cannot grow past iBytes (the
// writes fail with EFBIG instead of raising SIGXFSZ). Works for root, unlike a read-only folder.
class DiskFullAfter {
public:
    explicit DiskFullAfter(rlim_t iBytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_old;
        limited.rlim_cur = iBytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~DiskFullAfter()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;

private:
    rlimit m_old{};
    sighandler_t m_oldHandler = SIG_DFL;
};

// An environment of temporary folders and fakes.
struct stTestEnvironment {
    QTemporaryDir tempDir;
    std::shared_ptr<FakeUsbTransport> pUsb = std::make_shared<FakeUsbTransport>();
    std::shared_ptr<FakeCupsScheduler> pCups = std::make_shared<FakeCupsScheduler>();
    stServiceEnvironment env;

    stTestEnvironment()
    {
        env.strCfgDir = tempDir.filePath(QStringLiteral("cfg/"));
        env.strPrintersConf = tempDir.filePath(QStringLiteral("cups/printers.conf"));
        env.strPpdDir = tempDir.filePath(QStringLiteral("cups/ppd/"));
        env.pUsbTransport = pUsb;
        auto pCupsCopy = pCups;
        env.makeCupsSource = [pCupsCopy]() -> std::unique_ptr<CupsQueueSource> {
            return std::make_unique<FakeCupsSource>(pCupsCopy);
        };
    }
};
