// A bind mount that lasts as long as the object: fixtures lay private copies over the fixed
// folders and files of the system and take them away again when the test ends.
#pragma once

#include <string>

namespace VornTest {

class ScopedBindMount {
public:
    ScopedBindMount() = default;
    // Refuses (IsMounted false) outside the private namespace.
    ScopedBindMount(const std::string& strSource, const std::string& strTarget);
    ~ScopedBindMount();
    ScopedBindMount(ScopedBindMount&& other) noexcept;
    ScopedBindMount& operator=(ScopedBindMount&& other) noexcept;
    ScopedBindMount(const ScopedBindMount&) = delete;
    ScopedBindMount& operator=(const ScopedBindMount&) = delete;

    bool IsMounted() const { return !m_strTarget.empty(); }
    const std::string& Target() const { return m_strTarget; }
    void Unmount();

private:
    std::string m_strTarget; // empty when nothing is mounted
};

} // namespace VornTest
