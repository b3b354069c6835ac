// Log output of the USB scanner layer, routed through the sink the daemon installs.
#include "usblog.h"

#include <cstdarg>
#include <cstdio>

namespace {
// Long enough for the longest line: a 1024-byte descriptor string and its tag.
constexpr size_t c_logLineSize = 2048;

VornUsbLogSink g_sink = nullptr;
}  // namespace

void vorn_usb_set_log_sink(VornUsbLogSink sink)
{
    g_sink = sink;
}

void vorn_usb_log(VornUsbLog log, const char* format, ...)
{
    if (!g_sink)
        return;
    char line[c_logLineSize];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_sink(log, line);
}
