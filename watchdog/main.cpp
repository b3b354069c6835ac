// VornPrintWatchdog: keeps the printer service running; never returns.
#include "ProcessServiceControl.h"
#include "ProgramOptions.h"
#include "ServiceWatchdog.h"
#include "UtilLog.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "(no options: restarts vornT905Service whenever it stops or hangs)")
        == enStandardOption::Answered)
        return 0;
    QCoreApplication app(argc, argv);
    VORN_LOG("Start watchdog, enable log");
    ProcessServiceControl control;
    ServiceWatchdog watchdog(control);
    watchdog.StartTask();
}
