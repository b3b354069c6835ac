// Starts and stops the real scan daemon for the end-to-end tests.
#include "ScanDaemonFixture.h"

#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 5000;

// Parent of a live process; -1 for a zombie or a process that is gone.
pid_t ParentOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    char state = 0;
    pid_t parent = -1;
    fields >> state >> parent;
    return state == 'Z' ? -1 : parent;
}

// The daemon's processes are reparented to this test process (a subreaper) once their own
// parent is gone: the listener at start, connection processes after the listener quit.
std::vector<pid_t> AdoptedChildren()
{
    // The daemon's intermediate process ends as a zombie child of this process.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = atoi(entry->d_name);
        if (pid > 0 && ParentOf(pid) == getpid())
            children.push_back(pid);
    }
    if (proc)
        closedir(proc);
    return children;
}

// Looks for 127.0.0.1:7001 in state LISTEN, without a connection that would show in the logs.
bool IsDaemonListening()
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        if (line.find(" 0100007F:1B59 00000000:0000 0A ") != std::string::npos)
            return true;
    }
    return false;
}

bool WaitForExit(pid_t pid, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

void ScanDaemonTest::SetUp()
{
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    m_root = std::make_unique<VornTest::SuiteRoot>();
    ASSERT_TRUE(m_root->IsReady());
    ASSERT_TRUE(m_root->InstallProgram(SCAN_DAEMON_PATH, "VornScanDaemon"));
    StartDaemon();
}

void ScanDaemonTest::StartDaemon()
{
    const std::string program = VornTest::SuiteRoot::Path("bin/VornScanDaemon");
    if (m_bForeground) {
        m_listenerPid = VornTest::StartChild({program, "--foreground"});
        ASSERT_GT(m_listenerPid, 0);
    } else {
        const VornTest::stToolResult started = VornTest::RunTool({program});
        ASSERT_TRUE(started.Succeeded()) << started.strStderr;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    bool listening = false;
    while (!listening && std::chrono::steady_clock::now() < deadline) {
        const std::vector<pid_t> children = AdoptedChildren();
        if (children.size() == 1 && IsDaemonListening()) {
            listening = true;
            m_listenerPid = children.front();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ASSERT_TRUE(listening) << "the daemon did not start listening";
}

int ScanDaemonTest::OrphanedDaemonProcesses()
{
    return static_cast<int>(AdoptedChildren().size());
}

bool ScanDaemonTest::StopForegroundListener(int signal, int& exitStatus)
{
    kill(m_listenerPid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopTimeoutMs * 4);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(m_listenerPid, &status, WNOHANG)) == 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    exitStatus = done == m_listenerPid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_listenerPid = -1;
    return true;
}

void ScanDaemonTest::TearDown()
{
    if (HasFailure())
        std::cerr << "--- error log:\n" << ScanFile(kErrLog) << "--- info log:\n" << ScanFile(kInfoLog) << "---\n";
    if (m_listenerPid > 0)
        QuitListener();
    // Connection processes left behind end with their clients; whatever remains is killed.
    for (pid_t pid : AdoptedChildren()) {
        if (!WaitForExit(pid, 1000)) {
            kill(pid, SIGKILL);
            WaitForExit(pid, kStopTimeoutMs);
        }
    }
    m_root.reset();
}

bool ScanDaemonTest::QuitListener()
{
    if (m_listenerPid <= 0)
        return true;
    kill(m_listenerPid, SIGQUIT);
    const bool ended = WaitForExit(m_listenerPid, kStopTimeoutMs);
    if (!ended) {
        kill(m_listenerPid, SIGKILL);
        WaitForExit(m_listenerPid, kStopTimeoutMs);
    }
    m_listenerPid = -1;
    return ended;
}

std::unique_ptr<VornScanClient> ScanDaemonTest::Connect()
{
    auto client = std::make_unique<VornScanClient>();
    return client->Connect() ? std::move(client) : nullptr;
}

std::string ScanDaemonTest::ScanFolder()
{
    return VornTest::SuiteRoot::Path("scan");
}

std::string ScanDaemonTest::ScanFile(const std::string& name)
{
    std::ifstream in(ScanFolder() + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

int ScanDaemonTest::CountInLog(const std::string& logName, const std::string& text)
{
    const std::string log = ScanFile(logName);
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size()))
        ++count;
    return count;
}

bool ScanDaemonTest::WaitForLog(const std::string& logName, const std::string& text, int count, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (CountInLog(logName, text) < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
