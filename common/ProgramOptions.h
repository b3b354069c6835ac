// The two options every program of the suite answers, so a packaged program can be asked what
// it is without it acting: "--help" prints one line of usage, "--version" the suite's version.
// Plain C++ without Qt, so the scan daemon shares it.
#pragma once

// What the caller does after AnswerStandardOptions.
enum class enStandardOption {
    Run,      // no standard option given: go on as usual
    Answered, // "--help" or "--version" was answered on stdout: exit 0 without acting
};

// Looks for "--help" or "--version" anywhere in argv. pszUsage is the usage line without the
// program name, e.g. "[-hide]"; the program name printed is argv[0]'s last path element.
enStandardOption AnswerStandardOptions(int argc, const char* const argv[], const char* pszUsage);

// The suite's version, e.g. "1.0.0".
const char* SuiteVersion();
