// Process plumbing of the scan daemon: daemonisation, SIGQUIT and the two log files.
#include "daemonHelper.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

volatile sig_atomic_t g_bVornRun = 1;

namespace {

// The logs are readable by everyone but writable only by the daemon, even with umask 0.
constexpr mode_t kLogFileMode = 0644;
constexpr size_t kLogLineMax = 4096;

int g_iInfoLogFd = -1;
int g_iErrLogFd = -1;

int OpenLog(const std::string& folder, const char* name, bool truncate)
{
    const std::string path = folder + "/" + name;
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
    const int fd = open(path.c_str(), flags, kLogFileMode);
    if (fd >= 0)
        fchmod(fd, kLogFileMode);
    return fd;
}

void CloseLogs()
{
    if (g_iInfoLogFd >= 0)
        close(g_iInfoLogFd);
    if (g_iErrLogFd >= 0)
        close(g_iErrLogFd);
    g_iInfoLogFd = g_iErrLogFd = -1;
}

bool OpenLogs(const std::string& folder, bool truncate)
{
    CloseLogs();
    g_iInfoLogFd = OpenLog(folder, kVornInfoLogName, truncate);
    g_iErrLogFd = OpenLog(folder, kVornErrLogName, truncate);
    return g_iInfoLogFd >= 0 && g_iErrLogFd >= 0;
}

// A single write per line keeps lines whole when a connection and its data process log at once.
void WriteLine(int fd, const char* format, va_list args)
{
    if (fd < 0)
        return;
    char line[kLogLineMax];
    int length = vsnprintf(line, sizeof line - 1, format, args);
    if (length < 0)
        return;
    if (length > static_cast<int>(sizeof line) - 2)
        length = sizeof line - 2;
    if (length == 0 || line[length - 1] != '\n')
        line[length++] = '\n';
    ssize_t ignored = write(fd, line, length);
    (void)ignored;
}

void Fail(const char* text)
{
    printf("%s\n", text);
    exit(1);
}

} // namespace

void vorn_log_info(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(g_iInfoLogFd, format, args);
    va_end(args);
}

void vorn_log_err(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(g_iErrLogFd, format, args);
    va_end(args);
}

bool VornInitDbg(const std::string& scanFolder)
{
    return OpenLogs(scanFolder, true);
}

bool VornReopenDbg(const std::string& scanFolder)
{
    return OpenLogs(scanFolder, false);
}

void handler(int sig)
{
    // Only async-signal-safe calls here: format by hand, write directly.
    char text[96];
    const char* prefix = "[VornScanSDK] I got a signal ";
    size_t length = strlen(prefix);
    memcpy(text, prefix, length);
    char digits[12];
    int count = 0;
    unsigned value = static_cast<unsigned>(sig);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < 11);
    while (count > 0)
        text[length++] = digits[--count];
    const char* suffix = "\nI'm quitting.\n";
    memcpy(text + length, suffix, strlen(suffix));
    length += strlen(suffix);
    if (g_iInfoLogFd >= 0) {
        ssize_t ignored = write(g_iInfoLogFd, text, length);
        (void)ignored;
    }
    g_bVornRun = 0;
}

bool vorn_install_quit_handler()
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    return sigaction(SIGQUIT, &action, nullptr) == 0;
}

void create_daemon()
{
    signal(SIGTTOU, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);
    pid_t pid = fork();
    if (pid < 0)
        Fail("fork error");
    if (pid > 0)
        exit(0);
    if (setsid() < 0)
        Fail("setsid error");
    pid = fork();
    if (pid < 0)
        Fail("fork error");
    if (pid > 0)
        exit(0);
    if (chdir("/") != 0) {
        // Staying in the start folder is harmless; the daemon uses absolute paths only.
    }
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    // Descriptors 0-2 stay taken by /dev/null so no socket or page file is mistaken for stdio.
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull == STDIN_FILENO) {
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
    }
    umask(0);
    signal(SIGCHLD, SIG_IGN);
}
