// The suite's private installation root for end-to-end tests.
#include "SuiteRoot.h"

#include "PrivateNamespace.h"
#include "VornPaths.h"

#include <filesystem>
#include <fstream>

namespace VornTest {
namespace {

const char* const c_listSubfolders[] = {"bin", "cfg", "log", "tool", "temp", "scan"};

} // namespace

SuiteRoot::SuiteRoot()
    : m_strScratch(MakeScratchFolder("suite"))
{
    if (m_strScratch.empty())
        return;
    std::error_code error;
    for (const char* szFolder : c_listSubfolders)
        std::filesystem::create_directory(m_strScratch + "/" + szFolder, error);
    if (!error)
        m_mountRoot = ScopedBindMount(m_strScratch, Path(std::string()));
}

SuiteRoot::~SuiteRoot()
{
    m_listPrograms.clear();
    m_mountRoot.Unmount();
    RemoveTree(m_strScratch);
}

std::string SuiteRoot::Path(const std::string& strRelative)
{
    return VornPaths::c_strRoot.toStdString() + strRelative;
}

bool SuiteRoot::InstallProgram(const std::string& strBuiltFile, const std::string& strName)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!IsReady() || !fs::is_regular_file(strBuiltFile, error))
        return false;
    const std::string strTarget = Path("bin/" + (strName.empty() ? fs::path(strBuiltFile).filename().string() : strName));
    if (!fs::exists(strTarget, error))
        std::ofstream(strTarget).close();
    fs::permissions(strTarget, fs::perms(0755), error);
    ScopedBindMount mount(strBuiltFile, strTarget);
    if (!mount.IsMounted())
        return false;
    m_listPrograms.push_back(std::move(mount));
    return true;
}

} // namespace VornTest
