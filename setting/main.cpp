// VornPrintSetting: the maintenance tool's entry point.
#include "ProgramOptions.h"
#include "Widget.h"

#include <QAccessibleWidget>
#include <QApplication>

namespace {

// A plain top-level QWidget reaches assistive technology as a filler, not as a window, so
// screen readers would not announce the tool's frame by its title.
QAccessibleInterface* FrameAccessible(const QString& strClassName, QObject* pObject)
{
    if (strClassName == QLatin1String(Widget::staticMetaObject.className()) && pObject && pObject->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(pObject), QAccessible::Window);
    return nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, "") == enStandardOption::Answered)
        return 0;
    QAccessible::installFactory(FrameAccessible);
    QApplication app(argc, argv);
    Widget widget;
    widget.show();
    return app.exec();
}
