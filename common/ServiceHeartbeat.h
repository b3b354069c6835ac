// The age of the service's heartbeat and the age at which it means the service hangs: the
// watchdog restarts the service on it and the status command reports it.
#pragma once

#include <QDateTime>
#include <QString>

namespace ServiceHeartbeat {

// The service renews its heartbeat every 5 s; two missed renewals mean it hangs.
constexpr qint64 c_iStaleSecs = 10;

// Whole seconds from the file's last modification to now; false when the file is missing.
// A time stamp in the future (clock set back) gives a negative age.
bool ReadAgeSecs(const QString& strHeartbeatFile, const QDateTime& now, qint64& iAgeSecs);

// Negative ages count as fresh, so setting the clock back never restarts a healthy service.
inline bool IsFresh(qint64 iAgeSecs)
{
    return iAgeSecs < c_iStaleSecs;
}

} // namespace ServiceHeartbeat
