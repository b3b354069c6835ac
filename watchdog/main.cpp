// VornPrintWatchdog: keeps the printer service running; never returns.
#include "ProcessServiceControl.h"
#include "ServiceWatchdog.h"
#include "UtilLog.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    VORN_LOG("Start watchdog, enable log");
    ProcessServiceControl control;
    ServiceWatchdog watchdog(control);
    watchdog.StartTask();
}
