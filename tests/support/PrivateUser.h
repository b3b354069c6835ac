// A local user that exists only inside the test's namespace: private copies of /etc/passwd
// and /etc/group with the user added are laid over the real ones.
#pragma once

#include "ScopedBindMount.h"

#include <sys/types.h>

#include <string>

namespace VornTest {

class PrivateUser {
public:
    // Adds the user (own group of the same id, home folder on the private /run). A name that
    // already exists is used as it is.
    explicit PrivateUser(const std::string& strName = "vorndesk", uid_t uid = 4711);
    ~PrivateUser();
    PrivateUser(const PrivateUser&) = delete;
    PrivateUser& operator=(const PrivateUser&) = delete;

    bool IsReady() const { return m_bReady; }
    const std::string& Name() const { return m_strName; }

private:
    std::string m_strName;
    std::string m_strScratch;
    ScopedBindMount m_mountPasswd;
    ScopedBindMount m_mountGroup;
    bool m_bReady = false;
};

} // namespace VornTest
