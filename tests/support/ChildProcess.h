// Starts the real tools an end-to-end test drives (cupsd, lpadmin, lp, lpstat, w, ...) with
// argument lists, never through a shell, and collects what they print.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VornTest {

struct stToolResult {
    bool bStarted = false;
    int iExitCode = -1; // -1 when the tool did not exit normally (or did not start)
    std::string strStdout;
    std::string strStderr;

    bool Succeeded() const { return bStarted && iExitCode == 0; }
};

struct stToolOptions {
    // Extra or replaced environment entries, "NAME=value".
    std::vector<std::string> listEnv;
    // Run as this user (uid, gid, supplementary groups, HOME, USER); empty: as the caller.
    std::string strUser;
    // Fed to the tool's standard input; it sees end of file afterwards.
    std::string strStdin;
};

// Runs a tool to its end. The program is looked up in PATH when it holds no "/".
stToolResult RunTool(const std::vector<std::string>& listArgv, const stToolOptions& options = stToolOptions());

// Starts a long-running child with standard streams on /dev/null (stderr optionally into a
// file); returns its pid, or -1. The caller ends it with StopChild.
pid_t StartChild(const std::vector<std::string>& listArgv, const std::string& strStderrFile = std::string());

// Where StartChildWith puts a child's standard input and output: pipes the caller owns
// (and closes), instead of /dev/null.
struct stChildPipes {
    int fdToStdin = -1;
    int fdFromStdout = -1;
};

// StartChild with extra or replaced environment entries ("NAME=value") and, when pipes is
// given, its standard input and output on pipes.
pid_t StartChildWith(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
                     const std::string& strStderrFile, stChildPipes* pipes = nullptr);

// Sends the signal and reaps the child; true when it ended within the time-out (it is then
// killed hard and reaped anyway, so nothing is left behind).
bool StopChild(pid_t pid, int iSignal, int iTimeoutMs = 5000);

// True while the child has not exited. Reaps it when it has.
bool IsChildAlive(pid_t pid);

} // namespace VornTest
