// Client commands for USB scanners: device search and the scanner commands on a device this
// connection opened.
#include "scanConnection.h"

#include "commDef.h"
#include "daemonHelper.h"
#include "scanFiles.h"
#include "usbcommanddef.h"

#include <cstring>
#include <vector>

namespace {

bool IsOwnDevice(const stConnectionState& state, int devfd)
{
    return state.openDevices.count(devfd) != 0;
}

// Resets and endpoint clears could disturb any device a search opened (a keyboard, a disk);
// they are for the scanner this connection locked.
bool IsLockedScanner(const stConnectionState& state, int devfd)
{
    return state.lockedDevices.count(devfd) != 0;
}

void ForgetDevice(stConnectionState& state, int devfd)
{
    state.openDevices.erase(devfd);
    state.lockedDevices.erase(devfd);
}

void SendResult(const stConnectionState& state, int result, const char* sendError)
{
    const int32_t reply = result;
    vorn_SendReply(state, &reply, sizeof reply, sendError);
}

// Searches usbfs; a tree that cannot be read counts as no device.
int FindDevices(int vid, int pid, bool compareWithPid, VORN_USB_DEV (&devices)[VORN_MAX_USB_DEV])
{
    memset(devices, 0, sizeof devices);
    const int count = vorn_find_device(vid, pid, devices, compareWithPid, VORN_MAX_USB_DEV);
    return count < 0 ? 0 : count;
}

// The scanner commands that take only devfd and answer with a plain result.
void RunPlainCommand(stConnectionState& state, const unsigned char* request, int (*command)(int),
                     const char* sendError)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    const int result = IsOwnDevice(state, req.devfd) ? command(req.devfd) : SANE_STATUS_IO_ERROR;
    SendResult(state, result, sendError);
}

void SendStartReply(const stConnectionState& state, int result, const std::string& baseName)
{
    USBScanStartRes reply {};
    reply.result = result;
    snprintf(reply.fileName, sizeof reply.fileName, "%s", baseName.c_str());
    vorn_SendReply(state, &reply, sizeof reply, kVornStartReplySendError);
}

} // namespace

void CmdUsbFindDev(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBFindDevReq>(request);
    VORN_USB_DEV devices[VORN_MAX_USB_DEV];
    const int32_t count = FindDevices(req.vid, req.pid, req.compareWithPID, devices);
    for (int i = 0; i < count; ++i)
        state.openDevices.insert(devices[i].fd);
    if (!vorn_SendReply(state, &count, sizeof count, "[VornScanSDK] send dev count err"))
        return;
    for (int i = 0; i < count; ++i) {
        const USBFindDevRes device = converToDevRes(devices[i].fd, devices[i].dev_des);
        if (!vorn_SendReply(state, &device, sizeof device, "[VornScanSDK] send FindDevRes err"))
            return;
    }
}

void CmdUsbOpenDev(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    const int result = IsOwnDevice(state, req.devfd) ? vorn_open_device(req.devfd) : SANE_STATUS_IO_ERROR;
    vorn_log_info("[VornScanSDK] USB_OPEN_DEV result %d", result);
    SendResult(state, result, "[VornScanSDK] send OpenDevReq result err");
}

void CmdUsbCloseDev(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    int result = SANE_STATUS_IO_ERROR;
    if (IsOwnDevice(state, req.devfd)) {
        vorn_close_device(req.devfd);
        ForgetDevice(state, req.devfd);
        result = SANE_STATUS_GOOD;
    }
    vorn_log_info("[VornScanSDK] USB_CLOSE_DEV result %d", result);
    SendResult(state, result, "[VornScanSDK] send CloseDevReq result err");
}

void CmdUsbClearDev(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBClearDevEpReq>(request);
    const int result = IsLockedScanner(state, req.devfd) ? vorn_clear_halt(req.devfd, req.ep) : SANE_STATUS_IO_ERROR;
    vorn_log_info("[VornScanSDK] USB_CLEAR_DEV result %d", result);
    SendResult(state, result, "[VornScanSDK] send ClearDevEpReq result err");
}

void CmdUsbResetDevEp(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBResetDevEpReq>(request);
    const int result = IsLockedScanner(state, req.devfd) ? vorn_resetep(req.devfd, req.ep) : SANE_STATUS_IO_ERROR;
    vorn_log_info("[VornScanSDK] USB_RESET_DEVEP result %d", result);
    SendResult(state, result, "[VornScanSDK] send ResetDevEpReq result err");
}

void CmdUsbScanLock(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBScanLockReq>(request);
    const int result = IsOwnDevice(state, req.devfd) ? ScanLock(req.devfd, &req.info) : SANE_STATUS_IO_ERROR;
    if (result == SANE_STATUS_GOOD)
        state.lockedDevices.insert(req.devfd);
    vorn_log_info("[VornScanSDK] USB_SCAN_LOCK result %d", result);
    SendResult(state, result, "[VornScanSDK] send ScanLockReq result err");
}

void CmdUsbScanUnlock(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    const int result = IsOwnDevice(state, req.devfd) ? ScanUnlock(req.devfd) : SANE_STATUS_IO_ERROR;
    if (result == SANE_STATUS_GOOD)
        state.lockedDevices.erase(req.devfd);
    SendResult(state, result, "[VornScanSDK] send ScanUnlockReq result err");
}

void CmdUsbScanPowerOn(stConnectionState& state, const unsigned char* request)
{
    RunPlainCommand(state, request, ScanPowerOn, "[VornScanSDK] send ScanPowerOnReq result err");
}

void CmdUsbScanGetSizes(stConnectionState& state, const unsigned char* request)
{
    RunPlainCommand(state, request, ScanGetScanSizes, "[VornScanSDK] send ScanGetSizesReq result err");
}

void CmdUsbScanAdfStatus(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    USBScanAdfStatusRes reply {};
    int status = 0;
    reply.result = IsOwnDevice(state, req.devfd) ? ScanADFStatus(req.devfd, &status) : SANE_STATUS_IO_ERROR;
    reply.st = status;
    vorn_SendReply(state, &reply, sizeof reply, "[VornScanSDK] send ScanAdfStatusRes err");
}

void CmdUsbScanDevProperties(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    USBScanDevicePropertiesRes reply {};
    reply.result = IsOwnDevice(state, req.devfd) ? ScanDeviceProperties(req.devfd, &reply.st) : SANE_STATUS_IO_ERROR;
    vorn_SendReply(state, &reply, sizeof reply, kVornDevicePropertiesSendError);
}

void CmdUsbScanStart(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBCommonReq>(request);
    int result = IsOwnDevice(state, req.devfd) ? ScanStart(req.devfd) : SANE_STATUS_IO_ERROR;
    const std::string baseName = vorn_NextBaseName(state);
    if (result == SANE_STATUS_GOOD) {
        state.lastScanTransport = enScanTransport::Usb;
        const int devfd = req.devfd;
        // Lives in the data process only; the buffer grows to the largest record and stays.
        std::vector<unsigned char> buffer;
        int silentReads = 0;
        const ScanRecordReader readRecord = [devfd, &buffer, &silentReads](int& status, const unsigned char*& data,
                                                                         size_t& size) {
            uint16_t readSize = 0;
            const int recordResult = ScanRecord(devfd, status, buffer, readSize, silentReads);
            if (readSize > buffer.size())
                return static_cast<int>(SANE_STATUS_IO_ERROR);  // never hand on bytes the buffer does not hold
            data = buffer.data();
            size = readSize;
            return recordResult;
        };
        vorn_StartDataProcess(state, baseName, enScanTransport::Usb, readRecord,
                              [&](int started) { result = started; SendStartReply(state, started, baseName); });
    } else {
        SendStartReply(state, result, baseName);
    }
    vorn_log_info("[VornScanSDK] usb scanstart main process exit:%d pid:%d", result, static_cast<int>(getpid()));
}

void CmdUsbScanAbort(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBScanAbortReq>(request);
    // Stopped first: the reset makes the data process's read fail, and its failure record
    // would land in the middle of the abort's reply.
    vorn_StopDataProcess(state);
    // The abort resets the device, so it goes only to a scanner this connection locked.
    const int result = IsLockedScanner(state, req.devfd) ? ScanAbort(req.devfd) : SANE_STATUS_IO_ERROR;
    deleteFileList(state.scanFolder, req.fileName);
    SendResult(state, result, "[VornScanSDK] send ScanAbortReq result err");
}

void CmdUsbReopenDev(stConnectionState& state, const unsigned char* request)
{
    const auto req = vorn_RequestAs<USBReopenDevReq>(request);
    USBReopenDevRes reply {SANE_STATUS_IO_ERROR, -1};
    const std::string wanted(req.SerialNumber, strnlen(req.SerialNumber, sizeof req.SerialNumber));
    VORN_USB_DEV devices[VORN_MAX_USB_DEV];
    const int count = FindDevices(req.vid, req.pid, true, devices);
    for (int i = 0; i < count; ++i) {
        const int fd = devices[i].fd;
        if (reply.ret == SANE_STATUS_IO_ERROR && converToDevRes(fd, devices[i].dev_des).SerialNumber == wanted) {
            // The old descriptor may already be closed; a stale number must not close anything else.
            if (IsOwnDevice(state, req.devfd)) {
                vorn_close_device(req.devfd);
                ForgetDevice(state, req.devfd);
            }
            state.openDevices.insert(fd);
            reply.fd = fd;
            reply.ret = vorn_open_device(fd);
        } else {
            // The search opened every matching node again; only the match is kept.
            vorn_close_device(fd);
        }
    }
    vorn_SendReply(state, &reply, sizeof reply, kVornReopenReplySendError);
}
