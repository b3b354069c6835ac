// vornT905FW: sends a firmware image file that the user chooses to one of the suite's USB
// printers.
#include "ProgramOptions.h"
#include "UtilLibusb.h"
#include "Widget.h"
#include "WindowAccessibility.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "") == enStandardOption::Answered)
        return 0;
    InstallWindowAccessibility({QLatin1String(Widget::staticMetaObject.className())});
    QApplication app(argc, argv);
    Widget widget(FWUpdateTask);
    widget.show();
    return app.exec();
}
