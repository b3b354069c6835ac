// Runs the real VornScanDaemon for one test inside the test binary's private namespaces: a
// fresh suite root, the daemon started as a user starts it (it daemonizes) or as a service
// manager does (in the foreground, a child of the test), SIGQUIT at the end.
#pragma once

#include "SuiteRoot.h"
#include "VornScanClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/types.h>

class ScanDaemonTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new client connection to the daemon.
    std::unique_ptr<VornScanClient> Connect();
    // Contents of a file below the suite root's scan folder ("" when missing).
    static std::string ScanFile(const std::string& name);
    static std::string ScanFolder();
    // Waits until the log holds `count` lines containing `text`.
    static bool WaitForLog(const std::string& logName, const std::string& text, int count = 1, int timeoutMs = 5000);
    static int CountInLog(const std::string& logName, const std::string& text);

    // Sends SIGQUIT to the listener and waits for it to end.
    bool QuitListener();
    // Starts the installed daemon and waits until it listens (m_listenerPid). SetUp does this.
    void StartDaemon();
    // Daemon processes still alive once the listener is gone (the test adopts them).
    static int OrphanedDaemonProcesses();
    // Signals a foreground listener and reaps it; false when it did not end within the time-out.
    bool StopForegroundListener(int signal, int& exitStatus);

    pid_t m_listenerPid = -1;
    // Set before SetUp: start with "--foreground", as a service manager would.
    bool m_bForeground = false;

private:
    std::unique_ptr<VornTest::SuiteRoot> m_root;
};

constexpr const char* kInfoLog = "vorn_scan_info.log";
constexpr const char* kErrLog = "vorn_scan_err.log";
