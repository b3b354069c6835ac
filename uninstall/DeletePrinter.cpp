// The queue name goes to lpadmin as one argument of its own, so no name, however long or
// full of shell characters, can change the command.
#include "DeletePrinter.h"

#include "UtilProcess.h"

#include <QStringList>

namespace {
const QString c_strLpadmin = QStringLiteral("lpadmin");
const QString c_strDeleteQueueOption = QStringLiteral("-x");
} // namespace

void DeletePrinter(const CupsQueueDiscovery& discovery)
{
    const QList<stPrinterInfo> listQueues = discovery.GetPrinterInfoFromListing(true);
    for (const stPrinterInfo& queue : listQueues)
        UtilProcess::Run(c_strLpadmin, {c_strDeleteQueueOption, queue.strName});
}
