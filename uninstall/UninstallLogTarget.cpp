// The queue-removal tool carries the log module but never writes a line.
#include "UtilLog.h"

const stLogTarget c_stLogTarget = {"/opt/vorn/vorn-printer-t905/log/", "log_un"};
