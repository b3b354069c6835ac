// Scans a 600-dpi colour A4 page from the simulated network scanner twice per round: with the
// daemon alone (the daemon's own client reading records into page files) and with the real
// scanimage through libsane-vorn and the daemon into a PNM file, then prints the median times
// and how much the backend adds. Runs as root in private namespaces; touches nothing else.
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
#include <fstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kScanner = "127.0.0.2";
constexpr const char* kDevice = "vorn:net:127.0.0.2";
constexpr int kDpi = 600;
// A4 is 210 x 297 mm: 8268 x 11693 thousandths of an inch, 4960 x 7015 pixels at 600 dpi.
constexpr uint32_t kWidthMils = 8268;
constexpr uint32_t kHeightMils = 11693;
constexpr size_t kPageBytes = size_t(kWidthMils * kDpi / 1000) * 3 * (kHeightMils * kDpi / 1000);
constexpr size_t kBlockSize = 64 * 1024;
constexpr int kDefaultRounds = 3;
constexpr int kDaemonStartTries = 250;
// scanimage writing to nowhere shows the backend's share without the image file's.
constexpr const char* kNowhere = "/dev/null";

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

double ThroughBackend(const std::string& output, long long& bytes)
{
    const auto started = Clock::now();
    const VornTest::stToolResult scanned =
        VornTest::RunTool({"scanimage", "-d", kDevice, "--mode", "Color", "--resolution", std::to_string(kDpi), "-l",
                           "0", "-t", "0", "-x", "210", "-y", "297", "--format=pnm", "-o", output});
    const double seconds = Seconds(Clock::now() - started);
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

    std::vector<double> daemonTimes;
    std::vector<double> fileTimes;
    std::vector<double> nowhereTimes;
    long long daemonBytes = 0;
    long long imageBytes = 0;
    long long ignored = 0;
    for (int round = 0; round < rounds; ++round) {
        daemonTimes.push_back(DaemonAlone(daemonBytes));
        fileTimes.push_back(ThroughBackend(config + "/a4.pnm", imageBytes));
        nowhereTimes.push_back(ThroughBackend(kNowhere, ignored));
        if (daemonTimes.back() < 0 || fileTimes.back() < 0 || nowhereTimes.back() < 0) {
            fprintf(stderr, "round %d failed\n", round + 1);
            return 1;
        }
        printf("round %d: daemon alone %.3f s; scanimage through the backend %.3f s into a file, %.3f s into %s\n",
               round + 1, daemonTimes.back(), fileTimes.back(), nowhereTimes.back(), kNowhere);
    }
    const double daemon = Median(daemonTimes);
    const double file = Median(fileTimes);
    const double nowhere = Median(nowhereTimes);
    printf("A4 colour page at %d dpi: %lld bytes from the scanner, a %lld-byte PNM file\n", kDpi, daemonBytes, imageBytes);
    printf("median over %d rounds: daemon alone %.3f s; through the backend %.3f s into a file (+%.1f %%), "
           "%.3f s into %s (+%.1f %%)\n",
           rounds, daemon, file, (file / daemon - 1.0) * 100.0, nowhere, kNowhere, (nowhere / daemon - 1.0) * 100.0);
    return 0;
}
