// Enters the private namespaces of an end-to-end test binary and hands out scratch folders.
#include "PrivateNamespace.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace VornTest {
namespace {

constexpr const char* c_szScratchRoot = "/run/vorn-e2e";
constexpr const char* c_szSuiteRoot = "/opt/vorn/vorn-printer-t905";
constexpr const char* c_szLoopback = "lo";

bool s_bInPrivateNamespace = false;

std::string Describe(const char* szWhat)
{
    return std::string(szWhat) + ": " + std::strerror(errno);
}

bool BringLoopbackUp()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, c_szLoopback, IFNAMSIZ - 1);
    bool bOk = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    bOk = bOk && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return bOk;
}

bool MountTmpfs(const char* szTarget)
{
    return mount("tmpfs", szTarget, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") == 0;
}

// Ends the calling process the way a waited-for child ended. A PID namespace's first process
// ignores signals it raises itself; it falls back to the shell's 128 + signal convention.
[[noreturn]] void EndLike(int iStatus)
{
    if (WIFSIGNALED(iStatus)) {
        std::signal(WTERMSIG(iStatus), SIG_DFL);
        raise(WTERMSIG(iStatus));
        std::_Exit(128 + WTERMSIG(iStatus));
    }
    std::_Exit(WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 1);
}

[[noreturn]] void WaitAndEndLike(pid_t pid)
{
    int iStatus = 0;
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    EndLike(iStatus);
}

// The first process of the PID namespace: it adopts every orphan (backends that cupsd left,
// tools' children) and reaps it, so that the tests see no zombies, and ends as the tests end.
// When it ends the kernel kills whatever is still running in the namespace.
[[noreturn]] void ReapUntilTestsEnd(pid_t pidTests)
{
    for (;;) {
        int iStatus = 0;
        const pid_t pid = wait(&iStatus);
        if (pid == pidTests)
            EndLike(iStatus);
        if (pid < 0 && errno == ECHILD)
            std::_Exit(1);
    }
}

} // namespace

bool EnterPrivateNamespace(std::string& strError)
{
    if (geteuid() != 0) {
        strError = "end-to-end tests must run as root";
        return false;
    }
    if (unshare(CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWPID) != 0) {
        strError = Describe("unshare");
        return false;
    }
    // The process that called unshare stays outside the new PID namespace and only waits.
    // Inside, a reaper is the first process and the tests run as its child: everything they
    // start (schedulers, backends, programs under test) dies with the namespace, and "ps" or
    // "killall" in a test see only the test's own processes, not those of parallel tests.
    const pid_t pidReaper = fork();
    if (pidReaper < 0) {
        strError = Describe("fork");
        return false;
    }
    if (pidReaper > 0)
        WaitAndEndLike(pidReaper);
    // ctest's time-out kills the waiting parent; the tests must not outlive it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const pid_t pidTests = fork();
    if (pidTests < 0) {
        strError = Describe("fork");
        return false;
    }
    if (pidTests > 0)
        ReapUntilTestsEnd(pidTests);
    // Without this, mounts made here would propagate back into the host's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        strError = Describe("making / private");
        return false;
    }
    if (!BringLoopbackUp()) {
        strError = Describe("bringing loopback up");
        return false;
    }
    if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        strError = Describe("mounting /proc");
        return false;
    }
    if (!MountTmpfs("/run") || !MountTmpfs("/opt")) {
        strError = Describe("mounting tmpfs");
        return false;
    }
    for (const char* szFolder : {c_szSuiteRoot, c_szScratchRoot}) {
        std::error_code error;
        std::filesystem::create_directories(szFolder, error);
        if (error) {
            strError = "creating " + std::string(szFolder) + ": " + error.message();
            return false;
        }
    }
    s_bInPrivateNamespace = true;
    return true;
}

bool IsInPrivateNamespace()
{
    return s_bInPrivateNamespace;
}

std::string MakeScratchFolder(const std::string& strPurpose)
{
    if (!s_bInPrivateNamespace)
        return std::string();
    std::string strTemplate = std::string(c_szScratchRoot) + "/" + strPurpose + "-XXXXXX";
    if (mkdtemp(strTemplate.data()) == nullptr)
        return std::string();
    chmod(strTemplate.c_str(), 0755);
    return strTemplate;
}

void RemoveTree(const std::string& strPath)
{
    if (strPath.empty())
        return;
    std::error_code error;
    std::filesystem::remove_all(strPath, error);
}

} // namespace VornTest
