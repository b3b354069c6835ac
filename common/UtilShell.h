// Small helpers shared by several programs: the single-instance and presence tests, the
// monitor's "-hide" option, folder creation and command output capture.
#pragma once

#include <QList>
#include <QString>

// Processes whose command name (the kernel's first 15 characters) equals the first 15
// characters of strName, ignoring case, counted from the process table under strProcDir.
// Only processes in the caller's own PID namespace count: a container or a test run on the
// same machine has its own instances, which are none of the caller's business.
int CountProcessesNamed(const QString& strName, const QString& strProcDir = QStringLiteral("/proc"));
// The same processes' ids, as the process table names them.
QList<int> FindProcessesNamed(const QString& strName, const QString& strProcDir = QStringLiteral("/proc"));

// The service's and the monitor's guard: true when another process carries the same name
// (the caller itself is one of them).
bool CheckIsRunning(const QString& strOwnName, const QString& strProcDir = QStringLiteral("/proc"));

// The watchdog's test: true when at least one process named like the service exists;
// logs "service not found!" otherwise.
bool CheckIsServiceRunning(const QString& strProcDir = QStringLiteral("/proc"));

bool CheckIsHide(int argc, char** argv);

bool MakePathExist(const QString& strPath);

// Runs a command line split by Qt's single-command rules (no shell), at most 30 s, and reads
// both streams whole from pipes. 0 with the standard output when there is any; otherwise 2
// with the standard error (empty when the command could not start).
int GetCmdOutput(const QString& strCommand, QString& strOutput);
