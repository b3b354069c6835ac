// The scan daemon's server: the listener on the loopback port and the command loop of each
// connection process.
#pragma once

#include "commDef.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

// More clients than this at once are refused: each costs a root process.
constexpr int kVornMaxConnections = 32;
// A connection that sends no command for this long, while no scan of it runs, is closed.
constexpr int kVornIdleTimeoutMs = 10 * 60 * 1000;
// How often the listener removes page files of connections that are gone.
constexpr int kVornOrphanSweepPeriodMs = 60 * 1000;
// On SIGTERM, connection processes get this long to abort their scans before they are killed.
constexpr int kVornStopGraceMs = 15 * 1000;

struct stDaemonLimits {
    int maxConnections = kVornMaxConnections;
    int idleTimeoutMs = kVornIdleTimeoutMs;
    int sweepPeriodMs = kVornOrphanSweepPeriodMs;
};

// Listens on 127.0.0.1:7001 and forks one connection process per client until SIGQUIT or
// SIGTERM; SIGTERM also stops every connection with its scan. scanFolder holds the logs and
// the page files.
int mainProc(const std::string& scanFolder = kVornScanFolder, const stDaemonLimits& limits = stDaemonLimits());

// Serves one client on clientFd until it leaves, stays idle too long or a stop signal arrives,
// then stops what the client left running: its scan, the scanner's lock and its page files.
void vorn_ServeClient(int clientFd, const std::string& scanFolder, const stDaemonLimits& limits = stDaemonLimits());

// The connection process: serves the client, then ends with status 0.
[[noreturn]] void vorn_RunConnectionProcess(int clientFd, const std::string& scanFolder, const stDaemonLimits& limits);
