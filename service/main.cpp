// vornT905Service: finds the suite's CUPS queues, polls each printer's status, publishes the
// printer list, the status files and a heartbeat, and cancels on the printer the jobs that
// users cancel in CUPS while they print.
#include "ProgramOptions.h"
#include "ServiceJournal.h"
#include "ServiceStopper.h"
#include "SharedPrinterList.h"
#include "TrdDeviceManage.h"
#include "UtilLog.h"
#include "UtilShell.h"

#include <QCoreApplication>
#include <QTextCodec>

#include <unistd.h>

namespace {

const char* const c_szUsage = "";
const char* const c_szFileNameCodec = "UTF-8";

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, c_szUsage) == enStandardOption::Answered)
        return 0;
    QCoreApplication app(argc, argv);
    // Queue names become file names, log lines and scheduler requests: UTF-8 whatever locale
    // the service was started under, so a Chinese queue name never turns into "?".
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(c_szFileNameCodec));
    if (CheckIsRunning(QCoreApplication::applicationName())) {
        QList<int> listOther = FindProcessesNamed(QCoreApplication::applicationName());
        listOther.removeAll(int(::getpid()));
        ServiceJournal::AnotherInstanceRuns(listOther);
        return 0;
    }
    ServiceJournal::Started();
    VORN_LOG("Start service, enable log");

    SharedPrinterList listPrinter;
    TrdDeviceManage deviceManage;
    deviceManage.Init(&listPrinter);
    ServiceStopper stopper([&deviceManage] { deviceManage.RequestStop(); });

    // Runs the device-manager loop until a stop signal arrives.
    deviceManage.SlotTaskStart();
    deviceManage.StopWorkers();
    stopper.StopFinished();
    return 0;
}
