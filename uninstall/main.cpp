// VornPrintUninstall: deletes the suite's CUPS queues; always exits 0, whatever CUPS says.
#include "DeletePrinter.h"
#include "ProgramOptions.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
constexpr const char* c_pszUsage = "(no options: deletes every CUPS queue of the suite)";
// A mistyped option must never cost the user every suite queue.
constexpr int c_iExitUsageError = 2;
} // namespace

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, c_pszUsage) == enStandardOption::Answered)
        return 0;
    if (argc > 1) {
        std::fprintf(stderr, "VornPrintUninstall: unknown argument \"%s\"; nothing deleted\n", argv[1]);
        return c_iExitUsageError;
    }
    QCoreApplication app(argc, argv);
    DeletePrinter();
    return 0;
}
