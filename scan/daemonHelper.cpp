// Process plumbing of the scan daemon: daemonisation, stop signals and the two log files.
#include "daemonHelper.h"

#include "commDef.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

volatile sig_atomic_t g_bVornRun = 1;
volatile sig_atomic_t g_iVornStopSignal = 0;

namespace {

constexpr size_t kLogLineMax = 4096;

struct stLog {
    const char* name;
    int fd;
};

stLog g_infoLog {kVornInfoLogName, -1};
stLog g_errLog {kVornErrLogName, -1};
std::string g_strLogFolder;

std::string LogPath(const stLog& log)
{
    return g_strLogFolder + "/" + log.name;
}

// Always appending, also when truncated: the listener shares the files with its connection and
// data processes, and a write at its own offset would overwrite the lines they appended.
int OpenLogFile(const std::string& path, bool truncate)
{
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | (truncate ? O_TRUNC : 0);
    const int fd = open(path.c_str(), flags, kVornScanFileMode);
    if (fd >= 0)
        fchmod(fd, kVornScanFileMode);
    return fd;
}

void CloseLogs()
{
    for (stLog* log : {&g_infoLog, &g_errLog}) {
        if (log->fd >= 0)
            close(log->fd);
        log->fd = -1;
    }
}

bool OpenLogs(const std::string& folder, bool truncate)
{
    CloseLogs();
    g_strLogFolder = folder;
    g_infoLog.fd = OpenLogFile(LogPath(g_infoLog), truncate);
    g_errLog.fd = OpenLogFile(LogPath(g_errLog), truncate);
    return g_infoLog.fd >= 0 && g_errLog.fd >= 0;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The listener, every connection and every data process append to the same two files. The one
// that finds its file past the limit renames it under the file's lock; the others notice that
// their descriptor no longer is the file under the log's name and reopen it. The descriptor
// number stays the same (dup3), so the signal handler never writes to a closed descriptor.
void RotateIfFull(stLog& log)
{
    struct stat mine {};
    if (fstat(log.fd, &mine) != 0 || mine.st_size <= kVornLogRotateSize)
        return;
    if (flock(log.fd, LOCK_EX) != 0)
        return;
    const std::string path = LogPath(log);
    struct stat named {};
    if (lstat(path.c_str(), &named) == 0 && SameFile(named, mine))
        rename(path.c_str(), (path + kVornRotatedLogSuffix).c_str());
    const int fresh = OpenLogFile(path, false);
    flock(log.fd, LOCK_UN);
    if (fresh >= 0) {
        dup3(fresh, log.fd, O_CLOEXEC);
        close(fresh);
    }
}

// A single write per line keeps lines whole when a connection and its data process log at once.
void WriteLine(stLog& log, const char* format, va_list args)
{
    if (log.fd < 0)
        return;
    char line[kLogLineMax];
    int length = vsnprintf(line, sizeof line - 1, format, args);
    if (length < 0)
        return;
    if (length > static_cast<int>(sizeof line) - 2)
        length = sizeof line - 2;
    if (length == 0 || line[length - 1] != '\n')
        line[length++] = '\n';
    RotateIfFull(log);
    ssize_t ignored = write(log.fd, line, length);
    (void)ignored;
}

void Fail(const char* text)
{
    printf("%s\n", text);
    exit(1);
}

sigset_t SignalsTakenInWaits()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGQUIT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGCHLD);
    return set;
}

} // namespace

void vorn_log_info(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(g_infoLog, format, args);
    va_end(args);
}

void vorn_log_err(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(g_errLog, format, args);
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

bool vorn_WantsForeground(int argc, const char* const argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], kVornForegroundOption) == 0)
            return true;
    }
    return false;
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
    if (g_infoLog.fd >= 0) {
        ssize_t ignored = write(g_infoLog.fd, text, length);
        (void)ignored;
    }
    g_iVornStopSignal = sig;
    g_bVornRun = 0;
}

bool vorn_install_stop_handlers()
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    return sigaction(SIGQUIT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void vorn_BlockSignalsOutsideWaits()
{
    const sigset_t set = SignalsTakenInWaits();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

sigset_t vorn_WaitMask()
{
    sigset_t mask;
    sigprocmask(SIG_BLOCK, nullptr, &mask);
    sigdelset(&mask, SIGQUIT);
    sigdelset(&mask, SIGTERM);
    sigdelset(&mask, SIGCHLD);
    return mask;
}

void create_daemon(bool foreground)
{
    signal(SIGTTOU, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);
    if (!foreground) {
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
    }
    if (chdir("/") != 0) {
        // Staying in the start folder is harmless; the daemon uses absolute paths only.
    }
    if (!foreground) {
        close(STDIN_FILENO);
        close(STDOUT_FILENO);
        close(STDERR_FILENO);
        // Descriptors 0-2 stay taken by /dev/null so no socket or page file is mistaken for stdio.
        const int devNull = open("/dev/null", O_RDWR);
        if (devNull == STDIN_FILENO) {
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
    }
    umask(0);
}
