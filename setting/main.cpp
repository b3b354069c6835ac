// VornPrintSetting: the maintenance tool's entry point.
#include "ProgramOptions.h"
#include "Widget.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "") == enStandardOption::Answered)
        return 0;
    QApplication app(argc, argv);
    Widget widget;
    widget.show();
    return app.exec();
}
