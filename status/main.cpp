// vorn-printer-status: the suite's printers as the service last published them, for a console
// or a script; exits non-zero when the service is not running or hangs.
#include "PrinterStatusReport.h"
#include "ProgramOptions.h"
#include "StatusReportFormat.h"

#include <QCoreApplication>
#include <QLocale>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* c_pszUsage = "[--json]";
constexpr const char* c_pszJsonOption = "--json";

constexpr int c_iExitServiceAlive = 0;
constexpr int c_iExitServiceDown = 1;
constexpr int c_iExitUsageError = 2;

// Chinese desktops read the texts the status monitor shows; every other locale reads English.
enLanguage ConsoleLanguage()
{
    return QLocale::system().language() == QLocale::Chinese ? LANGUAGE_CHINESE : LANGUAGE_ENGLISH;
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerStandardOptions(argc, argv, c_pszUsage) == enStandardOption::Answered)
        return 0;
    bool bJson = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], c_pszJsonOption) != 0) {
            std::fprintf(stderr, "usage: vorn-printer-status %s\n", c_pszUsage);
            return c_iExitUsageError;
        }
        bJson = true;
    }
    QCoreApplication app(argc, argv);

    const stStatusReport report = PrinterStatusReport().Read();
    const QByteArray baOutput = bJson ? FormatStatusJson(report) : FormatStatusText(report, ConsoleLanguage()).toUtf8();
    std::fwrite(baOutput.constData(), 1, size_t(baOutput.size()), stdout);
    return report.IsServiceAlive() ? c_iExitServiceAlive : c_iExitServiceDown;
}
