// The maintenance tool's log files.
#include "UtilLog.h"

const stLogTarget c_stLogTarget = {"/opt/vorn/vorn-printer-t905/tool/", "log_nettool"};
