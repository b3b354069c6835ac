// One scanner as a SANE front-end sees it: how it is named and found, its options once opened,
// and the scan it runs.
#pragma once

#include "VornSaneOptions.h"
#include "VornScanJob.h"
#include "VornScanLink.h"

#include <csignal>
#include <memory>
#include <string>
#include <vector>

constexpr const char* kVornVendorName = "Vorn";
constexpr const char* kVornUsbPrefix = "usb:";
constexpr const char* kVornNetworkPrefix = "net:";
constexpr const char* kVornNetworkModel = "Network";
constexpr const char* kVornDeviceType = "flatbed scanner";

struct stVornDeviceEntry {
    // "usb:VVVV:PPPP:SERIAL" (hexadecimal ids) or "net:ADDRESS".
    std::string strName;
    std::string strModel;
};

// The USB scanners of the model table that the daemon finds and the configured network
// scanners that answer; empty when the daemon is down.
std::vector<stVornDeviceEntry> VornDiscoverScanners(const std::vector<std::string>& addresses);

// Forgets what opens have learnt about the scanners (sane_exit).
void VornForgetCapabilities();

class VornSaneDevice {
public:
    // Opens the scanner of a name as VornDiscoverScanners gives them.
    static SANE_Status Open(const std::string& name, std::unique_ptr<VornSaneDevice>& device);

    const SANE_Option_Descriptor* Descriptor(SANE_Int option) const { return m_options->Descriptor(option); }
    SANE_Status Control(SANE_Int option, SANE_Action action, void* value, SANE_Int* info);
    SANE_Status Parameters(SANE_Parameters* parameters) const;
    SANE_Status Start();
    SANE_Status Read(SANE_Byte* data, SANE_Int maxLength, SANE_Int* length);
    // Safe from a signal handler while Start or Read waits: it then only asks them to stop.
    void Cancel();

private:
    VornSaneDevice(std::string name, std::unique_ptr<VornScanLink> link);

    std::string m_strName;
    std::unique_ptr<VornScanLink> m_link;
    stVornCapabilities m_stCaps;
    std::unique_ptr<VornSaneOptions> m_options;
    volatile sig_atomic_t m_bCancel = 0;
    volatile sig_atomic_t m_bInCall = 0;
    bool m_bPageBegun = false;
    // Declared last, so it goes first: stopping a job may still talk through the link.
    std::unique_ptr<VornScanJob> m_job;
};
