// "--help" and "--version" for every program of the suite.
#include "ProgramOptions.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* c_pszHelpOption = "--help";
constexpr const char* c_pszVersionOption = "--version";

const char* ProgramName(const char* pszArgv0)
{
    if (pszArgv0 == nullptr || *pszArgv0 == '\0')
        return "program";
    const char* pszSlash = std::strrchr(pszArgv0, '/');
    return pszSlash != nullptr ? pszSlash + 1 : pszArgv0;
}

} // namespace

const char* SuiteVersion()
{
    return VORN_SUITE_VERSION;
}

enStandardOption AnswerStandardOptions(int argc, const char* const argv[], const char* pszUsage)
{
    const char* pszName = ProgramName(argc > 0 ? argv[0] : nullptr);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], c_pszHelpOption) == 0) {
            std::printf("usage: %s %s\n", pszName, pszUsage != nullptr ? pszUsage : "");
            return enStandardOption::Answered;
        }
        if (std::strcmp(argv[i], c_pszVersionOption) == 0) {
            std::printf("%s %s\n", pszName, SuiteVersion());
            return enStandardOption::Answered;
        }
    }
    return enStandardOption::Run;
}
