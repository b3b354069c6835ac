// The maker's model rows. Display name and PPD file name follow from the code.
#include "ModelTable.h"

namespace {
stModelEntry MakeModelEntry(const char* szCode, int iProductID)
{
    const QString strCode = QString::fromLatin1(szCode);
    return stModelEntry{strCode, QStringLiteral("Vorn ") + strCode, QStringLiteral("Vorn_") + strCode + QStringLiteral(".ppd"),
                        c_iVendorID, iProductID};
}
} // namespace

const std::array<stModelEntry, c_iModelCount> c_stModelInfoList = {
    MakeModelEntry("VC5100DN", 0x1001),
    MakeModelEntry("VC5100DNW", 0x1004),
    MakeModelEntry("VC5100N", 0x1007),
    MakeModelEntry("VC5100NW", 0x100A),
    MakeModelEntry("VC5200DN", 0x100D),
    MakeModelEntry("VC5200DW", 0x1010),
    MakeModelEntry("VL2100DNa", 0x1013),
    MakeModelEntry("VL2100DWa", 0x1016),
    MakeModelEntry("VL2120D", 0x1019),
    MakeModelEntry("VL2120DN", 0x101C),
    MakeModelEntry("VL2120DNW", 0x101F),
    MakeModelEntry("VL2120DNa", 0x1022),
    MakeModelEntry("VL2120DS", 0x1025),
    MakeModelEntry("VL2120DW", 0x1028),
    MakeModelEntry("VL2120DWa", 0x102B),
    MakeModelEntry("VL2120N", 0x102E),
    MakeModelEntry("VL2200D", 0x1031),
    MakeModelEntry("VL2200DN", 0x1034),
    MakeModelEntry("VL2200DNW", 0x1037),
    MakeModelEntry("VL2200N", 0x103A),
    MakeModelEntry("VL2200NW", 0x103D),
    MakeModelEntry("VL2230DN", 0x1040),
    MakeModelEntry("VL2230DW", 0x1043),
    MakeModelEntry("VL2230NW", 0x1046),
    MakeModelEntry("VL3100DS", 0x1049),
    MakeModelEntry("VL3100DW", 0x104C),
    MakeModelEntry("VL3100N", 0x104F),
    MakeModelEntry("VL3150DNW", 0x1052),
    MakeModelEntry("VL3150DW", 0x1055),
    MakeModelEntry("VL3150NW", 0x1058),
    MakeModelEntry("VL3300C", 0x105B),
    MakeModelEntry("VL4100C", 0x105E),
    MakeModelEntry("VL4100DN", 0x1061),
    MakeModelEntry("VL4100DNW", 0x1064),
    MakeModelEntry("VL4100DNa", 0x1067),
    MakeModelEntry("VM2160C", 0x106A),
    MakeModelEntry("VM2160D", 0x106D),
    MakeModelEntry("VM2160DWa", 0x1070),
    MakeModelEntry("VM2300DN", 0x1073),
    MakeModelEntry("VM2300DNW", 0x1076),
    MakeModelEntry("VM2300DS", 0x1079),
    MakeModelEntry("VM2300DW", 0x107C),
    MakeModelEntry("VM2300N", 0x107F),
    MakeModelEntry("VM2300NW", 0x1082),
    MakeModelEntry("VM3100C", 0x1085),
    MakeModelEntry("VM3100DNW", 0x1088),
    MakeModelEntry("VM3100DNa", 0x108B),
    MakeModelEntry("VM3100DS", 0x108E),
    MakeModelEntry("VM3100NW", 0x1091),
    MakeModelEntry("VM3300D", 0x1094),
    MakeModelEntry("VM3300NW", 0x1097),
    MakeModelEntry("VM4200D", 0x109A),
    MakeModelEntry("VM4200DW", 0x109D),
    MakeModelEntry("VM4250DS", 0x10A0),
    MakeModelEntry("VM4250N", 0x10A3),
    MakeModelEntry("VM4250NW", 0x10A6),
    MakeModelEntry("VPX700D", 0x10A9),
    MakeModelEntry("VPX700DNa", 0x10AC),
    MakeModelEntry("VPX700DWa", 0x10AF),
    MakeModelEntry("VPX700N", 0x10B2),
    MakeModelEntry("VPX750DN", 0x10B5),
    MakeModelEntry("VPX750DNW", 0x10B8),
    MakeModelEntry("VPX750DNa", 0x10BB),
    MakeModelEntry("VPX750NW", 0x10BE),
    MakeModelEntry("VPX900DN", 0x10C1),
    MakeModelEntry("VPX900N", 0x10C4),
};

bool IsNetworkModel(const QString& strModelCode)
{
    int i = 0;
    while (i < strModelCode.size() && !strModelCode[i].isDigit())
        ++i;
    while (i < strModelCode.size() && strModelCode[i].isDigit())
        ++i;
    const QString strLetters = strModelCode.mid(i);
    return strLetters.contains(QLatin1Char('N')) || strLetters.contains(QLatin1Char('W'));
}

const std::vector<stModelEntry>& NetworkModelInfoList()
{
    static const std::vector<stModelEntry> s_list = [] {
        std::vector<stModelEntry> list;
        for (const stModelEntry& entry : c_stModelInfoList) {
            if (IsNetworkModel(entry.strModelCode))
                list.push_back(entry);
        }
        return list;
    }();
    return s_list;
}
