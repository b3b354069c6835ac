// VornPrintUninstall: deletes the suite's CUPS queues; always exits 0, whatever CUPS says.
#include "DeletePrinter.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    DeletePrinter();
    return 0;
}
