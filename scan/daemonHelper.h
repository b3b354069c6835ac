// Process plumbing of the scan daemon: turning into a background process, the SIGQUIT
// handler that stops the loops, and the daemon's own info and error logs.
#pragma once

#include <csignal>
#include <string>

constexpr const char* kVornInfoLogName = "vorn_scan_info.log";
constexpr const char* kVornErrLogName = "vorn_scan_err.log";

// Cleared by the SIGQUIT handler; every loop of the daemon checks it.
extern volatile sig_atomic_t g_bVornRun;

// Detaches from the terminal and the session (double fork); only the grandchild returns.
void create_daemon();

// SIGQUIT handler: logs the signal and clears the run flag.
void handler(int sig);

// Installs handler for SIGQUIT without SA_RESTART, so a blocking accept or recv returns.
bool vorn_install_quit_handler();

// Opens both logs in the scan folder, truncated; false if either cannot be opened.
bool VornInitDbg(const std::string& scanFolder);
// Reopens both logs for appending; used by every connection and data process.
bool VornReopenDbg(const std::string& scanFolder);

// One line each, written and flushed at once; a line end is added when the text has none.
void vorn_log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vorn_log_err(const char* format, ...) __attribute__((format(printf, 1, 2)));
