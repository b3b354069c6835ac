// Entry of the status monitor: one instance per machine, window shown unless "-hide" is given.
#include "MonitorEnvironment.h"
#include "ProgramOptions.h"
#include "UtilShell.h"
#include "VornPrinterToolWidget.h"
#include "WindowAccessibility.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

int ShowAlreadyRunning()
{
    const QString strTitle = QStringLiteral("Vorn激光打印机助手");
    QMessageBox box(QMessageBox::Information, strTitle, strTitle + QStringLiteral("已经处于运行中！"),
                    QMessageBox::NoButton, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确  定"));
    box.exec();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "[-hide]") == enStandardOption::Answered)
        return 0;
    QApplication app(argc, argv);
    InstallWindowAccessibility({QStringLiteral("VornPrinterToolWidget"), QStringLiteral("AppSetting")});
    if (CheckIsRunning(MonitorPaths::c_strProcessName))
        return ShowAlreadyRunning();
    // The window only hides on close; the tray menu's exit is the way out.
    QApplication::setQuitOnLastWindowClosed(false);
    VornPrinterToolWidget widget;
    if (CheckIsHide(argc, argv))
        widget.hide();
    else
        widget.show();
    return app.exec();
}
