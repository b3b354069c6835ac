// Removal of the suite's CUPS queues when the suite itself is removed.
#pragma once

#include "CupsQueueDiscovery.h"

// Deletes every queue that "lpstat -v" lists with a USB or network device and a PPD naming a
// supported model. Queues of other drivers stay; a deletion that fails does not stop the rest.
void DeletePrinter(const CupsQueueDiscovery& discovery = CupsQueueDiscovery());
