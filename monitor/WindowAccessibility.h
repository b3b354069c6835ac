// Screen readers look for an application's windows by their role; a plain widget used as a
// top-level window would otherwise be announced as a pane without a window around it.
#pragma once

// Makes the monitor's own top-level widgets (main window, settings) read as windows.
void InstallWindowAccessibility();
