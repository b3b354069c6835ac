// Runs external tools with argument lists. Everything that may allocate or take a lock is done
// before fork, because the callers are multi-threaded and the child may only use
// async-signal-safe calls until exec.
#include "UtilProcess.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Searched after PATH so that administration tools (lpadmin) are found from a user's PATH too.
constexpr const char* c_szFallbackPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
constexpr int c_iExecFailedExitCode = 127;
constexpr int c_iReadChunkBytes = 65536;
constexpr int c_iReapPollMs = 5;
constexpr int c_iHighestFdToClose = 65536;

// A command ready for exec: every string and pointer array built in the parent.
struct stExecPlan {
    std::string strPath;
    std::vector<std::string> vecArgs;
    std::vector<char*> vecArgv;
    std::vector<std::string> vecEnv;
    std::vector<char*> vecEnvp;
    int iMaxFd = c_iHighestFdToClose;
};

bool IsExecutableFile(const std::string& strPath)
{
    return access(strPath.c_str(), X_OK) == 0;
}

std::string ResolveProgram(const QString& strProgram)
{
    const std::string strName = QFile::encodeName(strProgram).toStdString();
    if (strName.empty())
        return {};
    if (strName.find('/') != std::string::npos)
        return IsExecutableFile(strName) ? strName : std::string();
    const char* szPath = std::getenv("PATH");
    const std::string strSearch = std::string(szPath ? szPath : "") + ":" + c_szFallbackPath;
    size_t uStart = 0;
    while (uStart <= strSearch.size()) {
        size_t uEnd = strSearch.find(':', uStart);
        if (uEnd == std::string::npos)
            uEnd = strSearch.size();
        const std::string strDir = strSearch.substr(uStart, uEnd - uStart);
        if (!strDir.empty()) {
            const std::string strCandidate = strDir + "/" + strName;
            if (IsExecutableFile(strCandidate))
                return strCandidate;
        }
        uStart = uEnd + 1;
    }
    return {};
}

bool PrepareExec(const QString& strProgram, const QStringList& listArgs, stExecPlan& plan)
{
    plan.strPath = ResolveProgram(strProgram);
    if (plan.strPath.empty())
        return false;

    plan.vecArgs.push_back(QFile::encodeName(strProgram).toStdString());
    // UTF-8 whatever the locale: a queue name in a C locale must not turn into "?".
    for (const QString& strArg : listArgs)
        plan.vecArgs.push_back(strArg.toUtf8().toStdString());
    for (std::string& strArg : plan.vecArgs)
        plan.vecArgv.push_back(strArg.data());
    plan.vecArgv.push_back(nullptr);

    // Copied before fork: another thread may change the environment meanwhile.
    for (char** ppEnv = environ; ppEnv && *ppEnv; ++ppEnv)
        plan.vecEnv.push_back(*ppEnv);
    for (std::string& strEntry : plan.vecEnv)
        plan.vecEnvp.push_back(strEntry.data());
    plan.vecEnvp.push_back(nullptr);

    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < rlim_t(c_iHighestFdToClose))
        plan.iMaxFd = int(limit.rlim_cur);
    return true;
}

void WriteErrnoAndExit(int iErrorFd)
{
    const int iError = errno;
    ssize_t iIgnored = write(iErrorFd, &iError, sizeof(iError));
    (void)iIgnored;
    _exit(c_iExecFailedExitCode);
}

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecInChild(const stExecPlan& plan, int iStdin, int iStdout, int iStderr, int iErrorFd)
{
    sigset_t setAll;
    sigemptyset(&setAll);
    sigprocmask(SIG_SETMASK, &setAll, nullptr);
    signal(SIGPIPE, SIG_DFL);

    if (dup2(iStdin, STDIN_FILENO) < 0 || dup2(iStdout, STDOUT_FILENO) < 0 || dup2(iStderr, STDERR_FILENO) < 0)
        WriteErrnoAndExit(iErrorFd);
    // Whatever else the parent had open (sockets, USB handles, other children's pipes) must not
    // leak into the tool; the error pipe closes on exec by itself.
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */) != 0)
#endif
    {
        for (int iFd = 3; iFd < plan.iMaxFd; ++iFd) {
            if (iFd != iErrorFd)
                fcntl(iFd, F_SETFD, FD_CLOEXEC);
        }
    }

    execve(plan.strPath.c_str(), plan.vecArgv.data(), plan.vecEnvp.data());
    WriteErrnoAndExit(iErrorFd);
    _exit(c_iExecFailedExitCode);
}

void CloseFd(int& iFd)
{
    if (iFd >= 0)
        close(iFd);
    iFd = -1;
}

// Waits for the exec (the error pipe closes) or its failure (the child writes errno).
bool ExecSucceeded(int iErrorFd)
{
    int iError = 0;
    ssize_t iRead = 0;
    do {
        iRead = read(iErrorFd, &iError, sizeof(iError));
    } while (iRead < 0 && errno == EINTR);
    return iRead == 0;
}

int ExitCodeOf(int iStatus)
{
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
}

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return remaining > 0 ? int(std::min<long long>(remaining, INT_MAX)) : 0;
}

// Reads both pipes until they reach end of file or the deadline passes; false on time-out.
bool DrainPipes(int iStdoutFd, int iStderrFd, stProcessResult& result, Clock::time_point deadline)
{
    pollfd arrPoll[2] = {{iStdoutFd, POLLIN, 0}, {iStderrFd, POLLIN, 0}};
    QByteArray* arrTarget[2] = {&result.baStdout, &result.baStderr};
    std::vector<char> vecChunk(c_iReadChunkBytes);
    while (arrPoll[0].fd >= 0 || arrPoll[1].fd >= 0) {
        const int iWaitMs = RemainingMs(deadline);
        if (iWaitMs == 0)
            return false;
        const int iReady = poll(arrPoll, 2, iWaitMs);
        if (iReady < 0 && errno == EINTR)
            continue;
        if (iReady < 0)
            return true;
        for (int i = 0; i < 2; ++i) {
            if (arrPoll[i].fd < 0 || arrPoll[i].revents == 0)
                continue;
            const ssize_t iRead = read(arrPoll[i].fd, vecChunk.data(), vecChunk.size());
            if (iRead > 0) {
                arrTarget[i]->append(vecChunk.data(), int(iRead));
            } else if (iRead == 0 || errno != EINTR) {
                // Closed by the caller: closing here too could close a descriptor number that
                // another thread has been given in the meantime.
                arrPoll[i].fd = -1;
            }
        }
    }
    return true;
}

// Reaps the child within the deadline; false when it is still running then.
bool ReapChild(pid_t pid, int& iStatus, Clock::time_point deadline)
{
    for (;;) {
        const pid_t iDone = waitpid(pid, &iStatus, WNOHANG);
        if (iDone == pid || (iDone < 0 && errno != EINTR))
            return true;
        if (RemainingMs(deadline) == 0)
            return false;
        usleep(c_iReapPollMs * 1000);
    }
}

void KillAndReap(pid_t pid, int& iStatus)
{
    // The child leads its own process group, so helpers it started go with it.
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

stProcessResult UtilProcess::Run(const QString& strProgram, const QStringList& listArgs, const stProcessOptions& options)
{
    stProcessResult result;
    stExecPlan plan;
    if (!PrepareExec(strProgram, listArgs, plan))
        return result;

    int arrOut[2] = {-1, -1};
    int arrErr[2] = {-1, -1};
    int arrExecError[2] = {-1, -1};
    int iDevNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (iDevNull < 0 || pipe2(arrOut, O_CLOEXEC) != 0 || pipe2(arrErr, O_CLOEXEC) != 0
        || pipe2(arrExecError, O_CLOEXEC) != 0) {
        for (int* pFd : {&iDevNull, &arrOut[0], &arrOut[1], &arrErr[0], &arrErr[1], &arrExecError[0], &arrExecError[1]})
            CloseFd(*pFd);
        return result;
    }

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.iTimeoutMs);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        ExecInChild(plan, iDevNull, arrOut[1], arrErr[1], arrExecError[1]);
    }
    for (int* pFd : {&iDevNull, &arrOut[1], &arrErr[1], &arrExecError[1]})
        CloseFd(*pFd);
    if (pid < 0) {
        for (int* pFd : {&arrOut[0], &arrErr[0], &arrExecError[0]})
            CloseFd(*pFd);
        return result;
    }
    // Set from both sides so a kill of the group cannot race the child's own setpgid.
    setpgid(pid, pid);

    result.bStarted = ExecSucceeded(arrExecError[0]);
    CloseFd(arrExecError[0]);

    const bool bDrained = DrainPipes(arrOut[0], arrErr[0], result, deadline);
    CloseFd(arrOut[0]);
    CloseFd(arrErr[0]);

    int iStatus = 0;
    if (!bDrained || !ReapChild(pid, iStatus, deadline)) {
        result.bTimedOut = true;
        KillAndReap(pid, iStatus);
        result.iExitCode = -1;
        return result;
    }
    result.iExitCode = result.bStarted ? ExitCodeOf(iStatus) : -1;
    return result;
}

bool UtilProcess::StartDetached(const QString& strProgram, const QStringList& listArgs, enDetachedStderr enStderr)
{
    stExecPlan plan;
    if (!PrepareExec(strProgram, listArgs, plan))
        return false;

    int arrExecError[2] = {-1, -1};
    int iDevNullIn = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int iDevNullOut = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (iDevNullIn < 0 || iDevNullOut < 0 || pipe2(arrExecError, O_CLOEXEC) != 0) {
        for (int* pFd : {&iDevNullIn, &iDevNullOut, &arrExecError[0], &arrExecError[1]})
            CloseFd(*pFd);
        return false;
    }

    const pid_t pid = fork();
    if (pid == 0) {
        // The intermediate child leaves at once, so the program is adopted by init and the
        // caller never has a zombie to reap.
        setsid();
        // _Fork skips the atfork handlers, which are not safe in a child of a threaded parent.
        const pid_t grandchild = _Fork();
        if (grandchild == 0)
            ExecInChild(plan, iDevNullIn, iDevNullOut, enStderr == STDERR_INHERIT ? STDERR_FILENO : iDevNullOut,
                        arrExecError[1]);
        if (grandchild < 0)
            WriteErrnoAndExit(arrExecError[1]);
        _exit(0);
    }
    for (int* pFd : {&iDevNullIn, &iDevNullOut, &arrExecError[1]})
        CloseFd(*pFd);
    if (pid < 0) {
        CloseFd(arrExecError[0]);
        return false;
    }
    int iStatus = 0;
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    const bool bStarted = ExecSucceeded(arrExecError[0]);
    CloseFd(arrExecError[0]);
    return bStarted;
}
