// libsane-vorn: the SANE 1 entry points of the backend, exported with the "sane_vorn_" prefix
// that SANE's dll backend looks up.
#include "VornSaneConfig.h"
#include "VornSaneDevice.h"

#include <sane/sane.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#define VORN_SANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr SANE_Int kBackendBuild = 1;

// What the last sane_get_devices returned; valid until the next call or sane_exit.
struct stDeviceList {
    std::vector<stVornDeviceEntry> entries;
    std::vector<SANE_Device> devices;
    std::vector<const SANE_Device*> pointers;
};
stDeviceList g_stDeviceList;
std::vector<std::unique_ptr<VornSaneDevice>> g_listOpen;

VornSaneDevice* FromHandle(SANE_Handle handle)
{
    const auto found = std::find_if(g_listOpen.begin(), g_listOpen.end(),
                                    [handle](const auto& device) { return device.get() == handle; });
    return found == g_listOpen.end() ? nullptr : found->get();
}

} // namespace

VORN_SANE_EXPORT SANE_Status sane_vorn_init(SANE_Int* version, SANE_Auth_Callback)
{
    if (version != nullptr)
        *version = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, 0, kBackendBuild);
    return SANE_STATUS_GOOD;
}

VORN_SANE_EXPORT void sane_vorn_exit(void)
{
    g_listOpen.clear();
    g_stDeviceList = stDeviceList();
    VornForgetCapabilities();
}

VORN_SANE_EXPORT SANE_Status sane_vorn_get_devices(const SANE_Device*** list, SANE_Bool localOnly)
{
    if (list == nullptr)
        return SANE_STATUS_INVAL;
    try {
        stDeviceList fresh;
        // Network scanners are not attached to this computer: a local-only list leaves them out.
        fresh.entries = VornDiscoverScanners(localOnly ? std::vector<std::string>() : VornConfiguredScanners());
        for (const stVornDeviceEntry& entry : fresh.entries)
            fresh.devices.push_back({entry.strName.c_str(), kVornVendorName, entry.strModel.c_str(), kVornDeviceType});
        for (const SANE_Device& device : fresh.devices)
            fresh.pointers.push_back(&device);
        fresh.pointers.push_back(nullptr);
        g_stDeviceList = std::move(fresh);
    } catch (const std::bad_alloc&) {
        return SANE_STATUS_NO_MEM;
    }
    *list = g_stDeviceList.pointers.data();
    return SANE_STATUS_GOOD;
}

VORN_SANE_EXPORT SANE_Status sane_vorn_open(SANE_String_Const name, SANE_Handle* handle)
{
    if (handle == nullptr)
        return SANE_STATUS_INVAL;
    try {
        std::string chosen = name != nullptr ? name : "";
        // An empty name opens the first scanner there is.
        if (chosen.empty()) {
            const std::vector<stVornDeviceEntry> entries = VornDiscoverScanners(VornConfiguredScanners());
            if (entries.empty())
                return SANE_STATUS_INVAL;
            chosen = entries.front().strName;
        }
        std::unique_ptr<VornSaneDevice> device;
        const SANE_Status status = VornSaneDevice::Open(chosen, device);
        if (status != SANE_STATUS_GOOD)
            return status;
        *handle = device.get();
        g_listOpen.push_back(std::move(device));
    } catch (const std::bad_alloc&) {
        return SANE_STATUS_NO_MEM;
    }
    return SANE_STATUS_GOOD;
}

VORN_SANE_EXPORT void sane_vorn_close(SANE_Handle handle)
{
    g_listOpen.erase(std::remove_if(g_listOpen.begin(), g_listOpen.end(),
                                    [handle](const auto& device) { return device.get() == handle; }),
                     g_listOpen.end());
}

VORN_SANE_EXPORT const SANE_Option_Descriptor* sane_vorn_get_option_descriptor(SANE_Handle handle, SANE_Int option)
{
    VornSaneDevice* device = FromHandle(handle);
    return device != nullptr ? device->Descriptor(option) : nullptr;
}

VORN_SANE_EXPORT SANE_Status sane_vorn_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action,
                                                      void* value, SANE_Int* info)
{
    VornSaneDevice* device = FromHandle(handle);
    return device != nullptr ? device->Control(option, action, value, info) : SANE_STATUS_INVAL;
}

VORN_SANE_EXPORT SANE_Status sane_vorn_get_parameters(SANE_Handle handle, SANE_Parameters* parameters)
{
    VornSaneDevice* device = FromHandle(handle);
    return device != nullptr ? device->Parameters(parameters) : SANE_STATUS_INVAL;
}

VORN_SANE_EXPORT SANE_Status sane_vorn_start(SANE_Handle handle)
{
    VornSaneDevice* device = FromHandle(handle);
    if (device == nullptr)
        return SANE_STATUS_INVAL;
    try {
        return device->Start();
    } catch (const std::bad_alloc&) {
        return SANE_STATUS_NO_MEM;
    }
}

VORN_SANE_EXPORT SANE_Status sane_vorn_read(SANE_Handle handle, SANE_Byte* data, SANE_Int maxLength, SANE_Int* length)
{
    VornSaneDevice* device = FromHandle(handle);
    if (device == nullptr)
        return SANE_STATUS_INVAL;
    try {
        return device->Read(data, maxLength, length);
    } catch (const std::bad_alloc&) {
        return SANE_STATUS_NO_MEM;
    }
}

VORN_SANE_EXPORT void sane_vorn_cancel(SANE_Handle handle)
{
    // Front-ends call this from signal handlers too; a call that waits is then only flagged.
    for (const auto& device : g_listOpen) {
        if (device.get() == handle)
            device->Cancel();
    }
}

VORN_SANE_EXPORT SANE_Status sane_vorn_set_io_mode(SANE_Handle handle, SANE_Bool nonBlocking)
{
    if (FromHandle(handle) == nullptr)
        return SANE_STATUS_INVAL;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

VORN_SANE_EXPORT SANE_Status sane_vorn_get_select_fd(SANE_Handle, SANE_Int*)
{
    return SANE_STATUS_UNSUPPORTED;
}
