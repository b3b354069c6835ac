// The private world of an end-to-end test binary: its own mount and network namespaces, so
// that the scheduler, the suite's folders, logins and users it sets up never reach the host.
#pragma once

#include <string>

namespace VornTest {

// Moves the process into new mount, network and PID namespaces. It forks: only the returning
// process runs the tests, inside the new PID namespace (with its own /proc) under a reaper
// that is the namespace's first process; the original process never returns (it waits and
// exits as the tests did). Mount events stay private;
// loopback is brought up; fresh tmpfs file systems cover /run and /opt, with an empty
// "/opt/vorn/vorn-printer-t905/". Must run before any thread starts: namespaces are per
// thread. Needs root. vorn_e2e_main calls it first thing.
bool EnterPrivateNamespace(std::string& strError);

// True once EnterPrivateNamespace succeeded in this process. Every fixture that mounts
// something refuses to work otherwise, so a misconfigured test cannot touch the host.
bool IsInPrivateNamespace();

// A new empty folder (mode 0755) on the private /run for one fixture's state; "" on failure.
std::string MakeScratchFolder(const std::string& strPurpose);

// Deletes a folder tree; used by fixtures to give their scratch space back.
void RemoveTree(const std::string& strPath);

} // namespace VornTest
