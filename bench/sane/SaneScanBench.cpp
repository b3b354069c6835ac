// Scans a 600-dpi colour A4 page from the simulated network scanner in several ways per round:
// with the daemon alone (the daemon's own client reading records into page files), with the
// real scanimage through libsane-vorn and the daemon (into a PNM file and into /dev/null), and
// with libsane-vorn called in this process; prints the median times, scanimage's own start-up
// and how much each adds. Runs as root in private namespaces; touches nothing else.
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

double InProcess(long long& bytes)
{
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
    SANE_Status status = set ? sane_vorn_start(handle) : SANE_STATUS_INVAL;
    bytes = 0;
    while (status == SANE_STATUS_GOOD) {
        status = sane_vorn_read(handle, buffer.data(), kReadSize, &length);
        bytes += length;
    }
    sane_vorn_cancel(handle);
    sane_vorn_close(handle);
    return status == SANE_STATUS_EOF ? Seconds(Clock::now() - started) : -1;
}

double ScanimageStartUp()
{
    const auto started = Clock::now();
    return VornTest::RunTool({"scanimage", "--version"}).Succeeded() ? Seconds(Clock::now() - started) : -1;
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
    std::vector<double> daemonTimes, fileTimes, nowhereTimes, nowhereCpu, inProcessTimes, startTimes;
    long long daemonBytes = 0;
    long long imageBytes = 0;
    long long frameBytes = 0;
    long long ignored = 0;
    double cpu = 0;
    for (int round = 0; round < rounds; ++round) {
        daemonTimes.push_back(DaemonAlone(daemonBytes));
        fileTimes.push_back(ThroughBackend(config + "/a4.pnm", imageBytes, cpu));
        nowhereTimes.push_back(ThroughBackend(kNowhere, ignored, cpu));
        nowhereCpu.push_back(cpu);
        inProcessTimes.push_back(InProcess(frameBytes));
        startTimes.push_back(ScanimageStartUp());
        for (double time : {daemonTimes.back(), fileTimes.back(), nowhereTimes.back(), inProcessTimes.back(), startTimes.back()}) {
            if (time < 0) {
                fprintf(stderr, "round %d failed\n", round + 1);
                return 1;
            }
        }
        printf("round %d: daemon alone %.3f s; scanimage %.3f s into a file, %.3f s into %s; backend in process %.3f s\n",
               round + 1, daemonTimes.back(), fileTimes.back(), nowhereTimes.back(), kNowhere, inProcessTimes.back());
    }
    const double daemon = Median(daemonTimes);
    const auto added = [daemon](double time) { return (time / daemon - 1.0) * 100.0; };
    const double file = Median(fileTimes);
    const double nowhere = Median(nowhereTimes);
    const double inProcess = Median(inProcessTimes);
    const double startUp = Median(startTimes);
    printf("A4 colour page at %d dpi: %lld bytes from the scanner, a %lld-byte PNM file, a %lld-byte frame\n", kDpi,
           daemonBytes, imageBytes, frameBytes);
    printf("medians over %d rounds:\n", rounds);
    const auto line = [](const std::string& what, double seconds) { printf("  %-46s %.3f s", what.c_str(), seconds); };
    line("daemon alone", daemon);
    printf("\n");
    line("scanimage through the backend into a file", file);
    printf(" (%+.1f %%)\n", added(file));
    line(std::string("scanimage through the backend into ") + kNowhere, nowhere);
    printf(" (%+.1f %%)\n", added(nowhere));
    line("scanimage's own start-up (--version)", startUp);
    printf("\n");
    line("the same without scanimage's start-up", nowhere - startUp);
    printf(" (%+.1f %%)\n", added(nowhere - startUp));
    line("the backend called in this process", inProcess);
    printf(" (%+.1f %%)\n", added(inProcess));
    line("CPU of scanimage with the backend", Median(nowhereCpu));
    printf("\n");
    return 0;
}
