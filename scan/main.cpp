// VornScanDaemon: the background server through which a scan front-end drives the scanners.
#include "ProgramOptions.h"
#include "VornScanDaemon.h"
#include "daemonHelper.h"
#include "usblog.h"

#include <csignal>
#include <cstdlib>

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
    create_daemon();
    // A client or scanner that hangs up must cost a failed send, not the process.
    signal(SIGPIPE, SIG_IGN);
    if (!vorn_install_quit_handler()) {
        // The logs are not open yet; the line goes to the error log opened for this one line.
        VornReopenDbg(kVornScanFolder);
        vorn_log_err("[VornScanSDK] sigaction error.");
        exit(0);
    }
    vorn_usb_set_log_sink(WriteUsbLogLine);
    return mainProc();
}
