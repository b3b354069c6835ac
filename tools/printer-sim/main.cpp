// vorn-printer-sim: plays printers of the suite for tests and for trying the programs by hand,
// on loopback UDP and on a simulated USB bus, optionally around one program run as its child.
#include "SimCommandInterpreter.h"
#include "SimControlChannel.h"
#include "SimEventLog.h"
#include "SimPrinterFleet.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSocketNotifier>
#include <QTextStream>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

constexpr int c_iExitUsage = 2;
constexpr int c_iExitChildNotStarted = 127;
constexpr int c_iChildStopTimeoutMs = 5000;
constexpr int c_iSendTimeoutMs = 5000;

const char* const c_szUsage =
    "usage: vorn-printer-sim [--config FILE] [--control-dir DIR] [--event-log FILE] [-- PROGRAM [ARG...]]\n"
    "       vorn-printer-sim --send DIR COMMAND...\n"
    "Commands come from FILE, standard input and DIR/control.sock; \"help\" lists them.\n";

struct stOptions {
    QString strConfig;
    QString strControlDir;
    QString strEventLog;
    QStringList listChild;
    QString strSendDir;
    QString strSendCommand;
};

bool ParseOptions(const QStringList& listArg, stOptions& options)
{
    for (int i = 1; i < listArg.size(); ++i) {
        const QString& strArg = listArg[i];
        const bool bHasValue = i + 1 < listArg.size();
        if (strArg == QLatin1String("--")) {
            options.listChild = listArg.mid(i + 1);
            return !options.listChild.isEmpty();
        }
        if (strArg == QLatin1String("--send") && bHasValue) {
            options.strSendDir = listArg[++i];
            options.strSendCommand = listArg.mid(i + 1).join(QLatin1Char(' '));
            return !options.strSendCommand.isEmpty();
        }
        if (strArg == QLatin1String("--config") && bHasValue)
            options.strConfig = listArg[++i];
        else if (strArg == QLatin1String("--control-dir") && bHasValue)
            options.strControlDir = listArg[++i];
        else if (strArg == QLatin1String("--event-log") && bHasValue)
            options.strEventLog = listArg[++i];
        else
            return false;
    }
    return true;
}

// Client mode: one command to a running simulator, its reply on standard output.
int SendCommand(const stOptions& options)
{
    QLocalSocket socket;
    socket.connectToServer(options.strSendDir + QLatin1Char('/') + QLatin1String(SimControlChannel::c_szSocketName));
    if (!socket.waitForConnected(c_iSendTimeoutMs)) {
        std::fprintf(stderr, "vorn-printer-sim: %s\n", qPrintable(socket.errorString()));
        return 1;
    }
    socket.write(options.strSendCommand.toUtf8() + '\n');
    // The reply ends with its first "ok" or "error: ..." line.
    for (;;) {
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(c_iSendTimeoutMs))
                return 1;
        }
        const QString strLine = QString::fromUtf8(socket.readLine()).trimmed();
        std::printf("%s\n", qPrintable(strLine));
        if (SimCommandInterpreter::IsSuccess({strLine}))
            return 0;
        if (strLine.startsWith(QLatin1String("error: ")))
            return 1;
    }
}

bool RunConfig(const QString& strPath, SimCommandInterpreter& interpreter)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "vorn-printer-sim: cannot read %s\n", qPrintable(strPath));
        return false;
    }
    QTextStream stream(&file);
    int iLine = 0;
    while (!stream.atEnd()) {
        const QString strLine = stream.readLine();
        ++iLine;
        const QStringList listReply = interpreter.Execute(strLine);
        if (!SimCommandInterpreter::IsSuccess(listReply)) {
            std::fprintf(stderr, "vorn-printer-sim: %s:%d: %s\n", qPrintable(strPath), iLine, qPrintable(listReply.last()));
            return false;
        }
    }
    return true;
}

// SIGTERM and SIGINT end the run in order (the child is stopped first) through the event loop.
int g_aiSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char by = 1;
    (void)!write(g_aiSignalPipe[1], &by, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    stOptions options;
    if (!ParseOptions(app.arguments(), options)) {
        std::fputs(c_szUsage, stderr);
        return c_iExitUsage;
    }
    if (!options.strSendDir.isEmpty())
        return SendCommand(options);

    SimEventLog log;
    if (!log.Open(options.strEventLog)) {
        std::fprintf(stderr, "vorn-printer-sim: cannot write %s\n", qPrintable(options.strEventLog));
        return 1;
    }
    QProcess child;
    bool bQuitting = false;
    auto fnQuit = [&]() {
        bQuitting = true;
        if (child.state() != QProcess::NotRunning) {
            child.terminate();
            if (!child.waitForFinished(c_iChildStopTimeoutMs))
                child.kill();
        }
        app.exit(0);
    };
    SimPrinterFleet fleet([&log](const QString& strLine) { log.Event(strLine); });
    SimCommandInterpreter interpreter(fleet, fnQuit);
    if (!options.strConfig.isEmpty() && !RunConfig(options.strConfig, interpreter))
        return 1;

    SimControlChannel control(interpreter, log);
    control.ListenOnStdin();
    QString strError;
    if (!options.strControlDir.isEmpty() && !control.ListenInFolder(options.strControlDir, strError)) {
        std::fprintf(stderr, "vorn-printer-sim: control socket: %s\n", qPrintable(strError));
        return 1;
    }

    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_aiSignalPipe) != 0)
        return 1;
    QSocketNotifier signalNotifier(g_aiSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, fnQuit);
    std::signal(SIGTERM, OnTerminationSignal);
    std::signal(SIGINT, OnTerminationSignal);

    log.Print(QStringLiteral("ready"));
    if (!options.listChild.isEmpty()) {
        // The child inherits the simulated USB bus through UMOCKDEV_DIR and LD_PRELOAD.
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.setStandardInputFile(QProcess::nullDevice());
        QObject::connect(&child, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &app,
                         [&](int iExitCode, QProcess::ExitStatus enStatus) {
                             if (bQuitting)
                                 return;
                             const int iCode = enStatus == QProcess::NormalExit ? iExitCode : 1;
                             log.Event(QStringLiteral("exit %1").arg(iCode));
                             app.exit(iCode);
                         });
        child.start(options.listChild.first(), options.listChild.mid(1));
        if (!child.waitForStarted()) {
            std::fprintf(stderr, "vorn-printer-sim: cannot start %s\n", qPrintable(options.listChild.first()));
            return c_iExitChildNotStarted;
        }
    }
    return app.exec();
}
