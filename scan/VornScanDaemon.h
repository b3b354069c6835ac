// The scan daemon's server: the listener on the loopback port and the command loop of each
// connection process.
#pragma once

#include "commDef.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

// Listens on 127.0.0.1:7001 and forks one connection process per client until SIGQUIT.
// scanFolder holds the logs and the page files.
int mainProc(const std::string& scanFolder = kVornScanFolder);

// Serves one client on clientFd until it leaves or SIGQUIT arrives.
void vorn_ServeClient(int clientFd, const std::string& scanFolder);

// The connection process: serves the client, then ends with status 0.
[[noreturn]] void vorn_RunConnectionProcess(int clientFd, const std::string& scanFolder);
