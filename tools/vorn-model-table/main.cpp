// Prints the supported-model table, one tab-separated row per model: code, display name, PPD
// file name, USB vendor id and product id. The build turns it into the udev rules; with
// "--network" it prints the maintenance tool's table of network-capable models.
#include "ModelTable.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintRow(const stModelEntry& entry)
{
    std::printf("%s\t%s\t%s\t0x%04x\t0x%04x\n", entry.strModelCode.toUtf8().constData(),
                entry.strModelName.toUtf8().constData(), entry.strPPDFile.toUtf8().constData(),
                unsigned(entry.iVendorID), unsigned(entry.iProductID));
}

} // namespace

int main(int argc, char** argv)
{
    const bool bNetwork = argc == 2 && std::strcmp(argv[1], "--network") == 0;
    if (argc > 2 || (argc == 2 && !bNetwork)) {
        std::fprintf(stderr, "usage: %s [--network]\n", argv[0]);
        return 2;
    }
    if (bNetwork) {
        for (const stModelEntry& entry : NetworkModelInfoList())
            PrintRow(entry);
    } else {
        for (const stModelEntry& entry : c_stModelInfoList)
            PrintRow(entry);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
