// Puts every program that links the USB harness under umockdev's preload library.
#include "UsbPreload.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace UsbPreload {
namespace {

constexpr const char* c_szWrapper = "umockdev-wrapper";
constexpr const char* c_szPreloadName = "libumockdev-preload";
// Set before the re-exec so a wrapper that fails to preload cannot loop.
constexpr const char* c_szReexecMarker = "VORN_USB_PRELOAD_REEXEC";
// The preload library comes after the sanitizer runtime in the load order; ASan would refuse it.
constexpr const char* c_szAsanLinkOrderOff = "verify_asan_link_order=0";

std::vector<std::string> OwnArguments()
{
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string strAll((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> listArg;
    size_t uStart = 0;
    while (uStart < strAll.size()) {
        const size_t uEnd = strAll.find('\0', uStart);
        listArg.push_back(strAll.substr(uStart, uEnd - uStart));
        uStart = uEnd == std::string::npos ? strAll.size() : uEnd + 1;
    }
    return listArg;
}

void AllowPreloadUnderAsan()
{
    const char* szOld = std::getenv("ASAN_OPTIONS");
    std::string strOptions = szOld ? szOld : "";
    if (strOptions.find(c_szAsanLinkOrderOff) != std::string::npos)
        return;
    if (!strOptions.empty())
        strOptions += ':';
    strOptions += c_szAsanLinkOrderOff;
    setenv("ASAN_OPTIONS", strOptions.c_str(), 1);
}

__attribute__((constructor)) void ReexecBeforeMain()
{
    ReexecUnderWrapper();
}

} // namespace

bool IsActive()
{
    const char* szPreload = std::getenv("LD_PRELOAD");
    return szPreload && std::strstr(szPreload, c_szPreloadName);
}

void ReexecUnderWrapper()
{
    if (IsActive() || std::getenv(c_szReexecMarker))
        return;
    std::vector<std::string> listArg = OwnArguments();
    if (listArg.empty())
        return;
    char szSelf[4096];
    const ssize_t iLen = readlink("/proc/self/exe", szSelf, sizeof(szSelf) - 1);
    if (iLen <= 0)
        return;
    szSelf[iLen] = '\0';
    listArg[0] = szSelf;
    setenv(c_szReexecMarker, "1", 1);
    AllowPreloadUnderAsan();
    std::vector<char*> argv{const_cast<char*>(c_szWrapper)};
    for (std::string& strArg : listArg)
        argv.push_back(strArg.data());
    argv.push_back(nullptr);
    execvp(c_szWrapper, argv.data());
    // No wrapper on this machine: carry on without simulated devices.
}

} // namespace UsbPreload
