// Reading the heartbeat's age from the file's modification time, which the service renews.
#include "ServiceHeartbeat.h"

#include <QFileInfo>

namespace ServiceHeartbeat {

bool ReadAgeSecs(const QString& strHeartbeatFile, const QDateTime& now, qint64& iAgeSecs)
{
    const QFileInfo heartbeat(strHeartbeatFile);
    if (!heartbeat.exists())
        return false;
    iAgeSecs = heartbeat.lastModified().secsTo(now);
    return true;
}

} // namespace ServiceHeartbeat
