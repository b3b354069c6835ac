// Names and guarded removal of scan data files.
#include "scanFiles.h"

#include "commDef.h"
#include "daemonHelper.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kBaseNameFormat = "%s/vornscandata_%d_%d";
constexpr const char* kPageFileFormat = "%s_%d.tmp";
constexpr const char* kPageFileSuffix = ".tmp";

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

} // namespace

std::string vorn_ScanBaseName(const std::string& scanFolder, int pid, int index)
{
    char name[kVornFileNameSize];
    snprintf(name, sizeof name, kBaseNameFormat, scanFolder.c_str(), pid, index);
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
        vorn_log_err("[VornScanSDK] refuse to delete files outside the scan folder:%s", base.c_str());
        return 0;
    }
    DIR* folder = opendir(scanFolder.c_str());
    if (folder == nullptr)
        return -1;
    const int folderFd = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        if (!IsPageFileOf(entry->d_name, leaf) || !IsRegularEntry(folderFd, entry->d_name))
            continue;
        if (unlinkat(folderFd, entry->d_name, 0) == 0)
            vorn_log_info("[VornScanSDK] delete file:%s/%s", scanFolder.c_str(), entry->d_name);
    }
    closedir(folder);
    return 0;
}

void vorn_DeleteScanFile(const std::string& scanFolder, const char* fileName)
{
    const std::string path = ClientText(fileName);
    std::string leaf;
    if (!SplitInScanFolder(scanFolder, path, leaf)) {
        vorn_log_err("[VornScanSDK] refuse to delete file:%s", path.c_str());
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
            vorn_log_err("[VornScanSDK] refuse to delete file:%s", path.c_str());
    }
    close(folderFd);
}
