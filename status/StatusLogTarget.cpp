// The status command carries the log module through the shared readers but never enables it.
#include "UtilLog.h"

const stLogTarget c_stLogTarget = {"/opt/vorn/vorn-printer-t905/log/", "log_status"};
