// A helper process the desktop fixture talks to in lines of text over its standard input and
// output (the AT-SPI driver, the session services), with every read bounded in time.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VornTest {

class LineChild {
public:
    LineChild() = default;
    // Stops the child (see Stop).
    ~LineChild();
    LineChild(const LineChild&) = delete;
    LineChild& operator=(const LineChild&) = delete;

    // Starts the program with extra environment entries; its error output goes to the file.
    bool Start(const std::vector<std::string>& listArgv, const std::vector<std::string>& listEnv,
               const std::string& strStderrFile);
    bool IsRunning() const { return m_pid > 0; }

    // Writes one line (a newline is added).
    bool WriteLine(const std::string& strLine);
    // The next line without its newline; false when none came within the time-out or the
    // child closed its output (it then most likely died: see its error file).
    bool ReadLine(std::string& strLine, int iTimeoutMs);

    // Closes its input (a line-driven child ends on that), then SIGTERM, and reaps it.
    void Stop();

private:
    pid_t m_pid = -1;
    int m_fdToChild = -1;
    int m_fdFromChild = -1;
    std::string m_strPending; // read but not yet handed out: the start of the next line
};

} // namespace VornTest
