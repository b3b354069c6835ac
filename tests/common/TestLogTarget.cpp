// The log target of the test programs; logging stays off unless a test switches on its own file.
#include "UtilLog.h"

const stLogTarget c_stLogTarget = {"/tmp/vorn-common-tests/log/", "log_test"};
