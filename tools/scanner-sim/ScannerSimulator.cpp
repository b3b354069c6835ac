// A scripted network scanner on loopback.
#include "ScannerSimulator.h"

#include "socketIo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kHttpPort = 80;
constexpr int kDataPort = 2080;
constexpr int kAttributePort = 5000;
constexpr int kPollSliceMs = 100;
constexpr size_t kMaxRequestSize = 64 * 1024;
constexpr const char* kJobBody = "job accepted by the simulated scanner";
constexpr const char* kPageBody = "page settings";

int Listen(const std::string& address, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int reuse = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1
        || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}


bool SendText(int fd, const std::string& text)
{
    return vorn_send_all(fd, text.data(), text.size());
}

bool ReceiveAll(int fd, void* data, size_t size)
{
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t count = recv(fd, bytes, size, 0);
        if (count <= 0)
            return false;
        bytes += count;
        size -= count;
    }
    return true;
}

// A header of `width` bytes: a tag, six size digits at `digitsOffset`, blanks and a line feed.
std::string Header(const char* tag, int digitsOffset, int width, size_t size)
{
    char digits[16];
    snprintf(digits, sizeof digits, "%06zu", size);
    std::string header(width, ' ');
    memcpy(header.data(), tag, strnlen(tag, digitsOffset));
    memcpy(header.data() + digitsOffset, digits, 6);
    header[width - 1] = '\n';
    return header;
}

// Reads one HTTP request: its head up to the first empty line (CR LF CR LF, or a bare LF as
// some clients end it) and a body of Content-Length bytes.
bool ReadHttpRequest(int fd, std::string& request)
{
    char chunk[4096];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        const ssize_t count = recv(fd, chunk, sizeof chunk, 0);
        if (count <= 0 || request.size() > kMaxRequestSize)
            return false;
        request.append(chunk, count);
        const size_t crlf = request.find("\r\n\r\n");
        const size_t lf = request.find("\n\n");
        if (crlf != std::string::npos)
            headEnd = crlf + 4;
        if (lf != std::string::npos && (headEnd == std::string::npos || lf + 2 < headEnd))
            headEnd = lf + 2;
    }
    size_t bodyLength = 0;
    const size_t field = request.find("Content-Length: ");
    if (field != std::string::npos && field < headEnd)
        bodyLength = strtoul(request.c_str() + field + strlen("Content-Length: "), nullptr, 10);
    while (request.size() < headEnd + bodyLength) {
        const ssize_t count = recv(fd, chunk, sizeof chunk, 0);
        if (count <= 0)
            return false;
        request.append(chunk, count);
    }
    return true;
}

std::string HttpReply(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

ScannerSimulator::ScannerSimulator(std::string address)
    : m_strAddress(std::move(address))
{
}

ScannerSimulator::~ScannerSimulator()
{
    Stop();
}

bool ScannerSimulator::Start(const stSimScript& script)
{
    Stop();
    m_script = script;
    m_bJobCancelled = false;
    m_listPages.clear();
    for (size_t page = 0; page < script.listPageSizes.size(); ++page)
        m_listPages.push_back(PageBytes(static_cast<int>(page), script.listPageSizes[page]));
    m_bStop = false;
    m_iHttpListener = Listen(m_strAddress, kHttpPort);
    m_iAttributeListener = Listen(m_strAddress, kAttributePort);
    m_iDataListener = script.bOpenDataPort ? Listen(m_strAddress, kDataPort) : -1;
    if (m_iHttpListener < 0 || m_iAttributeListener < 0 || (script.bOpenDataPort && m_iDataListener < 0)) {
        Stop();
        return false;
    }
    m_listThreads.emplace_back(&ScannerSimulator::ServeHttp, this);
    m_listThreads.emplace_back(&ScannerSimulator::ServeAttributes, this);
    if (m_iDataListener >= 0)
        m_listThreads.emplace_back(&ScannerSimulator::ServeData, this);
    return true;
}

void ScannerSimulator::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_listThreads)
        thread.join();
    m_listThreads.clear();
    for (int* fd : {&m_iHttpListener, &m_iDataListener, &m_iAttributeListener}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

std::vector<unsigned char> ScannerSimulator::PageBytes(int page, size_t size)
{
    std::vector<unsigned char> bytes(size);
    uint32_t state = 0x9E3779B9u * static_cast<uint32_t>(page + 1);
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

std::vector<std::string> ScannerSimulator::HttpRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listHttpRequests;
}

std::vector<std::string> ScannerSimulator::AttributeQueries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listAttributeQueries;
}

bool ScannerSimulator::WaitForStreamSent(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_bStreamSent; });
}

bool ScannerSimulator::AcceptNext(int listener, int& client)
{
    while (!m_bStop) {
        pollfd entry {listener, POLLIN, 0};
        if (poll(&entry, 1, kPollSliceMs) <= 0)
            continue;
        client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            return true;
    }
    return false;
}

void ScannerSimulator::ServeHttp()
{
    int client = -1;
    while (AcceptNext(m_iHttpListener, client)) {
        AnswerHttp(client);
        close(client);
    }
}

void ScannerSimulator::AnswerHttp(int fd)
{
    std::string request;
    if (!ReadHttpRequest(fd, request))
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listHttpRequests.push_back(request);
    }
    const bool isPost = request.rfind("POST /netscan/post ", 0) == 0;
    if (isPost && request.find("\r\n\r\nSCANTYPE=4") != std::string::npos) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bAbortReceived = true;
        }
        m_changed.notify_all();
        SendText(fd, HttpReply("RESULT=0\r\n"));
    } else if (isPost) {
        const std::string body = m_script.iJobResult < 0 ? "STATUS=OK\r\n"
                                                         : "RESULT=" + std::to_string(m_script.iJobResult) + "\r\n";
        SendText(fd, HttpReply(body));
    } else if (request.rfind("POST /cgi-bin/dynamic/printer/netscan/adfStatus.html ", 0) == 0) {
        char status = m_script.chAdfStatus;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bJobCancelled && m_script.chAdfStatusAfterCancel != 0)
                status = m_script.chAdfStatusAfterCancel;
        }
        SendText(fd, HttpReply(std::string("ADFSTATUS=") + status));
    } else if (request.rfind("GET /netscan/capabilites ", 0) == 0) {
        SendText(fd, HttpReply(m_script.strCapabilities));
    } else {
        SendText(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
}

void ScannerSimulator::ServeData()
{
    int client = -1;
    while (AcceptNext(m_iDataListener, client)) {
        ++m_iDataConnections;
        StreamJob(client);
        close(client);
    }
}

void ScannerSimulator::StreamJob(int fd)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStreamSent = false;
        m_bAbortReceived = false;
    }
    bool ok = SendText(fd, Header("VORNJOB", 8, 20, strlen(kJobBody)) + kJobBody);
    for (size_t page = 0; ok && page < m_script.listPageSizes.size(); ++page) {
        ok = SendText(fd, "NEWFILE          \n") && SendText(fd, Header("PAGE", 6, 18, strlen(kPageBody)) + kPageBody);
        const std::vector<unsigned char>& bytes = m_listPages[page];
        for (size_t offset = 0; ok && offset < bytes.size(); offset += m_script.blockSize) {
            const size_t size = std::min(m_script.blockSize, bytes.size() - offset);
            ok = SendText(fd, Header("DATA", 6, 18, size)) && vorn_send_all(fd, bytes.data() + offset, size);
        }
    }
    if (ok && m_script.ending == stSimScript::enEnding::JobDone)
        SendText(fd, "JOBDONE          \n");
    if (ok && m_script.ending == stSimScript::enEnding::JobCancel) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bJobCancelled = true;
        }
        SendText(fd, "JOBCANCEL        \n");
    }
    if (ok && m_script.ending == stSimScript::enEnding::Garbage)
        SendText(fd, "DATA  ??????     \n" + std::string(64, '?'));
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bStreamSent = true;
        m_changed.notify_all();
        if (m_script.ending == stSimScript::enEnding::HoldUntilAbort)
            m_changed.wait(lock, [this] { return m_bAbortReceived || m_bStop; });
    }
}

void ScannerSimulator::ServeAttributes()
{
    int client = -1;
    while (AcceptNext(m_iAttributeListener, client)) {
        uint32_t length = 0;
        std::string query;
        if (ReceiveAll(client, &length, sizeof length)) {
            query.assign(std::min<uint32_t>(ntohl(length), kMaxRequestSize), '\0');
            if (ReceiveAll(client, query.data(), query.size())) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_listAttributeQueries.push_back(query);
                }
                const uint32_t replyLength = htonl(static_cast<uint32_t>(m_script.strAttributeReply.size()));
                vorn_send_all(client, &replyLength, sizeof replyLength);
                SendText(client, m_script.strAttributeReply);
            }
        }
        close(client);
    }
}
