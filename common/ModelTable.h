// The supported-model table: the only place where the suite learns which CUPS queues and USB
// devices belong to it.
#pragma once

#include <QString>

#include <array>
#include <vector>

struct stModelEntry {
    QString strModelCode;
    QString strModelName;
    QString strPPDFile;
    int iVendorID;
    int iProductID;
};

constexpr int c_iVendorID = 0x3C7A;
constexpr int c_iModelCount = 66;

extern const std::array<stModelEntry, c_iModelCount> c_stModelInfoList;

// The models with a network interface: the letters after the code's digits hold "N" or "W".
bool IsNetworkModel(const QString& strModelCode);

// The maintenance tool's table, derived from the full one in stored order.
const std::vector<stModelEntry>& NetworkModelInfoList();
