// What the service benchmark reads about a running process from /proc: CPU time, peak memory,
// and how many processes have been started in the benchmark's PID namespace.
#pragma once

#include <sys/types.h>

#include <string>

namespace ServiceBench {

struct stCpuTimes {
    double dSelfSeconds = 0.0;     // utime + stime of the process itself
    double dChildrenSeconds = 0.0; // cutime + cstime of the children it has waited for
};

// CPU time of the process so far; false when it is gone.
bool ReadCpuTimes(pid_t pid, stCpuTimes& times);

// Peak resident set size (VmHWM) in KiB; -1 when the process is gone.
long ReadPeakRssKiB(pid_t pid);

// The PID most recently handed out in the caller's PID namespace (last field of /proc/loadavg).
// PIDs are handed out one after the other, so the difference between two readings is the number
// of processes (and threads) started in between; -1 when it cannot be read.
long ReadLastPid();

// The machine's load averages over 1, 5 and 15 minutes, as /proc/loadavg shows them; the delays
// the benchmark measures grow with the load of the machine it runs on.
std::string ReadLoadAverages();

// The first live process whose command name is the given one (at most 15 characters, as the
// kernel keeps it); -1 when there is none.
pid_t FindProcessByName(const std::string& strName);

} // namespace ServiceBench
