// The installed system's environment.
#include "ServiceEnvironment.h"

#include "LibusbPrinterTransport.h"

stServiceEnvironment stServiceEnvironment::Installed()
{
    stServiceEnvironment env;
    env.pUsbTransport = std::make_shared<LibusbPrinterTransport>();
    return env;
}
