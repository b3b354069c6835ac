// What the watchdog does to the printer service: look for its processes, stop them and start
// a new one. The watchdog's decisions sit on top of this, so they can be exercised without
// real processes.
#pragma once

class ServiceControl {
public:
    virtual ~ServiceControl() = default;

    // The watchdog's presence test; reports a missing service in the log.
    virtual bool CheckIsRunning() = 0;
    // The same test without a log line, for looking after a stop.
    virtual bool HasServiceProcess() = 0;
    // Asks every service process to end; bForce kills them outright, which also ends a
    // stopped or hung process.
    virtual void StopService(bool bForce) = 0;
    // Starts a new service detached from the watchdog.
    virtual void StartService() = 0;
};
