// Users for end-to-end tests that must not appear in the host's account files.
#include "PrivateUser.h"

#include "PrivateNamespace.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace VornTest {
namespace {

constexpr const char* c_szPasswdFile = "/etc/passwd";
constexpr const char* c_szGroupFile = "/etc/group";

bool CopyWithLine(const std::string& strFrom, const std::string& strTo, const std::string& strLine)
{
    std::error_code error;
    std::filesystem::copy_file(strFrom, strTo, error);
    std::ofstream file(strTo, std::ios::app);
    file << strLine << '\n';
    file.close();
    return !error && !file.fail();
}

} // namespace

PrivateUser::PrivateUser(const std::string& strName, uid_t uid)
    : m_strName(strName)
{
    if (getpwnam(strName.c_str()) != nullptr) {
        m_bReady = true;
        return;
    }
    m_strScratch = MakeScratchFolder("user");
    if (m_strScratch.empty())
        return;
    const std::string strHome = m_strScratch + "/home";
    const std::string strId = std::to_string(uid);
    std::error_code error;
    std::filesystem::create_directory(strHome, error);
    if (error || chown(strHome.c_str(), uid, uid) != 0)
        return;
    if (!CopyWithLine(c_szPasswdFile, m_strScratch + "/passwd", strName + ":x:" + strId + ":" + strId + "::" + strHome + ":/bin/sh")
        || !CopyWithLine(c_szGroupFile, m_strScratch + "/group", strName + ":x:" + strId + ":"))
        return;
    m_mountPasswd = ScopedBindMount(m_strScratch + "/passwd", c_szPasswdFile);
    m_mountGroup = ScopedBindMount(m_strScratch + "/group", c_szGroupFile);
    m_bReady = m_mountPasswd.IsMounted() && m_mountGroup.IsMounted();
}

PrivateUser::~PrivateUser()
{
    m_mountGroup.Unmount();
    m_mountPasswd.Unmount();
    RemoveTree(m_strScratch);
}

} // namespace VornTest
