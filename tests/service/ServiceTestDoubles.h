// Stand-ins for the service's seams: a USB printer that answers control requests, a command
// runner that answers "lpstat" and "w" from canned texts, and a loopback UDP printer.
#pragma once

#include "ServiceEnvironment.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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

struct stCommandCall {
    QString strProgram;
    QStringList listArgs;
    QString strRunAsUser;
};

// Answers by program and first argument ("lpstat -p", "lpstat -W", "w -h"); records calls.
class FakeCommandRunner {
public:
    void SetOutput(const QString& strProgram, const QString& strFirstArg, const QString& strOutput)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mapOutput[strProgram + QLatin1Char(' ') + strFirstArg] = strOutput.toUtf8();
    }

    QList<stCommandCall> Calls(const QString& strProgram) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QList<stCommandCall> listMatching;
        for (const stCommandCall& call : m_listCall) {
            if (call.strProgram == strProgram)
                listMatching.append(call);
        }
        return listMatching;
    }

    stProcessResult Run(const QString& strProgram, const QStringList& listArgs, const stProcessOptions& options)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listCall.append({strProgram, listArgs, options.strRunAsUser});
        stProcessResult result;
        result.bStarted = true;
        result.iExitCode = 0;
        result.baStdout = m_mapOutput.value(strProgram + QLatin1Char(' ') + listArgs.value(0));
        return result;
    }

private:
    mutable std::mutex m_mutex;
    QMap<QString, QByteArray> m_mapOutput;
    QList<stCommandCall> m_listCall;
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

// An environment of temporary folders and fakes.
struct stTestEnvironment {
    QTemporaryDir tempDir;
    std::shared_ptr<FakeUsbTransport> pUsb = std::make_shared<FakeUsbTransport>();
    std::shared_ptr<FakeCommandRunner> pRunner = std::make_shared<FakeCommandRunner>();
    stServiceEnvironment env;

    stTestEnvironment()
    {
        env.strCfgDir = tempDir.filePath(QStringLiteral("cfg/"));
        env.strPrintersConf = tempDir.filePath(QStringLiteral("cups/printers.conf"));
        env.strPpdDir = tempDir.filePath(QStringLiteral("cups/ppd/"));
        env.pUsbTransport = pUsb;
        auto pRunnerCopy = pRunner;
        env.runCommand = [pRunnerCopy](const QString& strProgram, const QStringList& listArgs,
                                       const stProcessOptions& options) {
            return pRunnerCopy->Run(strProgram, listArgs, options);
        };
    }
};
