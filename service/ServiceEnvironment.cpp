// The installed system's environment.
#include "ServiceEnvironment.h"

#include "CupsClient.h"
#include "LibusbPrinterTransport.h"

stServiceEnvironment stServiceEnvironment::Installed()
{
    stServiceEnvironment env;
    env.pUsbTransport = std::make_shared<LibusbPrinterTransport>();
    env.makeCupsSource = [] { return std::make_unique<CupsClient>(); };
    return env;
}
