// vorn-scanner-sim: runs the simulated network scanner until interrupted, so the daemon can be
// tried by hand (as root, on a loopback address).
#include "ScannerSimulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_bRunning = 1;

void StopRunning(int)
{
    g_bRunning = 0;
}

void Usage(const char* program)
{
    fprintf(stderr,
            "usage: %s [--address 127.0.0.x] [--pages N] [--page-size BYTES] [--block BYTES]\n"
            "          [--busy | --bad-field | --cancel | --jam | --drop | --garbage | --no-data-port] [--adf 1|2|3]\n",
            program);
}

} // namespace

int main(int argc, char** argv)
{
    std::string address = "127.0.0.2";
    int pages = 2;
    size_t pageSize = 100000;
    stSimScript script;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--address" && hasValue)
            address = argv[++i];
        else if (option == "--pages" && hasValue)
            pages = atoi(argv[++i]);
        else if (option == "--page-size" && hasValue)
            pageSize = strtoul(argv[++i], nullptr, 10);
        else if (option == "--block" && hasValue)
            script.blockSize = strtoul(argv[++i], nullptr, 10);
        else if (option == "--adf" && hasValue)
            script.chAdfStatus = argv[++i][0];
        else if (option == "--busy")
            script.iJobResult = 91;
        else if (option == "--bad-field")
            script.iJobResult = 1;
        else if (option == "--cancel")
            script.ending = stSimScript::enEnding::JobCancel;
        else if (option == "--jam") {
            script.ending = stSimScript::enEnding::JobCancel;
            script.chAdfStatus = '3';
        } else if (option == "--drop")
            script.ending = stSimScript::enEnding::Drop;
        else if (option == "--garbage")
            script.ending = stSimScript::enEnding::Garbage;
        else if (option == "--no-data-port")
            script.bOpenDataPort = false;
        else {
            Usage(argv[0]);
            return 2;
        }
    }
    if (address.rfind("127.", 0) != 0 || script.blockSize == 0 || script.blockSize > 999999) {
        fprintf(stderr, "the simulator serves loopback addresses only, with blocks of 1 to 999999 bytes\n");
        return 2;
    }
    script.listPageSizes.assign(pages > 0 ? pages : 0, pageSize);
    ScannerSimulator scanner(address);
    if (!scanner.Start(script)) {
        fprintf(stderr, "cannot open ports 80, 2080 and 5000 on %s: %s\n", address.c_str(), strerror(errno));
        return 1;
    }
    signal(SIGINT, StopRunning);
    signal(SIGTERM, StopRunning);
    printf("simulated scanner on %s: %d page(s) of %zu bytes\n", address.c_str(), pages, pageSize);
    fflush(stdout);
    while (g_bRunning)
        pause();
    scanner.Stop();
    return 0;
}
