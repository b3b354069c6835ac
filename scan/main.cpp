// VornScanDaemon: the background server through which a scan front-end drives the scanners.
#include "ProgramOptions.h"
#include "VornScanDaemon.h"
#include "daemonHelper.h"
#include "scanFiles.h"
#include "usblog.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void WriteUsbLogLine(VornUsbLog log, const char* line)
{
    if (log == VornUsbLog::Error)
        vorn_log_err("%s", line);
    else
        vorn_log_info("%s", line);
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "[--foreground]") == enStandardOption::Answered)
        return 0;
    // Checked before detaching, so whoever starts the daemon sees why it does not run.
    std::string problem;
    if (!vorn_PrepareScanFolder(kVornScanFolder, problem)) {
        fprintf(stderr, "VornScanDaemon: %s\n", problem.c_str());
        return 1;
    }
    create_daemon(vorn_WantsForeground(argc, argv));
    // A client or scanner that hangs up must cost a failed send, not the process.
    signal(SIGPIPE, SIG_IGN);
    if (!vorn_install_stop_handlers()) {
        // The logs are not open yet; the line goes to the error log opened for this one line.
        VornReopenDbg(kVornScanFolder);
        vorn_log_err("[VornScanSDK] sigaction error.");
        exit(0);
    }
    vorn_usb_set_log_sink(WriteUsbLogLine);
    return mainProc();
}
