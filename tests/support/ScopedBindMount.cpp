// Bind mounts with a lifetime, for the fixtures' private copies of system folders.
#include "ScopedBindMount.h"

#include "PrivateNamespace.h"

#include <sys/mount.h>

#include <utility>

namespace VornTest {

ScopedBindMount::ScopedBindMount(const std::string& strSource, const std::string& strTarget)
{
    if (IsInPrivateNamespace() && mount(strSource.c_str(), strTarget.c_str(), nullptr, MS_BIND, nullptr) == 0)
        m_strTarget = strTarget;
}

ScopedBindMount::~ScopedBindMount()
{
    Unmount();
}

ScopedBindMount::ScopedBindMount(ScopedBindMount&& other) noexcept
    : m_strTarget(std::exchange(other.m_strTarget, std::string()))
{
}

ScopedBindMount& ScopedBindMount::operator=(ScopedBindMount&& other) noexcept
{
    if (this != &other) {
        Unmount();
        m_strTarget = std::exchange(other.m_strTarget, std::string());
    }
    return *this;
}

void ScopedBindMount::Unmount()
{
    if (m_strTarget.empty())
        return;
    // Detached: a process that still has a file open there (a reaped tool's last write)
    // must not keep the next test from laying its own copy over the same place.
    umount2(m_strTarget.c_str(), MNT_DETACH);
    m_strTarget.clear();
}

} // namespace VornTest
