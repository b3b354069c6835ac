// Accessibility factory for the graphical programs' own top-level widgets.
#include "WindowAccessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

// Only named classes: a factory that claimed every window would also turn message boxes,
// which Qt presents as alerts, into plain windows.
QStringList& WindowClassNames()
{
    static QStringList s_listClassNames;
    return s_listClassNames;
}

QAccessibleInterface* TopLevelWindowInterface(const QString& strClassName, QObject* pObject)
{
    if (!WindowClassNames().contains(strClassName))
        return nullptr;
    auto* pWidget = qobject_cast<QWidget*>(pObject);
    if (!pWidget || !pWidget->isWindow())
        return nullptr;
    return new QAccessibleWidget(pWidget, QAccessible::Window);
}

} // namespace

void InstallWindowAccessibility(const QStringList& listClassNames)
{
    const bool bFirstCall = WindowClassNames().isEmpty();
    WindowClassNames().append(listClassNames);
    if (bFirstCall)
        QAccessible::installFactory(&TopLevelWindowInterface);
}
