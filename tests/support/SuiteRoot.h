// A fresh "/opt/vorn/vorn-printer-t905/" for one test, so that the programs under test run
// with their built-in paths and find only what the test put there.
#pragma once

#include "ScopedBindMount.h"

#include <string>
#include <vector>

namespace VornTest {

class SuiteRoot {
public:
    // Lays an empty tree with bin/ cfg/ log/ tool/ temp/ scan/ over the fixed root.
    SuiteRoot();
    ~SuiteRoot();
    SuiteRoot(const SuiteRoot&) = delete;
    SuiteRoot& operator=(const SuiteRoot&) = delete;

    bool IsReady() const { return m_mountRoot.IsMounted(); }

    // The fixed path of a file or folder below the root, e.g. Path("cfg/printerlist.ini").
    static std::string Path(const std::string& strRelative);

    // Makes a built program available as bin/NAME (NAME defaults to the file's own name) by
    // binding it there, so sanitizer builds are not copied. False when it does not exist.
    bool InstallProgram(const std::string& strBuiltFile, const std::string& strName = std::string());

private:
    std::string m_strScratch;
    ScopedBindMount m_mountRoot;
    std::vector<ScopedBindMount> m_listPrograms;
};

} // namespace VornTest
