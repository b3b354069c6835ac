// Screen readers look for an application's windows by their role; a plain QWidget used as a
// top-level window would otherwise be announced as a pane or a filler without a window around it.
#pragma once

#include <QStringList>

// Makes the top-level widgets of the named classes read as windows to assistive technology.
// Call before the first widget is created; later calls add class names.
void InstallWindowAccessibility(const QStringList& listClassNames);
