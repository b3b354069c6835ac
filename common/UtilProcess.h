// Runs the external tools the suite needs (lpstat, cancel, lpadmin, killall, ...) as
// processes with argument lists, never through a shell, and reads their output from pipes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct stProcessResult {
    bool bStarted = false;   // the program could be executed
    bool bTimedOut = false;  // killed after the time-out
    int iExitCode = -1;      // exit status, or -1 when it did not exit normally
    QByteArray baStdout;
    QByteArray baStderr;
};

struct stProcessOptions {
    int iTimeoutMs = 30000;
};

class UtilProcess {
public:
    // Safe to call from several threads at once.
    static stProcessResult Run(const QString& strProgram, const QStringList& listArgs,
                               const stProcessOptions& options = stProcessOptions());

    // What a detached program's standard error is joined to.
    enum enDetachedStderr {
        STDERR_DISCARD, // /dev/null, like its other streams
        STDERR_INHERIT, // the caller's own, e.g. the journal when systemd runs the caller
    };

    // Starts a program detached: its own session, standard input and output on /dev/null, not a
    // child that the caller must reap. False when it could not be started.
    static bool StartDetached(const QString& strProgram, const QStringList& listArgs,
                              enDetachedStderr enStderr = STDERR_DISCARD);
};
