// VornPrintSetting: the maintenance tool's entry point.
#include "ProgramOptions.h"
#include "Widget.h"
#include "WindowAccessibility.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "") == enStandardOption::Answered)
        return 0;
    InstallWindowAccessibility({QLatin1String(Widget::staticMetaObject.className())});
    QApplication app(argc, argv);
    Widget widget;
    widget.show();
    return app.exec();
}
