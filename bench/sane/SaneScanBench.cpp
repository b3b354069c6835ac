// Scans a 600-dpi colour A4 page from the simulated network scanner in several ways per round:
// with the daemon alone (the daemon's own client reading records into page files), with the
// real scanimage through libsane-vorn and the daemon (into a PNM file and into /dev/null), and
// with libsane-vorn called in this process (which, like a front-end's session, opens the
// scanner anew every round); prints the median times, each one's addition to the daemon alone,
// where the backend's time goes and scanimage's own fixed cost apart from the backend's.
// Runs as root in private namespaces; touches nothing else.
#include "ChildProcess.h"
#include "PrivateNamespace.h"
#include "ScannerSimulator.h"
#include "SuiteRoot.h"
#include "VornScanClient.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <sane/sane.h>

// The backend's entry points, linked directly.
extern "C" {
SANE_Status sane_vorn_init(SANE_Int* version, SANE_Auth_Callback authorize);
SANE_Status sane_vorn_open(SANE_String_Const name, SANE_Handle* handle);
const SANE_Option_Descriptor* sane_vorn_get_option_descriptor(SANE_Handle handle, SANE_Int option);
SANE_Status sane_vorn_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action, void* value,
                                     SANE_Int* info);
SANE_Status sane_vorn_start(SANE_Handle handle);
SANE_Status sane_vorn_read(SANE_Handle handle, SANE_Byte* data, SANE_Int maxLength, SANE_Int* length);
void sane_vorn_cancel(SANE_Handle handle);
void sane_vorn_close(SANE_Handle handle);
}

namespace {

constexpr const char* kScanner = "127.0.0.2";
constexpr const char* kDevice = "vorn:net:127.0.0.2";
constexpr int kDpi = 600;
// A4 is 210 x 297 mm: 8268 x 11693 thousandths of an inch, 4960 x 7015 pixels at 600 dpi.
constexpr uint32_t kWidthMils = 8268;
constexpr uint32_t kHeightMils = 11693;
constexpr size_t kPageBytes = size_t(kWidthMils * kDpi / 1000) * 3 * (kHeightMils * kDpi / 1000);
constexpr size_t kBlockSize = 64 * 1024;
constexpr int kDefaultRounds = 9;
constexpr int kDaemonStartTries = 250;
// scanimage writing to nowhere shows the backend's share without the image file's.
constexpr const char* kNowhere = "/dev/null";
// scanimage's own read size.
constexpr SANE_Int kReadSize = 32 * 1024;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The daemon detaches; it is ready once it accepts a connection. Leaving the private PID
// namespace at the end stops it.
bool StartDaemon()
{
    if (!VornTest::RunTool({VornTest::SuiteRoot::Path("bin/VornScanDaemon")}).Succeeded())
        return false;
    for (int attempt = 0; attempt < kDaemonStartTries; ++attempt) {
        VornScanClient probe;
        if (probe.Connect())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

double DaemonAlone(long long& bytes)
{
    SettingInfo info {};
    info.bitDepth = 24;
    info.width = kWidthMils;
    info.height = kHeightMils;
    info.xResolution = info.yResolution = kDpi;
    VornScanClient client;
    VornScanClient::stScanOutcome scan;
    const auto started = Clock::now();
    if (!client.Connect("127.0.0.1", kVornScanDaemonPort, 60) || !client.RunTcpScan(kScanner, info, scan)
        || scan.lastResult != SANE_STATUS_EOF || scan.pages.size() != 1)
        return -1;
    const double seconds = Seconds(Clock::now() - started);
    bytes = scan.pages.front().bytes;
    client.DeleteFile(scan.pages.front().fileName);
    return seconds;
}

// CPU seconds of the children reaped so far: scanimage's, not the detached daemon's.
double ChildCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThroughBackend(const std::string& output, long long& bytes, double& cpuSeconds)
{
    const double cpuBefore = ChildCpuSeconds();
    const auto started = Clock::now();
    const VornTest::stToolResult scanned =
        VornTest::RunTool({"scanimage", "-d", kDevice, "--mode", "Color", "--resolution", std::to_string(kDpi), "-l",
                           "0", "-t", "0", "-x", "210", "-y", "297", "--format=pnm", "-o", output});
    const double seconds = Seconds(Clock::now() - started);
    cpuSeconds = ChildCpuSeconds() - cpuBefore;
    struct stat info {};
    if (!scanned.Succeeded() || stat(output.c_str(), &info) != 0) {
        fprintf(stderr, "scanimage failed: %s\n", scanned.strStderr.c_str());
        return -1;
    }
    bytes = info.st_size;
    if (output != kNowhere)
        unlink(output.c_str());
    return seconds;
}

// Sets an option by its name, as a front-end does.
bool SetOption(SANE_Handle handle, const char* name, void* value)
{
    for (SANE_Int option = 1;; ++option) {
        const SANE_Option_Descriptor* descriptor = sane_vorn_get_option_descriptor(handle, option);
        if (descriptor == nullptr)
            return false;
        if (descriptor->name != nullptr && strcmp(descriptor->name, name) == 0)
            return sane_vorn_control_option(handle, option, SANE_ACTION_SET_VALUE, value, nullptr) == SANE_STATUS_GOOD;
    }
}

// Where the backend's time goes in one in-process scan.
struct stPhases {
    double open = 0;   // sane_open and the options
    double start = 0;  // sane_start until the page's first bytes are there
    double read = 0;   // the rest of the page
    double cpu = 0;    // CPU of this thread, which runs the backend (the simulator has its own)
};

double ThreadCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double InProcess(long long& bytes, stPhases& phases)
{
    const double cpuBefore = ThreadCpuSeconds();
    const auto started = Clock::now();
    SANE_Handle handle = nullptr;
    char color[] = "Color";
    SANE_Word dpi = kDpi;
    SANE_Word width = SANE_FIX(210.0);
    SANE_Word height = SANE_FIX(297.0);
    if (sane_vorn_open(kDevice + strlen("vorn:"), &handle) != SANE_STATUS_GOOD)
        return -1;
    const bool set = SetOption(handle, "mode", color) && SetOption(handle, "resolution", &dpi)
        && SetOption(handle, "br-x", &width) && SetOption(handle, "br-y", &height);
    std::vector<SANE_Byte> buffer(kReadSize);
    SANE_Int length = 0;
    const auto opened = Clock::now();
    SANE_Status status = set ? sane_vorn_start(handle) : SANE_STATUS_INVAL;
    const auto begun = Clock::now();
    bytes = 0;
    while (status == SANE_STATUS_GOOD) {
        status = sane_vorn_read(handle, buffer.data(), kReadSize, &length);
        bytes += length;
    }
    sane_vorn_cancel(handle);
    sane_vorn_close(handle);
    const auto ended = Clock::now();
    phases = {Seconds(opened - started), Seconds(begun - opened), Seconds(ended - begun), ThreadCpuSeconds() - cpuBefore};
    return status == SANE_STATUS_EOF ? Seconds(ended - started) : -1;
}

// What a first open costs: reaching the daemon, then the scanner's capability and feeder pages,
// each fetched by the daemon over a fresh HTTP connection to the scanner.
struct stOpenCosts {
    double connect = 0;
    double capabilities = 0;
    double feeder = 0;
};

bool MeasureOpenCosts(stOpenCosts& costs)
{
    VornScanClient client;
    TCPDevPropertiesRes properties {};
    TCPADFStatusRes feeder {};
    const auto started = Clock::now();
    if (!client.Connect("127.0.0.1", kVornScanDaemonPort, 60))
        return false;
    const auto connected = Clock::now();
    if (!client.TcpDeviceProperties(kScanner, properties))
        return false;
    const auto described = Clock::now();
    if (!client.TcpAdfStatus(kScanner, feeder))
        return false;
    costs = {Seconds(connected - started), Seconds(described - connected), Seconds(Clock::now() - described)};
    return true;
}

// scanimage's fixed cost before any scan: alone (--version loads no backend), and with the
// backend loaded and the scanner opened and described (-A), which adds the backend's open.
double ScanimageFixedCost(const std::vector<std::string>& args)
{
    std::vector<std::string> command = {"scanimage"};
    command.insert(command.end(), args.begin(), args.end());
    const auto started = Clock::now();
    return VornTest::RunTool(command).Succeeded() ? Seconds(Clock::now() - started) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? atoi(argv[1]) : kDefaultRounds;
    std::string error;
    if (rounds <= 0 || !VornTest::EnterPrivateNamespace(error)) {
        fprintf(stderr, "usage: %s [ROUNDS] (as root): %s\n", argv[0], error.c_str());
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    VornTest::SuiteRoot root;
    const std::string config = VornTest::MakeScratchFolder("sane-bench");
    std::ofstream(config + "/dll.conf") << "vorn\n";
    setenv("SANE_CONFIG_DIR", config.c_str(), 1);
    setenv("LD_LIBRARY_PATH", SANE_BACKEND_DIR, 1);
    stSimScript script;
    script.listPageSizes = {kPageBytes};
    script.blockSize = kBlockSize;
    ScannerSimulator scanner(kScanner);
    if (!root.InstallProgram(SCAN_DAEMON_PATH, "VornScanDaemon") || !StartDaemon() || !scanner.Start(script)) {
        fprintf(stderr, "cannot start the daemon or the simulated scanner\n");
        return 1;
    }

    sane_vorn_init(nullptr, nullptr);
    std::vector<double> daemonTimes, fileTimes, nowhereTimes, nowhereCpu, inProcessTimes, startTimes, openedTimes;
    std::vector<double> openTimes, beginTimes, readTimes, backendCpu, connectTimes, capabilityTimes, feederTimes;
    // Each round's additions against that round's daemon-alone time: a loaded machine moves
    // both together, so the paired figure is steadier than one made of two medians.
    std::vector<double> fileAdded, nowhereAdded, inProcessAdded, withoutStartAdded;
    long long daemonBytes = 0;
    long long imageBytes = 0;
    long long frameBytes = 0;
    long long ignored = 0;
    double cpu = 0;
    stPhases phases;
    stOpenCosts costs;
    double firstOpen = 0;
    for (int round = 0; round < rounds; ++round) {
        if (!MeasureOpenCosts(costs)) {
            fprintf(stderr, "the daemon or the scanner does not answer queries\n");
            return 1;
        }
        connectTimes.push_back(costs.connect);
        capabilityTimes.push_back(costs.capabilities);
        feederTimes.push_back(costs.feeder);
        daemonTimes.push_back(DaemonAlone(daemonBytes));
        inProcessTimes.push_back(InProcess(frameBytes, phases));
        nowhereTimes.push_back(ThroughBackend(kNowhere, ignored, cpu));
        nowhereCpu.push_back(cpu);
        fileTimes.push_back(ThroughBackend(config + "/a4.pnm", imageBytes, cpu));
        startTimes.push_back(ScanimageFixedCost({"--version"}));
        openedTimes.push_back(ScanimageFixedCost({"-d", kDevice, "-A"}));
        for (double time : {daemonTimes.back(), fileTimes.back(), nowhereTimes.back(), inProcessTimes.back(),
                            startTimes.back(), openedTimes.back()}) {
            if (time < 0) {
                fprintf(stderr, "round %d failed\n", round + 1);
                return 1;
            }
        }
        firstOpen = round == 0 ? phases.open : firstOpen;
        openTimes.push_back(phases.open);
        beginTimes.push_back(phases.start);
        readTimes.push_back(phases.read);
        backendCpu.push_back(phases.cpu);
        const double daemon = daemonTimes.back();
        const auto added = [daemon](double time) { return (time / daemon - 1.0) * 100.0; };
        inProcessAdded.push_back(added(inProcessTimes.back()));
        nowhereAdded.push_back(added(nowhereTimes.back()));
        withoutStartAdded.push_back(added(nowhereTimes.back() - startTimes.back()));
        fileAdded.push_back(added(fileTimes.back()));
        printf("round %d: daemon alone %.3f s; backend in process %.3f s (open %.3f, start %.3f, read %.3f); "
               "scanimage %.3f s into %s, %.3f s into a file, start-up %.3f s\n",
               round + 1, daemon, inProcessTimes.back(), phases.open, phases.start, phases.read, nowhereTimes.back(),
               kNowhere, fileTimes.back(), startTimes.back());
    }
    printf("A4 colour page at %d dpi: %lld bytes from the scanner, a %lld-byte PNM file, a %lld-byte frame\n", kDpi,
           daemonBytes, imageBytes, frameBytes);
    printf("medians over %d rounds; the percentage is what each adds to the daemon alone, median of the rounds'"
           " own (lowest .. highest):\n", rounds);
    const auto line = [](const std::string& what, double seconds) { printf("  %-48s %.3f s", what.c_str(), seconds); };
    const auto percent = [](const std::vector<double>& values) {
        printf(" (%+.1f %%, %+.1f .. %+.1f)\n", Median(values), *std::min_element(values.begin(), values.end()),
               *std::max_element(values.begin(), values.end()));
    };
    line("daemon alone", Median(daemonTimes));
    printf("\n");
    line("backend called in this process", Median(inProcessTimes));
    percent(inProcessAdded);
    line("  of which sane_open and the options", Median(openTimes));
    printf(" (the first, which asks the scanner: %.3f s)\n", firstOpen);
    line("  of which sane_start to the page's first bytes", Median(beginTimes));
    printf("\n");
    line("  of which reading the page", Median(readTimes));
    printf("\n");
    line("  CPU of the backend", Median(backendCpu));
    printf("\n");
    line(std::string("scanimage end to end into ") + kNowhere, Median(nowhereTimes));
    percent(nowhereAdded);
    line("scanimage end to end into a file", Median(fileTimes));
    percent(fileAdded);
    line("scanimage's own start-up (--version)", Median(startTimes));
    printf("\n");
    line("scanimage opening the scanner, no scan (-A)", Median(openedTimes));
    printf(" (the backend's loading and open: %.3f s)\n", Median(openedTimes) - Median(startTimes));
    line(std::string("scanimage into ") + kNowhere + " less its start-up", Median(nowhereTimes) - Median(startTimes));
    percent(withoutStartAdded);
    line("CPU of scanimage with the backend", Median(nowhereCpu));
    printf("\n");
    printf("what every scanimage run pays at sane_open, asked directly:\n");
    line("  connecting to the daemon", Median(connectTimes));
    printf("\n");
    line("  the scanner's capability page", Median(capabilityTimes));
    printf("\n");
    line("  the scanner's feeder status page", Median(feederTimes));
    printf("\n");
    return 0;
}
