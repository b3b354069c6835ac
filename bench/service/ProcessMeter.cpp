// Reads process figures from /proc for the service benchmark.
#include "ProcessMeter.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ServiceBench {

namespace {

// Fields of /proc/PID/stat after the command name, counted from the state field (field 3).
constexpr int c_iUtimeAfterState = 11;

std::string ReadWholeFile(const std::string& strPath)
{
    std::ifstream file(strPath);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

bool ReadCpuTimes(pid_t pid, stCpuTimes& times)
{
    const std::string strStat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    const size_t iNameEnd = strStat.rfind(')');
    if (iNameEnd == std::string::npos)
        return false;
    std::istringstream fields(strStat.substr(iNameEnd + 1));
    std::string strSkipped;
    for (int i = 0; i < c_iUtimeAfterState; ++i)
        fields >> strSkipped;
    long long llUtime = 0, llStime = 0, llCutime = 0, llCstime = 0;
    if (!(fields >> llUtime >> llStime >> llCutime >> llCstime))
        return false;
    const double dTicksPerSecond = double(sysconf(_SC_CLK_TCK));
    times.dSelfSeconds = double(llUtime + llStime) / dTicksPerSecond;
    times.dChildrenSeconds = double(llCutime + llCstime) / dTicksPerSecond;
    return true;
}

long ReadPeakRssKiB(pid_t pid)
{
    std::istringstream status(ReadWholeFile("/proc/" + std::to_string(pid) + "/status"));
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.rfind("VmHWM:", 0) == 0)
            return std::strtol(strLine.c_str() + 6, nullptr, 10);
    }
    return -1;
}

long ReadLastPid()
{
    // "0.52 0.58 0.59 2/391 12345": the last field is the last PID handed out.
    const std::string strLoad = ReadWholeFile("/proc/loadavg");
    const size_t iLastBlank = strLoad.find_last_of(' ');
    if (iLastBlank == std::string::npos)
        return -1;
    return std::strtol(strLoad.c_str() + iLastBlank + 1, nullptr, 10);
}

std::string ReadLoadAverages()
{
    std::istringstream load(ReadWholeFile("/proc/loadavg"));
    std::string strOne, strFive, strFifteen;
    load >> strOne >> strFive >> strFifteen;
    return strOne + " " + strFive + " " + strFifteen;
}

pid_t FindProcessByName(const std::string& strName)
{
    DIR* pProc = opendir("/proc");
    if (pProc == nullptr)
        return -1;
    pid_t pidFound = -1;
    while (const dirent* pEntry = readdir(pProc)) {
        const pid_t pid = pid_t(std::strtol(pEntry->d_name, nullptr, 10));
        if (pid <= 0)
            continue;
        std::string strComm = ReadWholeFile("/proc/" + std::to_string(pid) + "/comm");
        if (!strComm.empty() && strComm.back() == '\n')
            strComm.pop_back();
        if (strComm != strName)
            continue;
        const std::string strStat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t iNameEnd = strStat.rfind(')');
        if (iNameEnd != std::string::npos && iNameEnd + 2 < strStat.size() && strStat[iNameEnd + 2] != 'Z') {
            pidFound = pid;
            break;
        }
    }
    closedir(pProc);
    return pidFound;
}

} // namespace ServiceBench
