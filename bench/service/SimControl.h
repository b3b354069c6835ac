// A client of the printer simulator's control socket that keeps one connection open, so that
// driving the simulator during a measurement starts no process.
#pragma once

#include <string>

namespace ServiceBench {

class SimControl {
public:
    SimControl() = default;
    ~SimControl();
    SimControl(const SimControl&) = delete;
    SimControl& operator=(const SimControl&) = delete;

    // Connects to DIR/control.sock, retrying until the simulator listens or the time is up.
    bool Connect(const std::string& strControlDir, int iTimeoutMs);

    // Sends one command line; true when the simulator answers "ok". The reply lines (listings
    // and the final "ok" or "error: ...") go to strReply.
    bool Send(const std::string& strCommand, std::string& strReply);

private:
    bool ReadLine(std::string& strLine);

    int m_iFd = -1;
    std::string m_strPending;
};

} // namespace ServiceBench
