// Accessibility factory for the monitor's top-level widgets.
#include "WindowAccessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

QAccessibleInterface* TopLevelWindowInterface(const QString& strClassName, QObject* pObject)
{
    if (strClassName != QLatin1String("VornPrinterToolWidget") && strClassName != QLatin1String("AppSetting"))
        return nullptr;
    auto* pWidget = qobject_cast<QWidget*>(pObject);
    if (!pWidget || !pWidget->isWindow())
        return nullptr;
    return new QAccessibleWidget(pWidget, QAccessible::Window);
}

} // namespace

void InstallWindowAccessibility()
{
    QAccessible::installFactory(&TopLevelWindowInterface);
}
