// The service's end-to-end helpers.
#include "ServiceE2eSupport.h"

#include "UtilPrinterStatus.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace ServiceE2e {

namespace {
constexpr uint16_t c_wPrinterPort = 9300;
constexpr size_t c_uStatusRequestBytes = 15;
constexpr size_t c_uCancelRequestBytes = 8;
} // namespace

bool WaitFor(const std::function<bool()>& condition, int iTimeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

QByteArray ReadFile(const std::string& strPath)
{
    QFile file(QString::fromStdString(strPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool FileExists(const std::string& strPath)
{
    return ::access(strPath.c_str(), F_OK) == 0;
}

unsigned long InodeOf(const std::string& strPath)
{
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 ? st.st_ino : 0;
}

QStringList PublishedQueues()
{
    const QString strPath = QString::fromStdString(VornTest::SuiteRoot::Path("cfg/printerlist.ini"));
    if (!QFile::exists(strPath))
        return {QStringLiteral("<no list>")};
    QSettings settings(strPath, QSettings::IniFormat);
    QStringList listName;
    const int iCount = settings.value(QStringLiteral("Main/Count")).toInt();
    for (int i = 0; i < iCount; ++i)
        listName.append(settings.value(QStringLiteral("printer_%1/Name").arg(i)).toString());
    return listName;
}

QByteArray MakeNetworkRecord(uint8_t byStatusCode)
{
    stStatusRecordFields fields;
    fields.baHeader = QByteArray("\xA5\x00\x40\x50\xE0\x74\x08", 7);
    fields.baVenderName = "VORN";
    fields.baProductName = "VL2120DN";
    fields.baPrinterSerialNumber = "NET0001";
    fields.byStatusCode = byStatusCode;
    fields.baFWVersion = "2.1";
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 5000, 2)};
    return EncodeStatusRecord(fields);
}

ServiceProcess::~ServiceProcess()
{
    if (m_pid > 0)
        VornTest::StopChild(m_pid, SIGKILL, 5000);
}

bool ServiceProcess::Start()
{
    m_pid = VornTest::StartChild({VornTest::SuiteRoot::Path("bin/vornT905Service")});
    return m_pid > 0;
}

bool ServiceProcess::IsAlive() const
{
    return m_pid > 0 && VornTest::IsChildAlive(m_pid);
}

int ServiceProcess::WorkerThreads() const
{
    const QString strTasks = QStringLiteral("/proc/%1/task").arg(m_pid);
    int iCount = 0;
    for (const QString& strTask : QDir(strTasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(strTasks + QLatin1Char('/') + strTask + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QThread")
            ++iCount;
    }
    return iCount;
}

int ServiceProcess::SignalAndWait(int iSignal, int iTimeoutMs)
{
    if (m_pid <= 0 || ::kill(m_pid, iSignal) != 0)
        return -1;
    int iStatus = 0;
    const bool bEnded = WaitFor([&] { return ::waitpid(m_pid, &iStatus, WNOHANG) == m_pid; }, iTimeoutMs);
    if (!bEnded)
        return -1;
    m_pid = -1;
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
}

UdpPrinter::UdpPrinter(const std::string& strAddress)
{
    m_iFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(c_wPrinterPort);
    if (m_iFd < 0 || ::inet_pton(AF_INET, strAddress.c_str(), &addr.sin_addr) != 1
        || ::bind(m_iFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        if (m_iFd >= 0)
            ::close(m_iFd);
        m_iFd = -1;
        return;
    }
    m_thread = std::thread(&UdpPrinter::Serve, this);
}

UdpPrinter::~UdpPrinter()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_iFd >= 0)
        ::close(m_iFd);
}

void UdpPrinter::SetReply(const QByteArray& baReply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_baReply = baReply;
}

QList<QByteArray> UdpPrinter::CancelDatagrams() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listCancel;
}

void UdpPrinter::Serve()
{
    char szBuffer[4096];
    while (!m_bStop) {
        pollfd pfd{m_iFd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t len = sizeof(from);
        const ssize_t iReceived = ::recvfrom(m_iFd, szBuffer, sizeof(szBuffer), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (iReceived == ssize_t(c_uCancelRequestBytes)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_listCancel.append(QByteArray(szBuffer, int(iReceived)));
            ++m_iCancelRequests;
            continue;
        }
        if (iReceived != ssize_t(c_uStatusRequestBytes))
            continue;
        ++m_iStatusRequests;
        QByteArray baReply;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            baReply = m_baReply;
        }
        if (!baReply.isEmpty())
            ::sendto(m_iFd, baReply.constData(), size_t(baReply.size()), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
}

} // namespace ServiceE2e
