// Where the firmware updater writes its log when logging is switched on.
#include "UtilLog.h"

const stLogTarget c_stLogTarget = {"/opt/vorn/vorn-printer-t905/log/", "log_fwupdate"};
