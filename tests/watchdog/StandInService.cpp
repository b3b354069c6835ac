// A stand-in for the printer service in the watchdog's end-to-end tests: it refuses to run
// twice and renews the heartbeat file every 5 s, which is all the watchdog looks at.
#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

namespace {

const char* const c_szProcessName = "vornT905Service";
const char* const c_szHeartbeatFile = "/opt/vorn/vorn-printer-t905/cfg/service.hb";
constexpr std::chrono::seconds c_heartbeatPeriod(5);

int CountProcessesNamedLikeMe()
{
    int iCount = 0;
    DIR* pProc = opendir("/proc");
    if (!pProc)
        return 0;
    while (dirent* pEntry = readdir(pProc)) {
        // "self" and "thread-self" would count this process twice.
        if (!isdigit(static_cast<unsigned char>(pEntry->d_name[0])))
            continue;
        std::ifstream comm(std::string("/proc/") + pEntry->d_name + "/comm");
        std::string strName;
        if (std::getline(comm, strName) && strcasecmp(strName.c_str(), c_szProcessName) == 0)
            ++iCount;
    }
    closedir(pProc);
    return iCount;
}

void WriteHeartbeat()
{
    const std::time_t now = std::time(nullptr);
    char szStamp[32] = {};
    std::strftime(szStamp, sizeof szStamp, "[%Y-%m-%d %H:%M:%S.000]", std::localtime(&now));
    std::ofstream(c_szHeartbeatFile, std::ios::trunc) << szStamp;
}

} // namespace

int main()
{
    if (CountProcessesNamedLikeMe() > 1)
        return 0;
    for (;;) {
        WriteHeartbeat();
        std::this_thread::sleep_for(c_heartbeatPeriod);
    }
}
