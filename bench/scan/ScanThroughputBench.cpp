// Scans N MB (default 200) from the simulated network scanner through the real daemon into page
// files, then copies the same bytes over a plain loopback TCP connection into a file, and
// prints both rates and their ratio. Runs as root in private namespaces; touches nothing else.
#include "ChildProcess.h"
#include "PrivateNamespace.h"
#include "ScannerSimulator.h"
#include "SuiteRoot.h"
#include "VornScanClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kScanner = "127.0.0.2";
constexpr int kPlainPort = 9100;
constexpr int kPages = 4;
constexpr size_t kBlockSize = 64 * 1024;
constexpr double kMiB = 1024.0 * 1024.0;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

pid_t StartDaemon()
{
    const VornTest::stToolResult started = VornTest::RunTool({VornTest::SuiteRoot::Path("bin/VornScanDaemon")});
    if (!started.Succeeded())
        return -1;
    for (int attempt = 0; attempt < 250; ++attempt) {
        VornScanClient probe;
        if (probe.Connect()) {
            // The listener was reparented to this process (a subreaper): the one live child.
            for (pid_t pid = 1; pid < 4194304; ++pid) {
                char path[64];
                snprintf(path, sizeof path, "/proc/%d/stat", pid);
                FILE* stat = fopen(path, "r");
                if (stat == nullptr)
                    continue;
                int parent = 0;
                char state = 0;
                const bool read = fscanf(stat, "%*d %*s %c %d", &state, &parent) == 2;
                fclose(stat);
                if (read && parent == getpid() && state != 'Z')
                    return pid;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// Receives everything from one connection into a file in the scan folder, as the daemon does.
void ReceiveIntoFile(int listener, const std::string& path, long long& received)
{
    const int client = accept(listener, nullptr, nullptr);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> buffer(kBlockSize);
    received = 0;
    while (client >= 0 && file >= 0) {
        const ssize_t count = recv(client, buffer.data(), buffer.size(), 0);
        if (count <= 0 || write(file, buffer.data(), count) != count)
            break;
        received += count;
    }
    if (file >= 0)
        close(file);
    if (client >= 0)
        close(client);
}

double PlainCopy(size_t pageSize, long long& received)
{
    // Made before the clock starts, as the simulated scanner makes its pages at start.
    std::vector<std::vector<unsigned char>> pages;
    for (int page = 0; page < kPages; ++page)
        pages.push_back(ScannerSimulator::PageBytes(page, pageSize));
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPlainPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0)
        return -1;
    const auto started = Clock::now();
    std::thread receiver(ReceiveIntoFile, listener, VornTest::SuiteRoot::Path("scan/plain_copy.tmp"),
                         std::ref(received));
    const int sender = socket(AF_INET, SOCK_STREAM, 0);
    connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
    for (const std::vector<unsigned char>& bytes : pages) {
        for (size_t offset = 0; offset < bytes.size(); offset += kBlockSize) {
            const size_t size = std::min(kBlockSize, bytes.size() - offset);
            send(sender, bytes.data() + offset, size, MSG_NOSIGNAL);
        }
    }
    close(sender);
    receiver.join();
    close(listener);
    return Seconds(Clock::now() - started);
}

} // namespace

int main(int argc, char** argv)
{
    const long megabytes = argc > 1 ? atol(argv[1]) : 200;
    const size_t pageSize = static_cast<size_t>(megabytes) * 1024 * 1024 / kPages;
    std::string error;
    if (megabytes <= 0 || !VornTest::EnterPrivateNamespace(error)) {
        fprintf(stderr, "usage: %s [MB] (as root): %s\n", argv[0], error.c_str());
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    VornTest::SuiteRoot root;
    if (!root.InstallProgram(SCAN_DAEMON_PATH, "VornScanDaemon")) {
        fprintf(stderr, "cannot install the daemon\n");
        return 1;
    }
    const pid_t listener = StartDaemon();
    stSimScript script;
    script.listPageSizes.assign(kPages, pageSize);
    script.blockSize = kBlockSize;
    ScannerSimulator scanner(kScanner);
    if (listener < 0 || !scanner.Start(script)) {
        fprintf(stderr, "cannot start the daemon or the simulated scanner\n");
        return 1;
    }

    VornScanClient client;
    SettingInfo info {};
    info.bitDepth = 24;
    info.xResolution = info.yResolution = 300;
    VornScanClient::stScanOutcome scan;
    const auto started = Clock::now();
    const bool scanned = client.Connect("127.0.0.1", kVornScanDaemonPort, 60) && client.RunTcpScan(kScanner, info, scan);
    const double daemonSeconds = Seconds(Clock::now() - started);
    long long daemonBytes = 0;
    for (const VornScanClient::stPage& page : scan.pages) {
        daemonBytes += page.bytes;
        client.DeleteFile(page.fileName);
    }
    client.Close();
    scanner.Stop();
    kill(listener, SIGQUIT);
    waitpid(listener, nullptr, 0);
    if (!scanned || scan.lastResult != SANE_STATUS_EOF) {
        fprintf(stderr, "the scan through the daemon failed (last result %d)\n", scan.lastResult);
        return 1;
    }

    long long plainBytes = 0;
    const double plainSeconds = PlainCopy(pageSize, plainBytes);
    unlink(VornTest::SuiteRoot::Path("scan/plain_copy.tmp").c_str());
    if (plainSeconds <= 0) {
        fprintf(stderr, "the plain copy failed\n");
        return 1;
    }
    const double daemonRate = daemonBytes / kMiB / daemonSeconds;
    const double plainRate = plainBytes / kMiB / plainSeconds;
    printf("scan through the daemon: %lld bytes in %zu pages, %zu records, %.3f s, %.1f MiB/s\n", daemonBytes,
           scan.pages.size(), scan.records.size(), daemonSeconds, daemonRate);
    printf("plain loopback copy:     %lld bytes, %.3f s, %.1f MiB/s\n", plainBytes, plainSeconds, plainRate);
    printf("ratio daemon / plain copy: %.2f\n", daemonRate / plainRate);
    return 0;
}
