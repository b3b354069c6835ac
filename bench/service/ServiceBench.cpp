// Runs the real vornT905Service for a while (default 60 s) against a throwaway CUPS with four
// simulated network printers (two printing, two ready and idle) and two simulated USB printers,
// and prints what it costs: its CPU time and the scheduler's per printer-minute (work the
// service hands to the scheduler must show there), processes started per second, peak memory,
// and how long a printer's change takes to reach its status file. Runs as root in private
// namespaces, so it touches nothing of the machine.
#include "CupsScheduler.h"
#include "DesktopLogin.h"
#include "FolderWatch.h"
#include "PrivateNamespace.h"
#include "PrivateUser.h"
#include "ProcessMeter.h"
#include "SimControl.h"
#include "SuiteRoot.h"
#include "TestPpd.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace ServiceBench;
using namespace VornTest;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int c_iDefaultSeconds = 60;
constexpr const char* c_szServiceName = "vornT905Service";
constexpr const char* c_szSchedulerName = "cupsd";
// The status workers' cycles: a printing network printer is read every second, a USB printer
// every 1.5 s; delays are also shown in these periods.
constexpr double c_dNetworkPeriodMs = 1000.0;
constexpr double c_dUsbPeriodMs = 1500.0;
// The service starts every printer off-line, and an off-line network printer's first cycle lasts
// 10 s: the measurement starts once every printer that is read each cycle has been read twice.
constexpr int c_iReadsBeforeMeasuring = 2;
// Before the service starts, the rest of the world (cupsd, backends, login) is watched this
// long for processes it starts on its own, so they can be told apart from the service's.
constexpr int c_iBaselineMs = 3000;
// Enough for the first pass and two reads of every printer on a loaded machine.
constexpr int c_iWarmUpTimeoutMs = 60000;
constexpr int c_iWarmUpPollMs = 100;
// A change that takes longer than this is counted as missed, not as a delay.
constexpr int c_iChangeTimeoutMs = 30000;
// Pauses between changes vary so that changes land at every phase of the service's cycles.
constexpr int c_iMinPauseMs = 100;
constexpr int c_iMaxPauseMs = 600;

enum class enTransport { Network, Usb };

struct stBenchPrinter {
    const char* szName;
    enTransport enKind;
    const char* szAddressOrSerial;
    const char* szModel;
    bool bPrinting;
};

const stBenchPrinter c_listPrinters[] = {
    {"NetPrinting1", enTransport::Network, "127.0.0.2", "VC5100DNW", true},
    {"NetPrinting2", enTransport::Network, "127.0.0.3", "VL2120DNW", true},
    {"NetIdle1", enTransport::Network, "127.0.0.4", "VM2300DNW", false},
    {"NetIdle2", enTransport::Network, "127.0.0.5", "VPX750DNW", false},
    {"UsbDesk1", enTransport::Usb, "SNB00000001", "VL2120DN", false},
    {"UsbDesk2", enTransport::Usb, "SNB00000002", "VC5100DN", false},
};
constexpr int c_iPrinterCount = int(sizeof(c_listPrinters) / sizeof(c_listPrinters[0]));

// The printers whose changes are timed: a printing network printer and a USB printer.
const char* const c_szTimedNetwork = "NetPrinting1";
const char* const c_szTimedUsb = "UsbDesk1";

struct stOptions {
    int iSeconds = c_iDefaultSeconds;
    // Another build of the service, e.g. an older one to compare with.
    std::string strService = SERVICE_PATH;
};

bool ParseOptions(int argc, char** argv, stOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            options.iSeconds = std::atoi(argv[++i]);
            if (options.iSeconds <= 0)
                return false;
        } else if (std::strcmp(argv[i], "--service") == 0 && i + 1 < argc) {
            options.strService = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string ReadFileBytes(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& strPath)
{
    struct stat info{};
    return stat(strPath.c_str(), &info) == 0;
}

std::string StatusFilePath(const std::string& strQueue)
{
    return SuiteRoot::Path("cfg/" + strQueue + ".dat");
}

// The simulator's configuration: every printer of the benchmark, the printing ones busy.
std::string SimulatorConfig()
{
    std::string strConfig;
    for (const stBenchPrinter& printer : c_listPrinters) {
        if (printer.enKind == enTransport::Network)
            strConfig += std::string("add ") + printer.szName + " udp " + printer.szAddressOrSerial + " " + printer.szModel + "\n";
        else
            strConfig += std::string("add ") + printer.szName + " usb " + printer.szModel + " " + printer.szAddressOrSerial + "\n";
        if (printer.bPrinting)
            strConfig += std::string("set ") + printer.szName + " status printing\n";
    }
    return strConfig;
}

std::string QueueUri(const stBenchPrinter& printer)
{
    if (printer.enKind == enTransport::Usb)
        return CupsScheduler::UsbUri(printer.szModel, printer.szAddressOrSerial);
    // The fixture's stand-in backend keeps a job printing until it is cancelled.
    return CupsScheduler::VornSocketUri(printer.szAddressOrSerial);
}

struct stDelays {
    std::vector<double> listMs;
    int iMissed = 0;
};

// Changes the printer's toner in the simulator and waits until its status file shows it.
void TimeOneChange(SimControl& sim, FolderWatch& watch, const std::string& strPrinter, int iToner, stDelays& delays)
{
    const std::string strPath = StatusFilePath(strPrinter);
    const std::string strBefore = ReadFileBytes(strPath);
    std::string strReply;
    if (!sim.Send("set " + strPrinter + " toner " + std::to_string(iToner), strReply)) {
        ++delays.iMissed;
        return;
    }
    const Clock::time_point changed = Clock::now();
    // The file may have changed between reading it and the change: look before every wait.
    for (;;) {
        const std::string strNow = ReadFileBytes(strPath);
        if (!strNow.empty() && strNow != strBefore) {
            delays.listMs.push_back(MillisecondsSince(changed));
            return;
        }
        const int iLeftMs = c_iChangeTimeoutMs - int(MillisecondsSince(changed));
        if (iLeftMs <= 0 || !watch.WaitForChange(iLeftMs))
            break;
    }
    ++delays.iMissed;
}

void PrintDelays(const char* szWhat, stDelays delays, double dPeriodMs)
{
    if (delays.listMs.empty()) {
        std::printf("  %-34s no change timed before the run ended (%d missed)\n", szWhat, delays.iMissed);
        return;
    }
    std::sort(delays.listMs.begin(), delays.listMs.end());
    const size_t iCount = delays.listMs.size();
    const double dMedian = iCount % 2 ? delays.listMs[iCount / 2]
                                      : (delays.listMs[iCount / 2 - 1] + delays.listMs[iCount / 2]) / 2.0;
    std::printf("  %-34s median %7.0f ms   worst %7.0f ms = %.1f poll periods   (%zu changes, %d missed after %d s)\n",
                szWhat, dMedian, delays.listMs.back(), delays.listMs.back() / dPeriodMs, iCount, delays.iMissed,
                c_iChangeTimeoutMs / 1000);
}

// Status requests each simulated printer has received so far, by printer name, from the
// simulator's "printers" listing ("NAME TRANSPORT ... requests=N cancels=N").
std::map<std::string, long> ReadRequestCounts(SimControl& sim)
{
    std::map<std::string, long> mapRequests;
    std::string strListing;
    if (!sim.Send("printers", strListing))
        return mapRequests;
    std::istringstream lines(strListing);
    std::string strLine;
    while (std::getline(lines, strLine)) {
        const size_t iField = strLine.find(" requests=");
        if (iField != std::string::npos)
            mapRequests[strLine.substr(0, strLine.find(' '))] = std::atol(strLine.c_str() + iField + 10);
    }
    return mapRequests;
}

// Waits until the service runs, every printer has a status file and the printers that are read
// every cycle (USB, and network printers that print) are past their first cycle.
bool WaitUntilWarm(SimControl& sim, pid_t& pidService, std::string& strWhyNot)
{
    const Clock::time_point start = Clock::now();
    while (MillisecondsSince(start) < c_iWarmUpTimeoutMs) {
        if (pidService < 0)
            pidService = FindProcessByName(c_szServiceName);
        const std::map<std::string, long> mapRequests = ReadRequestCounts(sim);
        strWhyNot = pidService < 0 ? "the service did not start" : "";
        for (const stBenchPrinter& printer : c_listPrinters) {
            const auto itRequests = mapRequests.find(printer.szName);
            const long lRequests = itRequests == mapRequests.end() ? 0 : itRequests->second;
            if (!FileExists(StatusFilePath(printer.szName)))
                strWhyNot = std::string(printer.szName) + " has no status file";
            else if ((printer.bPrinting || printer.enKind == enTransport::Usb) && lRequests < c_iReadsBeforeMeasuring)
                strWhyNot = std::string(printer.szName) + " was read " + std::to_string(lRequests) + " times";
        }
        if (strWhyNot.empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(c_iWarmUpPollMs));
    }
    strWhyNot += " after " + std::to_string(c_iWarmUpTimeoutMs / 1000) + " s";
    return false;
}

int Fail(const std::string& strWhat, const std::string& strDetail = std::string())
{
    std::fprintf(stderr, "bench_service: %s\n%s%s", strWhat.c_str(), strDetail.c_str(),
                 strDetail.empty() || strDetail.back() == '\n' ? "" : "\n");
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    stOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--seconds N] [--service PATH]   (default %d s and the build's service; needs root)\n",
                     argv[0], c_iDefaultSeconds);
        return 2;
    }
    std::string strError;
    if (!EnterPrivateNamespace(strError))
        return Fail("cannot enter private namespaces (run as root)", strError);

    SuiteRoot root;
    if (!root.IsReady() || !root.InstallProgram(options.strService, c_szServiceName))
        return Fail("cannot lay out the suite root with the service");
    CupsScheduler cups;
    if (!cups.IsReady() || !cups.Start())
        return Fail("cannot start the throwaway CUPS", cups.LastError());
    for (const stBenchPrinter& printer : c_listPrinters) {
        if (!cups.AddQueue(printer.szName, QueueUri(printer), SuiteModelName(printer.szModel)))
            return Fail(std::string("cannot add queue ") + printer.szName, cups.LastError());
    }
    // A desktop user is logged in and owns the jobs, as on the machines the service runs on
    // (older builds of the service, measured with --service, list the jobs as that user).
    PrivateUser user;
    DesktopLogin login(user.Name());
    if (!user.IsReady() || !login.IsActive())
        return Fail("cannot log a desktop user in");
    for (const stBenchPrinter& printer : c_listPrinters) {
        if (!printer.bPrinting)
            continue;
        if (cups.SubmitRawJob(printer.szName, "benchmark page\n", user.Name()).empty() ||
            !cups.WaitForJobListing(printer.szName, "job-printing"))
            return Fail(std::string("no job stays printing on ") + printer.szName, cups.Diagnostics());
    }

    const std::string strScratch = MakeScratchFolder("bench-service");
    const std::string strConfig = strScratch + "/printers.conf";
    std::ofstream(strConfig) << SimulatorConfig();
    const std::string strSimLog = strScratch + "/simulator.stderr";

    const long lBaselineStartPid = ReadLastPid();
    std::this_thread::sleep_for(std::chrono::milliseconds(c_iBaselineMs));
    const double dBaselinePerSecond = double(ReadLastPid() - lBaselineStartPid) * 1000.0 / c_iBaselineMs;

    // The simulated USB bus exists only in the simulator and its children: the service runs as
    // its child.
    const pid_t pidSimulator =
        StartChild({SIMULATOR_PATH, "--config", strConfig, "--control-dir", strScratch, "--", SuiteRoot::Path("bin/vornT905Service")},
                   strSimLog);
    if (pidSimulator < 0)
        return Fail("cannot start the printer simulator");
    SimControl sim;
    if (!sim.Connect(strScratch, c_iWarmUpTimeoutMs))
        return Fail("the printer simulator does not answer", ReadFileBytes(strSimLog));

    const Clock::time_point warmUp = Clock::now();
    pid_t pidService = -1;
    std::string strWhyNotWarm;
    if (!WaitUntilWarm(sim, pidService, strWhyNotWarm))
        return Fail(strWhyNotWarm, ReadFileBytes(strSimLog));
    const double dWarmUpMs = MillisecondsSince(warmUp);

    std::printf("vornT905Service benchmark: %d s, %d printers (4 network: 2 printing, 2 ready and idle; 2 USB)\n",
                options.iSeconds, c_iPrinterCount);
    std::fflush(stdout);

    stCpuTimes cpuBefore;
    ReadCpuTimes(pidService, cpuBefore);
    const pid_t pidScheduler = FindProcessByName(c_szSchedulerName);
    stCpuTimes cpuSchedulerBefore;
    ReadCpuTimes(pidScheduler, cpuSchedulerBefore);
    const long lStartPid = ReadLastPid();
    const std::string strLoadBefore = ReadLoadAverages();
    const Clock::time_point start = Clock::now();

    FolderWatch watch(SuiteRoot::Path("cfg"));
    if (!watch.IsReady())
        return Fail("cannot watch the status files' folder");
    const std::map<std::string, long> mapRequestsBefore = ReadRequestCounts(sim);
    stDelays delaysNetwork;
    stDelays delaysUsb;
    std::minstd_rand random(4711);
    std::uniform_int_distribution<int> pause(c_iMinPauseMs, c_iMaxPauseMs);
    int iToner = 9000;
    for (int iRound = 0; MillisecondsSince(start) < options.iSeconds * 1000.0; ++iRound) {
        const bool bNetwork = iRound % 2 == 0;
        TimeOneChange(sim, watch, bNetwork ? c_szTimedNetwork : c_szTimedUsb, --iToner, bNetwork ? delaysNetwork : delaysUsb);
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
    }

    const double dElapsedSeconds = MillisecondsSince(start) / 1000.0;
    const std::map<std::string, long> mapRequestsAfter = ReadRequestCounts(sim);
    const long lEndPid = ReadLastPid();
    stCpuTimes cpuAfter;
    const bool bAlive = ReadCpuTimes(pidService, cpuAfter);
    const long lPeakRssKiB = ReadPeakRssKiB(pidService);
    stCpuTimes cpuSchedulerAfter;
    const bool bSchedulerAlive = ReadCpuTimes(pidScheduler, cpuSchedulerAfter);
    StopChild(pidSimulator, SIGTERM);
    if (!bAlive)
        return Fail("the service ended during the run", ReadFileBytes(strSimLog));

    const std::string strLoadAfter = ReadLoadAverages();
    const double dPrinterMinutes = c_iPrinterCount * dElapsedSeconds / 60.0;
    const double dSelf = cpuAfter.dSelfSeconds - cpuBefore.dSelfSeconds;
    const double dChildren = cpuAfter.dChildrenSeconds - cpuBefore.dChildrenSeconds;
    const double dScheduler = cpuSchedulerAfter.dSelfSeconds - cpuSchedulerBefore.dSelfSeconds;
    const double dStartedPerSecond = double(lEndPid - lStartPid) / dElapsedSeconds;

    std::printf("  load averages of the machine: %s before, %s after\n", strLoadBefore.c_str(), strLoadAfter.c_str());
    std::printf("  warm-up until every printer had a status file and was past its first cycle: %.1f s\n", dWarmUpMs / 1000.0);
    std::printf("  measured over %.1f s = %.1f printer-minutes\n", dElapsedSeconds, dPrinterMinutes);
    std::printf("  %-34s %7.3f s per printer-minute   (%.2f s in all, utime+stime)\n", "CPU, service process:", dSelf / dPrinterMinutes,
                dSelf);
    std::printf("  %-34s %7.3f s per printer-minute   (%.2f s in all, cutime+cstime)\n", "CPU, its finished children:",
                dChildren / dPrinterMinutes, dChildren);
    std::printf("  %-34s %7.3f s per printer-minute\n", "CPU, service and children:", (dSelf + dChildren) / dPrinterMinutes);
    if (bSchedulerAlive)
        std::printf("  %-34s %7.3f s per printer-minute   (%.2f s in all, utime+stime)\n", "CPU, cupsd:",
                    dScheduler / dPrinterMinutes, dScheduler);
    else
        std::printf("  %-34s not measured: the scheduler was not found\n", "CPU, cupsd:");
    std::printf("  %-34s %7.1f per second   (PID counter of the private PID namespace; includes\n"
                "  %-34s grandchildren and threads; %.1f/s before the service started, not subtracted)\n",
                "processes started:", dStartedPerSecond, "", dBaselinePerSecond);
    std::printf("  %-34s %7.1f MiB\n", "peak RSS (VmHWM):", double(lPeakRssKiB) / 1024.0);
    std::printf("  delay from a printer's change to its status file:\n");
    PrintDelays("network printer, printing:", delaysNetwork, c_dNetworkPeriodMs);
    PrintDelays("USB printer:", delaysUsb, c_dUsbPeriodMs);
    // One status read per worker cycle: the rate shows how long the cycles really are.
    std::printf("  status requests the printers received, per minute:\n");
    for (const stBenchPrinter& printer : c_listPrinters) {
        const auto itBefore = mapRequestsBefore.find(printer.szName);
        const auto itAfter = mapRequestsAfter.find(printer.szName);
        if (itBefore == mapRequestsBefore.end() || itAfter == mapRequestsAfter.end())
            continue;
        std::printf("    %-14s %6.1f\n", printer.szName, double(itAfter->second - itBefore->second) * 60.0 / dElapsedSeconds);
    }
    return 0;
}
