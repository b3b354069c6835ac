// The service's end-to-end helpers.
#include "ServiceE2eSupport.h"

#include "PrivateNamespace.h"
#include "SimPrinter.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>


namespace ServiceE2e {

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
    settings.setIniCodec("UTF-8");
    QStringList listName;
    const int iCount = settings.value(QStringLiteral("Main/Count")).toInt();
    for (int i = 0; i < iCount; ++i)
        listName.append(settings.value(QStringLiteral("printer_%1/Name").arg(i)).toString());
    return listName;
}

ServiceProcess::~ServiceProcess()
{
    if (m_pid > 0)
        VornTest::StopChild(m_pid, SIGKILL, 5000);
}

bool ServiceProcess::Start()
{
    m_strStderrFile = VornTest::MakeScratchFolder("service-journal") + "/stderr";
    m_pid = VornTest::StartChild({VornTest::SuiteRoot::Path("bin/vornT905Service")}, m_strStderrFile);
    return m_pid > 0;
}

std::string ServiceProcess::Journal() const
{
    return ReadFile(m_strStderrFile).toStdString();
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

PrinterSimulator::~PrinterSimulator()
{
    if (m_pid > 0)
        VornTest::StopChild(m_pid, SIGTERM, 5000);
    if (!m_strFolder.empty())
        VornTest::RemoveTree(m_strFolder);
}

bool PrinterSimulator::Start(const QStringList& listConfig)
{
    m_strFolder = VornTest::MakeScratchFolder("printer-sim");
    if (m_strFolder.empty())
        return false;
    QFile config(QString::fromStdString(m_strFolder + "/printers.conf"));
    if (!config.open(QIODevice::WriteOnly) || config.write(listConfig.join('\n').toUtf8() + '\n') < 0)
        return false;
    config.close();
    m_pid = VornTest::StartChild({VORN_PRINTER_SIM, "--config", m_strFolder + "/printers.conf", "--control-dir",
                                  m_strFolder, "--event-log", m_strFolder + "/events.log"},
                                 m_strFolder + "/stderr.log");
    return m_pid > 0 && WaitFor([this] { return Send({QStringLiteral("printers")}); }, 5000);
}

bool PrinterSimulator::Send(const QStringList& listCommand) const
{
    if (!FileExists(m_strFolder + "/control.sock"))
        return false;
    std::vector<std::string> listArgv = {VORN_PRINTER_SIM, "--send", m_strFolder};
    for (const QString& strWord : listCommand)
        listArgv.push_back(strWord.toStdString());
    return VornTest::RunTool(listArgv).Succeeded();
}

int PrinterSimulator::Events(const QString& strLine) const
{
    const QList<QByteArray> listLine = ReadFile(m_strFolder + "/events.log").split('\n');
    return int(std::count(listLine.begin(), listLine.end(), strLine.toUtf8()));
}

QByteArray SimulatedNetworkReply(const QString& strName, const QString& strAddress, uint8_t byStatusCode)
{
    SimPrinter printer(strName, enSimTransport::Udp, *FindModel(QStringLiteral("VL2120DN")),
                       QStringLiteral("NET") + strName, strAddress);
    printer.Update([byStatusCode](stSimPrinterState& state) { state.byStatusCode = byStatusCode; });
    return printer.NetworkReply();
}

} // namespace ServiceE2e
