// The maker's USB scanners the backend looks for through the daemon, and what each can do.
#pragma once

#include <sane/sane.h>

#include <cstdint>

struct stVornScannerModel {
    int iVendorId;
    int iProductId;
    const char* szModel;
    SANE_Int iMinDpi;
    SANE_Int iMaxDpi;
    // Flatbed glass, in thousandths of an inch.
    uint32_t uMaxWidthMils;
    uint32_t uMaxHeightMils;
};

constexpr int kVornScannerVendorId = 0x3C7A;

inline constexpr stVornScannerModel c_stScannerModelList[] = {
    {kVornScannerVendorId, 0x2001, "VC5100DN", 75, 1200, 8500, 11690},
    {kVornScannerVendorId, 0x2002, "VC5200DN", 75, 1200, 8500, 14000},
    {kVornScannerVendorId, 0x2011, "VM3300", 75, 600, 8500, 11690},
};

// The table row of a USB scanner, or nullptr.
inline const stVornScannerModel* VornFindScannerModel(int vid, int pid)
{
    for (const stVornScannerModel& model : c_stScannerModelList) {
        if (model.iVendorId == vid && model.iProductId == pid)
            return &model;
    }
    return nullptr;
}
