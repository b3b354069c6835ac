// Collects the USB scanner layer's log lines in a test, so tests can check what reached which log.
#pragma once

#include "usblog.h"

#include <string>
#include <utility>
#include <vector>

class UsbLogCapture {
public:
    UsbLogCapture()
    {
        Lines().clear();
        vorn_usb_set_log_sink(&Record);
    }
    ~UsbLogCapture() { vorn_usb_set_log_sink(nullptr); }

    // True when some line of `log` contains `text`.
    bool Contains(VornUsbLog log, const std::string& text) const
    {
        for (const auto& [lineLog, line] : Lines())
            if (lineLog == log && line.find(text) != std::string::npos)
                return true;
        return false;
    }

private:
    static std::vector<std::pair<VornUsbLog, std::string>>& Lines()
    {
        static std::vector<std::pair<VornUsbLog, std::string>> lines;
        return lines;
    }
    static void Record(VornUsbLog log, const char* line) { Lines().emplace_back(log, line); }
};
