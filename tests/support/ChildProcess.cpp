// Process helpers of the end-to-end fixtures: fork and exec with argument lists, pipes for
// the output, and reaping so that no test leaves a process behind.
#include "ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace VornTest {
namespace {

// A tool that runs longer than this is stuck (a scheduler that stopped answering, a login
// tool waiting on a terminal); it is killed so that the test fails instead of hanging.
constexpr int c_iToolTimeoutMs = 30000;
constexpr int c_iStopPollMs = 5;

struct stIdentity {
    bool bSwitch = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> listGroups;
    std::string strHome;
    std::string strName;
};

long long NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Everything the child needs is looked up before fork: between fork and exec only
// async-signal-safe calls are allowed.
bool LookUpIdentity(const std::string& strUser, stIdentity& identity)
{
    if (strUser.empty())
        return true;
    passwd* pw = getpwnam(strUser.c_str());
    if (pw == nullptr)
        return false;
    identity.bSwitch = true;
    identity.uid = pw->pw_uid;
    identity.gid = pw->pw_gid;
    identity.strHome = pw->pw_dir;
    identity.strName = pw->pw_name;
    int iCount = 32;
    identity.listGroups.resize(iCount);
    while (getgrouplist(pw->pw_name, pw->pw_gid, identity.listGroups.data(), &iCount) < 0)
        identity.listGroups.resize(iCount);
    identity.listGroups.resize(iCount);
    return true;
}

std::vector<std::string> BuildEnvironment(const std::vector<std::string>& listExtra, const stIdentity& identity)
{
    std::vector<std::string> listEnv;
    for (char** p = environ; *p != nullptr; ++p)
        listEnv.emplace_back(*p);
    std::vector<std::string> listSet = listExtra;
    if (identity.bSwitch) {
        listSet.push_back("HOME=" + identity.strHome);
        listSet.push_back("USER=" + identity.strName);
        listSet.push_back("LOGNAME=" + identity.strName);
    }
    for (const std::string& strEntry : listSet) {
        const std::string strKey = strEntry.substr(0, strEntry.find('=') + 1);
        for (auto it = listEnv.begin(); it != listEnv.end();) {
            if (it->compare(0, strKey.size(), strKey) == 0)
                it = listEnv.erase(it);
            else
                ++it;
        }
        listEnv.push_back(strEntry);
    }
    return listEnv;
}

std::vector<char*> PointersOf(std::vector<std::string>& listStrings)
{
    std::vector<char*> listPointers;
    for (std::string& str : listStrings)
        listPointers.push_back(str.data());
    listPointers.push_back(nullptr);
    return listPointers;
}

// Runs in the forked child: only async-signal-safe calls from here to exec.
[[noreturn]] void ExecInChild(std::vector<char*>& argv, std::vector<char*>& envp, const stIdentity& identity)
{
    // The test process ignores SIGPIPE; tools must not inherit that.
    signal(SIGPIPE, SIG_DFL);
    if (identity.bSwitch) {
        if (setgroups(identity.listGroups.size(), identity.listGroups.data()) != 0 || setgid(identity.gid) != 0
            || setuid(identity.uid) != 0)
            _exit(126);
    }
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

void CloseIfOpen(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

int WaitForExitCode(pid_t pid)
{
    int iStatus = 0;
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
}

} // namespace

stToolResult RunTool(const std::vector<std::string>& listArgv, const stToolOptions& options)
{
    stToolResult result;
    stIdentity identity;
    if (listArgv.empty() || !LookUpIdentity(options.strUser, identity))
        return result;
    std::vector<std::string> listArgs = listArgv;
    std::vector<std::string> listEnv = BuildEnvironment(options.listEnv, identity);
    std::vector<char*> argv = PointersOf(listArgs);
    std::vector<char*> envp = PointersOf(listEnv);

    int fdIn[2], fdOut[2], fdErr[2];
    if (pipe2(fdIn, O_CLOEXEC) != 0)
        return result;
    if (pipe2(fdOut, O_CLOEXEC) != 0) {
        close(fdIn[0]), close(fdIn[1]);
        return result;
    }
    if (pipe2(fdErr, O_CLOEXEC) != 0) {
        close(fdIn[0]), close(fdIn[1]), close(fdOut[0]), close(fdOut[1]);
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fdIn[0], STDIN_FILENO);
        dup2(fdOut[1], STDOUT_FILENO);
        dup2(fdErr[1], STDERR_FILENO);
        ExecInChild(argv, envp, identity);
    }
    close(fdIn[0]), close(fdOut[1]), close(fdErr[1]);
    int fdWrite = fdIn[1], fdReadOut = fdOut[0], fdReadErr = fdErr[0];
    if (pid < 0) {
        CloseIfOpen(fdWrite), CloseIfOpen(fdReadOut), CloseIfOpen(fdReadErr);
        return result;
    }
    result.bStarted = true;

    size_t iWritten = 0;
    if (options.strStdin.empty())
        CloseIfOpen(fdWrite);
    const long long llDeadline = NowMs() + c_iToolTimeoutMs;
    while (fdReadOut >= 0 || fdReadErr >= 0) {
        pollfd fds[3] = {{fdReadOut, POLLIN, 0}, {fdReadErr, POLLIN, 0}, {fdWrite, POLLOUT, 0}};
        const long long llLeft = llDeadline - NowMs();
        if (llLeft <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 3, static_cast<int>(llLeft)) < 0 && errno != EINTR)
            break;
        char buffer[4096];
        int* fdReads[2] = {&fdReadOut, &fdReadErr};
        std::string* strTargets[2] = {&result.strStdout, &result.strStderr};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            const ssize_t n = read(*fdReads[i], buffer, sizeof buffer);
            if (n > 0)
                strTargets[i]->append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                CloseIfOpen(*fdReads[i]);
        }
        if (fds[2].revents != 0) {
            const ssize_t n = write(fdWrite, options.strStdin.data() + iWritten, options.strStdin.size() - iWritten);
            if (n > 0)
                iWritten += static_cast<size_t>(n);
            if ((n < 0 && errno != EINTR) || iWritten == options.strStdin.size())
                CloseIfOpen(fdWrite);
        }
    }
    CloseIfOpen(fdWrite), CloseIfOpen(fdReadOut), CloseIfOpen(fdReadErr);
    result.iExitCode = WaitForExitCode(pid);
    return result;
}

pid_t StartChild(const std::vector<std::string>& listArgv, const std::string& strStderrFile)
{
    return StartChildWith(listArgv, {}, strStderrFile);
}

pid_t StartChildWith(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                     const std::string& strStderrFile, stChildPipes* pipes)
{
    if (listArgv.empty())
        return -1;
    std::vector<std::string> listArgs = listArgv;
    std::vector<std::string> listFullEnv = BuildEnvironment(listEnv, stIdentity());
    std::vector<char*> argv = PointersOf(listArgs);
    std::vector<char*> envp = PointersOf(listFullEnv);
    int fdIn[2] = {-1, -1}, fdOut[2] = {-1, -1};
    if (pipes != nullptr) {
        if (pipe2(fdIn, O_CLOEXEC) != 0)
            return -1;
        if (pipe2(fdOut, O_CLOEXEC) != 0) {
            close(fdIn[0]), close(fdIn[1]);
            return -1;
        }
    }
    const int fdNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const int fdErr = strStderrFile.empty() ? -1 : open(strStderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fdIn[0] >= 0 ? fdIn[0] : fdNull, STDIN_FILENO);
        dup2(fdOut[1] >= 0 ? fdOut[1] : fdNull, STDOUT_FILENO);
        dup2(fdErr >= 0 ? fdErr : fdNull, STDERR_FILENO);
        ExecInChild(argv, envp, stIdentity());
    }
    for (int fd : {fdNull, fdErr, fdIn[0], fdOut[1]}) {
        if (fd >= 0)
            close(fd);
    }
    if (pipes != nullptr) {
        if (pid < 0) {
            close(fdIn[1]), close(fdOut[0]);
        } else {
            pipes->fdToStdin = fdIn[1];
            pipes->fdFromStdout = fdOut[0];
        }
    }
    return pid;
}

bool StopChild(pid_t pid, int iSignal, int iTimeoutMs)
{
    if (pid <= 0)
        return false;
    kill(pid, iSignal);
    const long long llDeadline = NowMs() + iTimeoutMs;
    while (NowMs() < llDeadline) {
        const pid_t done = waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        usleep(c_iStopPollMs * 1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

bool IsChildAlive(pid_t pid)
{
    if (pid <= 0)
        return false;
    return waitpid(pid, nullptr, WNOHANG) == 0;
}

} // namespace VornTest
