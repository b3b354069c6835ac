// Enters the private namespaces of an end-to-end test binary and hands out scratch folders.
#include "PrivateNamespace.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

} // namespace

bool EnterPrivateNamespace(std::string& strError)
{
    if (geteuid() != 0) {
        strError = "end-to-end tests must run as root";
        return false;
    }
    if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
        strError = Describe("unshare");
        return false;
    }
    // Without this, mounts made here would propagate back into the host's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        strError = Describe("making / private");
        return false;
    }
    if (!BringLoopbackUp()) {
        strError = Describe("bringing loopback up");
        return false;
    }
    if (!MountTmpfs("/run") || !MountTmpfs("/opt")) {
        strError = Describe("mounting tmpfs");
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(c_szSuiteRoot, error);
    std::filesystem::create_directories(c_szScratchRoot, error);
    if (error) {
        strError = "creating the private folders: " + error.message();
        return false;
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
