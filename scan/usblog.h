// Log output of the USB scanner layer. The layer has no log files of its own: the daemon installs
// a sink that writes each line to its info or error log, and tests install one that records them.
#pragma once

enum class VornUsbLog { Info, Error };

// Receives one finished line (tag and line end included, exactly as it should appear in the file).
using VornUsbLogSink = void (*)(VornUsbLog log, const char* line);

// Installs the sink for this process; null discards every line (the default).
void vorn_usb_set_log_sink(VornUsbLogSink sink);

// printf-style; the format carries the "[VornScanSDK] " tag and its own line end.
void vorn_usb_log(VornUsbLog log, const char* format, ...) __attribute__((format(printf, 2, 3)));
