// The throwaway scheduler: private CUPS folders, a cupsd child, queues and jobs.
#include "CupsScheduler.h"

#include "PrivateNamespace.h"
#include "TestPpd.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace VornTest {
namespace {

namespace fs = std::filesystem;

constexpr const char* c_szCupsConfigDir = "/etc/cups";
constexpr const char* c_szBackendDir = "/usr/lib/cups/backend";
constexpr const char* c_szStateDir = "/run/cups";
constexpr const char* c_szSpoolDir = "/var/spool/cups";
constexpr const char* c_szCacheDir = "/var/cache/cups";
constexpr const char* c_szLogDir = "/var/log/cups";
constexpr const char* c_szRunningText = "scheduler is running";
constexpr const char* c_szJobIdPrefix = "request id is ";

// cupsd answers 30-100 ms after start; the margin covers a loaded machine running sanitizers.
constexpr int c_iStartTimeoutMs = 10000;
constexpr int c_iStopTimeoutMs = 10000;
constexpr int c_iPollMs = 20;

// Configuration that would describe the host's queues or let the scheduler reach outside.
const char* const c_listHostStateFiles[] = {"printers.conf", "printers.conf.O", "classes.conf", "classes.conf.O",
                                            "subscriptions.conf", "subscriptions.conf.O"};
// cupsd.conf directives the fixture sets itself: no browsing of the network, the
// configuration written at once after each change instead of ~30 s later, and no idle exit.
const char* const c_listOwnDirectives[] = {"Browsing", "BrowseLocalProtocols", "DirtyCleanInterval", "IdleExitTimeout"};
constexpr const char* c_szOwnDirectives = "Browsing No\nDirtyCleanInterval 0\nIdleExitTimeout 0\n";

// Stands in for the maker's network backend: CUPS accepts "vornsocket://" URIs only when a
// backend of that name exists. Called without arguments (device discovery) it lists nothing;
// with a job it reads the data and then waits until CUPS stops it, so the job stays printing
// for as long as a test needs.
constexpr const char* c_szVornSocketBackend =
    "#!/bin/sh\n"
    "[ $# -eq 0 ] && exit 0\n"
    "if [ -n \"$6\" ]; then cat \"$6\" >/dev/null; else cat >/dev/null; fi\n"
    "exec sleep 3600\n";

gid_t GroupId(const char* szName)
{
    const group* gr = getgrnam(szName);
    return gr != nullptr ? gr->gr_gid : 0;
}

bool MakeFolder(const std::string& strPath, mode_t mode, gid_t gid = 0)
{
    std::error_code error;
    fs::create_directories(strPath, error);
    return !error && chown(strPath.c_str(), 0, gid) == 0 && chmod(strPath.c_str(), mode) == 0;
}

bool IsOneOf(const std::string& strValue, const char* const* pBegin, const char* const* pEnd)
{
    for (const char* const* p = pBegin; p != pEnd; ++p) {
        if (strValue == *p)
            return true;
    }
    return false;
}

std::string FirstWord(const std::string& strLine)
{
    std::istringstream stream(strLine);
    std::string strWord;
    stream >> strWord;
    return strWord;
}

std::string ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace

CupsScheduler::CupsScheduler()
    : m_strScratch(MakeScratchFolder("cups"))
{
    if (m_strScratch.empty()) {
        m_strLastError = "not in the private namespace (link vorn_e2e_main)";
        return;
    }
    m_bReady = PrepareConfiguration() && PrepareBackends() && PrepareStateFolders();
}

CupsScheduler::~CupsScheduler()
{
    Stop();
    while (!m_listMounts.empty())
        m_listMounts.pop_back();
    RemoveTree(m_strScratch);
}

bool CupsScheduler::PrepareConfiguration()
{
    const std::string strConfig = m_strScratch + "/etc-cups";
    if (!MakeFolder(strConfig, 0755) || !MakeFolder(strConfig + "/ppd", 0755) || !MakeFolder(strConfig + "/ssl", 0700)
        || !MakeFolder(strConfig + "/interfaces", 0755))
        return false;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(c_szCupsConfigDir, error)) {
        const std::string strName = entry.path().filename().string();
        if (!entry.is_regular_file() || IsOneOf(strName, std::begin(c_listHostStateFiles), std::end(c_listHostStateFiles)))
            continue;
        if (!fs::copy_file(entry.path(), strConfig + "/" + strName, error))
            break;
    }
    std::ifstream hostConf(std::string(c_szCupsConfigDir) + "/cupsd.conf");
    std::ofstream privateConf(strConfig + "/cupsd.conf", std::ios::trunc);
    for (std::string strLine; std::getline(hostConf, strLine);) {
        if (!IsOneOf(FirstWord(strLine), std::begin(c_listOwnDirectives), std::end(c_listOwnDirectives)))
            privateConf << strLine << '\n';
    }
    privateConf << c_szOwnDirectives;
    privateConf.close();
    if (error || privateConf.fail()) {
        m_strLastError = "cannot copy " + std::string(c_szCupsConfigDir);
        return false;
    }
    m_listMounts.emplace_back(strConfig, c_szCupsConfigDir);
    return m_listMounts.back().IsMounted();
}

bool CupsScheduler::PrepareBackends()
{
    const std::string strBackends = m_strScratch + "/backend";
    if (!MakeFolder(strBackends, 0755))
        return false;
    std::error_code error;
    fs::copy(c_szBackendDir, strBackends, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    const std::string strVornSocket = strBackends + "/vornsocket";
    std::ofstream(strVornSocket) << c_szVornSocketBackend;
    // Mode 0700: cupsd runs it as root, like the other backends that need the device.
    if (error || chmod(strVornSocket.c_str(), 0700) != 0) {
        m_strLastError = "cannot copy " + std::string(c_szBackendDir);
        return false;
    }
    m_listMounts.emplace_back(strBackends, c_szBackendDir);
    return m_listMounts.back().IsMounted();
}

bool CupsScheduler::PrepareStateFolders()
{
    const gid_t gidLp = GroupId("lp");
    struct stFolder {
        const char* szTarget;
        const char* szName;
        mode_t mode;
        gid_t gid;
    };
    // The owners and modes cupsd insists on; it refuses to spool into a folder others can read.
    const stFolder listFolders[] = {{c_szStateDir, "run-cups", 0755, gidLp},
                                    {c_szSpoolDir, "spool", 0710, gidLp},
                                    {c_szCacheDir, "cache", 0770, gidLp},
                                    {c_szLogDir, "log", 0755, 0}};
    for (const stFolder& folder : listFolders) {
        const std::string strSource = m_strScratch + "/" + folder.szName;
        std::error_code error;
        // Only /run/cups can be missing, and /run is private; the host's folders are never changed.
        fs::create_directories(folder.szTarget, error);
        if (!MakeFolder(strSource, folder.mode, folder.gid) || error)
            return false;
        m_listMounts.emplace_back(strSource, folder.szTarget);
        if (!m_listMounts.back().IsMounted())
            return false;
    }
    return MakeFolder(std::string(c_szSpoolDir) + "/tmp", 01770, gidLp);
}

bool CupsScheduler::Start()
{
    if (!m_bReady)
        return false;
    if (IsChildAlive(m_pidCupsd))
        return true;
    m_pidCupsd = StartChild({"cupsd", "-f"}, m_strScratch + "/cupsd.stderr");
    for (int iWaited = 0; iWaited < c_iStartTimeoutMs; iWaited += c_iPollMs) {
        if (IsRunning())
            return true;
        if (!IsChildAlive(m_pidCupsd))
            break;
        usleep(c_iPollMs * 1000);
    }
    m_strLastError = "cupsd did not start: " + Diagnostics();
    Stop();
    return false;
}

bool CupsScheduler::Stop()
{
    if (m_pidCupsd <= 0)
        return true;
    // A frozen scheduler would not act on the SIGTERM.
    ::kill(m_pidCupsd, SIGCONT);
    const bool bStopped = StopChild(m_pidCupsd, SIGTERM, c_iStopTimeoutMs);
    m_pidCupsd = -1;
    return bStopped;
}

bool CupsScheduler::Freeze()
{
    return m_pidCupsd > 0 && ::kill(m_pidCupsd, SIGSTOP) == 0;
}

bool CupsScheduler::Thaw()
{
    return m_pidCupsd > 0 && ::kill(m_pidCupsd, SIGCONT) == 0;
}

bool CupsScheduler::IsRunning() const
{
    // lpstat exits 0 whether or not the scheduler runs; only its text tells.
    const stToolResult result = RunTool({"lpstat", "-r"}, {{"LANG=C", "LC_ALL=C"}, {}, {}});
    return result.strStdout.find(c_szRunningText) != std::string::npos;
}

bool CupsScheduler::RunAdmin(const std::vector<std::string>& listArgv, const stToolOptions& options)
{
    const stToolResult result = RunTool(listArgv, options);
    if (result.Succeeded())
        return true;
    m_strLastError = listArgv.front() + " failed (" + std::to_string(result.iExitCode) + "): " + result.strStderr;
    return false;
}

bool CupsScheduler::AddQueue(const std::string& strName, const std::string& strUri, const std::string& strModelName)
{
    const std::string strPpd = m_strScratch + "/queue-" + std::to_string(++m_iFileCounter) + ".ppd";
    if (!WriteTestPpd(strPpd, strModelName)) {
        m_strLastError = "cannot write " + strPpd;
        return false;
    }
    return RunAdmin({"lpadmin", "-p", strName, "-E", "-v", strUri, "-P", strPpd});
}

bool CupsScheduler::RemoveQueue(const std::string& strName)
{
    return RunAdmin({"lpadmin", "-x", strName});
}

bool CupsScheduler::SetQueueUri(const std::string& strName, const std::string& strUri)
{
    return RunAdmin({"lpadmin", "-p", strName, "-v", strUri});
}

std::string CupsScheduler::SubmitRawJob(const std::string& strQueue, const std::string& strContent,
                                        const std::string& strUser)
{
    const std::string strFile = m_strScratch + "/job-" + std::to_string(++m_iFileCounter) + ".bin";
    std::ofstream(strFile, std::ios::binary) << strContent;
    // The submitting user must be able to read the file.
    chmod(strFile.c_str(), 0644);
    stToolOptions options;
    options.strUser = strUser;
    options.listEnv = {"LANG=C", "LC_ALL=C"};
    const stToolResult result = RunTool({"lp", "-o", "raw", "-d", strQueue, strFile}, options);
    // "request id is Q-1 (1 file(s))"
    const size_t iStart = result.strStdout.find(c_szJobIdPrefix);
    const size_t iEnd = result.strStdout.find(" (", iStart);
    if (!result.Succeeded() || iStart == std::string::npos || iEnd == std::string::npos) {
        m_strLastError = "lp failed: " + result.strStdout + result.strStderr;
        return std::string();
    }
    const size_t iIdStart = iStart + std::string(c_szJobIdPrefix).size();
    return result.strStdout.substr(iIdStart, iEnd - iIdStart);
}

bool CupsScheduler::CancelJob(const std::string& strJobId, const std::string& strUser)
{
    stToolOptions options;
    options.strUser = strUser;
    return RunAdmin({"cancel", strJobId}, options);
}

std::string CupsScheduler::JobListing(const std::string& strQueue, const std::string& strLang) const
{
    stToolOptions options;
    if (!strLang.empty())
        options.listEnv = {"LANG=" + strLang, "LC_ALL=" + strLang};
    return RunTool({"lpstat", "-W", "all", "-l", "-o", strQueue}, options).strStdout;
}

bool CupsScheduler::WaitForJobListing(const std::string& strQueue, const std::string& strText, int iTimeoutMs) const
{
    for (int iWaited = 0; iWaited <= iTimeoutMs; iWaited += c_iPollMs) {
        if (JobListing(strQueue).find(strText) != std::string::npos)
            return true;
        usleep(c_iPollMs * 1000);
    }
    return false;
}

stToolResult CupsScheduler::Run(const std::vector<std::string>& listArgv, const stToolOptions& options) const
{
    return RunTool(listArgv, options);
}

std::string CupsScheduler::Diagnostics() const
{
    return "cupsd stderr:\n" + ReadFile(m_strScratch + "/cupsd.stderr") + "error_log:\n"
         + ReadFile(std::string(c_szLogDir) + "/error_log");
}

std::string CupsScheduler::UsbUri(const std::string& strModelCode, const std::string& strSerial)
{
    return "usb://Vorn/" + strModelCode + "?serial=" + strSerial;
}

std::string CupsScheduler::SocketUri(const std::string& strHost, int iPort)
{
    return "socket://" + strHost + ":" + std::to_string(iPort);
}

std::string CupsScheduler::VornSocketUri(const std::string& strHost)
{
    return "vornsocket://" + strHost;
}

} // namespace VornTest
