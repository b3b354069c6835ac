// Names and guarded removal of scan data files.
#include "scanFiles.h"

#include "commDef.h"
#include "daemonHelper.h"
#include "logText.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kBaseNameFormat = "%s/%s%d_%d";
constexpr const char* kPageFileFormat = "%s_%d.tmp";
constexpr const char* kPageFileSuffix = ".tmp";
constexpr const char* kPageFilePrefix = "vornscandata_";
constexpr const char* kRefuseDeleteLine = "[VornScanSDK] refuse to delete file:%s";
// Group and others must not write into the scan folder.
constexpr mode_t kForeignWriteBits = S_IWGRP | S_IWOTH;

std::string ClientText(const char* text)
{
    return std::string(text, strnlen(text, kVornFileNameSize));
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

// Splits a client path into folder and last component; true when the folder is the scan
// folder itself (symbolic links resolved) and the last component is an ordinary name.
bool SplitInScanFolder(const std::string& scanFolder, const std::string& path, std::string& leaf)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    leaf = path.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..")
        return false;
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    const std::string resolved = RealPath(folder);
    return !resolved.empty() && resolved == RealPath(scanFolder);
}

bool IsRegularEntry(int folderFd, const char* name)
{
    struct stat info {};
    return fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

// True for "<base>_<digits>.tmp" exactly.
bool IsPageFileOf(const std::string& name, const std::string& base)
{
    const std::string prefix = base + "_";
    const size_t suffixLength = strlen(kPageFileSuffix);
    if (name.size() <= prefix.size() + suffixLength || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    if (name.compare(name.size() - suffixLength, suffixLength, kPageFileSuffix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size() - suffixLength; ++i) {
        if (!isdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

// Reads "<digits>" at text[at], moving at past them; false when there is none.
bool ReadNumber(const std::string& text, size_t& at, long& value)
{
    const size_t start = at;
    value = 0;
    while (at < text.size() && isdigit(static_cast<unsigned char>(text[at])) && at - start < 10)
        value = value * 10 + (text[at++] - '0');
    return at > start;
}

// True for "vornscandata_<pid>_<index>_<page>.tmp" exactly, with the connection's pid.
bool IsAnyPageFile(const std::string& name, pid_t& connection)
{
    const std::string prefix = kPageFilePrefix;
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    size_t at = prefix.size();
    long pid = 0, index = 0, page = 0;
    if (!ReadNumber(name, at, pid) || at >= name.size() || name[at++] != '_')
        return false;
    if (!ReadNumber(name, at, index) || at >= name.size() || name[at++] != '_')
        return false;
    if (!ReadNumber(name, at, page))
        return false;
    connection = static_cast<pid_t>(pid);
    return name.compare(at, std::string::npos, kPageFileSuffix) == 0;
}

// Removes the regular files directly in the folder whose name `doomed` picks.
int RemoveFilesWhere(const std::string& scanFolder, const std::function<bool(const std::string&)>& doomed)
{
    DIR* folder = opendir(scanFolder.c_str());
    if (folder == nullptr)
        return -1;
    const int folderFd = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        if (!doomed(entry->d_name) || !IsRegularEntry(folderFd, entry->d_name))
            continue;
        if (unlinkat(folderFd, entry->d_name, 0) == 0)
            vorn_log_info("[VornScanSDK] delete file:%s/%s", scanFolder.c_str(),
                          vorn_LogText(entry->d_name, strlen(entry->d_name)).c_str());
    }
    closedir(folder);
    return 0;
}

// Removes the page files whose connection pid `doomed` picks.
int RemovePagesOf(const std::string& scanFolder, const std::function<bool(pid_t)>& doomed)
{
    return RemoveFilesWhere(scanFolder, [&](const std::string& name) {
        pid_t connection = 0;
        return IsAnyPageFile(name, connection) && doomed(connection);
    });
}

} // namespace

std::string vorn_ScanBaseName(const std::string& scanFolder, int pid, int index)
{
    char name[kVornFileNameSize];
    snprintf(name, sizeof name, kBaseNameFormat, scanFolder.c_str(), kPageFilePrefix, pid, index);
    return name;
}

std::string vorn_PageFileName(const std::string& baseName, int page)
{
    char name[kVornFileNameSize + 16];
    snprintf(name, sizeof name, kPageFileFormat, baseName.c_str(), page);
    return name;
}

int deleteFileList(const std::string& scanFolder, const char* baseName)
{
    const std::string base = ClientText(baseName);
    if (base.empty()) {
        vorn_log_info("[VornScanSDK] subStr isEmpty");
        return 0;
    }
    std::string leaf = base;
    if (base.find('/') != std::string::npos && !SplitInScanFolder(scanFolder, base, leaf)) {
        vorn_log_err("[VornScanSDK] refuse to delete files outside the scan folder:%s", vorn_LogText(base).c_str());
        return 0;
    }
    return RemoveFilesWhere(scanFolder, [&](const std::string& name) { return IsPageFileOf(name, leaf); });
}

void vorn_DeleteScanFile(const std::string& scanFolder, const char* fileName)
{
    const std::string path = ClientText(fileName);
    std::string leaf;
    if (!SplitInScanFolder(scanFolder, path, leaf)) {
        vorn_log_err(kRefuseDeleteLine, vorn_LogText(path).c_str());
        return;
    }
    const int folderFd = open(scanFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    struct stat info {};
    if (fstatat(folderFd, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISREG(info.st_mode))
            unlinkat(folderFd, leaf.c_str(), 0);
        else
            vorn_log_err(kRefuseDeleteLine, vorn_LogText(path).c_str());
    }
    close(folderFd);
}

bool vorn_PrepareScanFolder(const std::string& scanFolder, std::string& problem)
{
    if (mkdir(scanFolder.c_str(), kVornScanFolderMode) == 0)
        chmod(scanFolder.c_str(), kVornScanFolderMode);  // the daemon runs with umask 0
    struct stat info {};
    if (lstat(scanFolder.c_str(), &info) != 0) {
        problem = "cannot create " + scanFolder + ": " + strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        problem = scanFolder + " is not a folder";
        return false;
    }
    if (info.st_uid != geteuid()) {
        problem = scanFolder + " belongs to another user";
        return false;
    }
    if ((info.st_mode & kForeignWriteBits) != 0) {
        problem = scanFolder + " is writable by group or others";
        return false;
    }
    return true;
}

int vorn_RemoveOrphanPages(const std::string& scanFolder, const std::set<pid_t>& liveConnections)
{
    return RemovePagesOf(scanFolder, [&](pid_t connection) { return liveConnections.count(connection) == 0; });
}

int vorn_RemoveConnectionPages(const std::string& scanFolder, pid_t connection)
{
    return RemovePagesOf(scanFolder, [connection](pid_t owner) { return owner == connection; });
}
