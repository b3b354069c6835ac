// Process plumbing of the scan daemon: turning into a background process, the SIGQUIT and
// SIGTERM handler that stops the loops, and the daemon's own info and error logs.
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>

constexpr const char* kVornInfoLogName = "vorn_scan_info.log";
constexpr const char* kVornErrLogName = "vorn_scan_err.log";
// A log that has grown past this size is renamed with kVornRotatedLogSuffix (replacing the
// previous one) and started afresh, so the two logs never hold more than twice this each.
constexpr off_t kVornLogRotateSize = 1024 * 1024;
constexpr const char* kVornRotatedLogSuffix = ".1";

// The option that keeps the daemon in the foreground for a service manager.
constexpr const char* kVornForegroundOption = "--foreground";

// Cleared by the stop handler; every loop of the daemon checks it.
extern volatile sig_atomic_t g_bVornRun;
// The signal that cleared it (SIGQUIT or SIGTERM), 0 while running.
extern volatile sig_atomic_t g_iVornStopSignal;

// True when argv asks for the foreground mode.
bool vorn_WantsForeground(int argc, const char* const argv[]);

// Detaches from the terminal and the session (double fork); only the grandchild returns. In the
// foreground the process stays where it is, with its standard streams, and only the rest of
// the set-up (folder, umask, signals) is done.
void create_daemon(bool foreground = false);

// SIGQUIT and SIGTERM handler: logs the signal, records it and clears the run flag.
void handler(int sig);

// Installs handler for SIGQUIT and SIGTERM without SA_RESTART, so a blocking call returns.
bool vorn_install_stop_handlers();

// The daemon's processes keep the stop signals (and SIGCHLD) blocked and take them only while
// they wait (ppoll with this mask), so a signal can never slip in between the run-flag test
// and the wait. A data process never waits for them: its connection decides when it ends, so
// a stop signal sent to every process at once still lets the connection abort the scan first.
void vorn_BlockSignalsOutsideWaits();
// The current mask without the signals blocked above: the mask to wait with.
sigset_t vorn_WaitMask();

// Opens both logs in the scan folder, truncated; false if either cannot be opened. A log
// that is a symbolic link is not followed.
bool VornInitDbg(const std::string& scanFolder);
// Reopens both logs for appending; used by every connection and data process.
bool VornReopenDbg(const std::string& scanFolder);

// One line each, written and flushed at once; a line end is added when the text has none.
void vorn_log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vorn_log_err(const char* format, ...) __attribute__((format(printf, 1, 2)));
