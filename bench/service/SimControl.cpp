// Talks the simulator's line protocol over its unix control socket.
#include "SimControl.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace ServiceBench {

namespace {
constexpr const char* c_szSocketName = "/control.sock";
constexpr int c_iRetryMs = 20;
// A command answers at once; this only keeps a hung simulator from hanging the benchmark.
constexpr int c_iReplyTimeoutMs = 5000;
constexpr const char* c_szOk = "ok";
constexpr const char* c_szErrorPrefix = "error: ";
} // namespace

SimControl::~SimControl()
{
    if (m_iFd >= 0)
        close(m_iFd);
}

bool SimControl::Connect(const std::string& strControlDir, int iTimeoutMs)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string strPath = strControlDir + c_szSocketName;
    if (strPath.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, strPath.c_str(), strPath.size() + 1);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const int iFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (iFd < 0)
            return false;
        if (connect(iFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            m_iFd = iFd;
            return true;
        }
        close(iFd);
        std::this_thread::sleep_for(std::chrono::milliseconds(c_iRetryMs));
    }
    return false;
}

bool SimControl::Send(const std::string& strCommand, std::string& strReply)
{
    strReply.clear();
    if (m_iFd < 0)
        return false;
    const std::string strLine = strCommand + "\n";
    if (send(m_iFd, strLine.data(), strLine.size(), MSG_NOSIGNAL) != ssize_t(strLine.size()))
        return false;
    std::string strReplyLine;
    while (ReadLine(strReplyLine)) {
        strReply += strReplyLine + "\n";
        if (strReplyLine == c_szOk)
            return true;
        if (strReplyLine.rfind(c_szErrorPrefix, 0) == 0)
            return false;
    }
    return false;
}

bool SimControl::ReadLine(std::string& strLine)
{
    for (;;) {
        const size_t iEnd = m_strPending.find('\n');
        if (iEnd != std::string::npos) {
            strLine = m_strPending.substr(0, iEnd);
            m_strPending.erase(0, iEnd + 1);
            return true;
        }
        pollfd waitFor{m_iFd, POLLIN, 0};
        if (poll(&waitFor, 1, c_iReplyTimeoutMs) <= 0)
            return false;
        char szChunk[4096];
        const ssize_t iRead = recv(m_iFd, szChunk, sizeof(szChunk), 0);
        if (iRead <= 0)
            return false;
        m_strPending.append(szChunk, size_t(iRead));
    }
}

} // namespace ServiceBench
