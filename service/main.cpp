// vornT905Service: finds the suite's CUPS queues, polls each printer's status, publishes the
// printer list, the status files and a heartbeat, and cancels on the printer the jobs that
// users cancel in CUPS while they print.
#include "ServiceStopper.h"
#include "SharedPrinterList.h"
#include "TrdDeviceManage.h"
#include "UtilLog.h"
#include "UtilShell.h"

#include <QCoreApplication>

#include <cstdlib>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (CheckIsRunning(QCoreApplication::applicationName()))
        return 0;
    VORN_LOG("Start service, enable log");

    SharedPrinterList listPrinter;
    TrdDeviceManage deviceManage;
    deviceManage.Init(&listPrinter);
    ServiceStopper stopper([&deviceManage] { deviceManage.RequestStop(); });

    // Runs the device-manager loop until a stop signal arrives.
    deviceManage.SlotTaskStart();

    if (!deviceManage.StopWorkers(ServiceStopper::c_iStopDeadlineMs)) {
        // A worker cannot be joined; its thread must not be destroyed while it runs.
        std::_Exit(0);
    }
    stopper.StopFinished();
    return 0;
}
