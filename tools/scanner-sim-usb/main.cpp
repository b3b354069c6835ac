// vorn-scanner-sim-usb: plays a USB scanner on a private umockdev bus and runs a program that
// sees it (the bus exists only for this process and its children), so the scan daemon's USB
// side can be tried by hand.
#include "UsbScanner.h"
#include "UsbTestbed.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct stOptions {
    int iPages = 2;
    size_t uPageBytes = 256 * 1024;
    size_t uRecordBytes = 16384;
    int iAbortAfterPages = -1;
    std::string strSerial = "VS0001";
    bool bServe = false;
    char** argvProgram = nullptr;
};

void Usage(const char* szProgram)
{
    std::fprintf(stderr,
                 "usage: %s [--pages N] [--page-bytes N] [--record-bytes N] [--abort-after N]\n"
                 "          [--serial TEXT] [--serve] -- PROGRAM [ARGS...]\n"
                 "Runs PROGRAM with a simulated scanner (vendor %04x, product %04x) on a private USB bus.\n"
                 "After a start the scanner sends N pages of N bytes each in data records of at most\n"
                 "--record-bytes, or its own abort after --abort-after pages. With --serve the scanner\n"
                 "stays until SIGINT or SIGTERM after PROGRAM ends (for a daemon that detaches).\n"
                 "Every command the scanner received is listed at the end.\n",
                 szProgram, UsbScanner::c_wVendorId, UsbScanner::c_wProductId);
}

bool Parse(int argc, char** argv, stOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        if (strOption == "--") {
            options.argvProgram = argv + i + 1;
            return i + 1 < argc;
        }
        if (strOption == "--serve") {
            options.bServe = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* szValue = argv[++i];
        if (strOption == "--pages")
            options.iPages = std::atoi(szValue);
        else if (strOption == "--page-bytes")
            options.uPageBytes = std::strtoul(szValue, nullptr, 10);
        else if (strOption == "--record-bytes")
            options.uRecordBytes = std::strtoul(szValue, nullptr, 10);
        else if (strOption == "--abort-after")
            options.iAbortAfterPages = std::atoi(szValue);
        else if (strOption == "--serial")
            options.strSerial = szValue;
        else
            return false;
    }
    return false;
}

// Runs the program with the signals the simulator waits for left to it; returns its exit code.
int RunProgram(char** argvProgram, const sigset_t& waited)
{
    const pid_t pid = fork();
    if (pid == 0) {
        sigprocmask(SIG_UNBLOCK, &waited, nullptr);
        execvp(argvProgram[0], argvProgram);
        std::fprintf(stderr, "cannot run %s: %s\n", argvProgram[0], std::strerror(errno));
        _exit(127);
    }
    int iStatus = 0;
    if (pid < 0 || waitpid(pid, &iStatus, 0) < 0)
        return 127;
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
}

void ListCommands(const UsbScanner& scanner)
{
    for (const std::vector<uint8_t>& vecCommand : scanner.ReceivedCommands()) {
        std::printf("received %3zu bytes:", vecCommand.size());
        for (size_t i = 0; i < vecCommand.size() && i < 8; ++i)
            std::printf(" %02X", vecCommand[i]);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    stOptions options;
    if (!Parse(argc, argv, options)) {
        Usage(argv[0]);
        return 2;
    }
    // Blocked before umockdev starts its thread, so only sigwait below receives them.
    sigset_t waited;
    sigemptyset(&waited);
    sigaddset(&waited, SIGINT);
    sigaddset(&waited, SIGTERM);
    sigprocmask(SIG_BLOCK, &waited, nullptr);

    UsbTestbed testbed;
    if (!testbed.IsReady()) {
        std::fprintf(stderr, "%s\n", testbed.NotReadyReason().c_str());
        return 1;
    }
    auto scanner = std::make_shared<UsbScanner>(UsbScanner::Description(options.strSerial));
    std::vector<std::vector<uint8_t>> listPages(size_t(std::max(options.iPages, 0)));
    for (size_t uPage = 0; uPage < listPages.size(); ++uPage) {
        listPages[uPage].resize(options.uPageBytes);
        for (size_t i = 0; i < options.uPageBytes; ++i)
            listPages[uPage][i] = uint8_t(uPage * 64 + i);
    }
    scanner->SetScan(listPages, options.uRecordBytes, options.iAbortAfterPages);
    const std::string strNode = testbed.AddDevice(scanner);
    if (strNode.empty()) {
        std::fprintf(stderr, "cannot plug in the simulated scanner\n");
        return 1;
    }
    std::printf("scanner %04x:%04x serial %s at %s\n", UsbScanner::c_wVendorId, UsbScanner::c_wProductId,
                options.strSerial.c_str(), strNode.c_str());
    std::fflush(stdout);

    const int iExit = RunProgram(options.argvProgram, waited);
    if (options.bServe) {
        int iSignal = 0;
        sigwait(&waited, &iSignal);
    }
    ListCommands(*scanner);
    return iExit;
}
