// The printer's numeric codes mapped to the system's enumerations.
#include "PrinterStatusEnums.h"

#include <array>

namespace {

// Printer status codes 0..3 and 0x10..0x13; everything else is unknown.
constexpr unsigned long c_ulFirstJobStatusCode = 0x10;

struct stErrorCodeRange {
    unsigned long ulFirst;
    unsigned long ulLast;
    enErrorStatus enStatus;
};

// Printer error and warning codes. Codes inside the printer's blocks that are not listed here
// are reserved and read as unknown.
constexpr stErrorCodeRange c_arrErrorCodeRanges[] = {
    {0x0100, 0x0101, ERR_BREAKDOWN},
    {0x0110, 0x0110, ERR_INITIAL_SETUP},
    {0x0200, 0x0200, ERR_BREAKDOWN},
    {0x0202, 0x0202, ERR_BREAKDOWN},
    {0x1106, 0x1106, ERR_FRONT_COVER_OPEN},
    {0x1108, 0x1108, ERR_BREAKDOWN},
    {0x1109, 0x110C, ERR_CARTRIDGE},
    {0x110D, 0x110D, ERR_TONER_LOW},
    {0x110E, 0x110E, ERR_TONER_EMPTY_CONTINUE},
    {0x110F, 0x110F, ERR_TONER_EMPTY_REPLACE},
    {0x1110, 0x1110, ERR_NO_CARTRIDGE},
    {0x1111, 0x1111, ERR_WASTE_TONER_FULL},
    {0x1112, 0x1114, ERR_CARTRIDGE_PAGES_LIMIT},
    {0x1115, 0x1115, ERR_PRINTER_LIFE_END},
    {0x1121, 0x1121, ERR_WASTE_TONER_NEAR_FULL},
    {0x1122, 0x1122, ERR_CARTRIDGE_PAGES_NEAR_LIMIT},
    {0x1123, 0x1123, ERR_TONER_EMPTY_CONTINUE},
    {0x1124, 0x1124, ERR_CARTRIDGE_PAGES_NEAR_LIMIT},
    {0x1125, 0x1125, ERR_WASTE_TONER_FULL},
    {0x1126, 0x1126, ERR_PRINTER_LIFE_NEAR_END},
    {0x1127, 0x1127, ERR_PRINTER_LIFE_END},
    {0x1128, 0x1129, ERR_PRINTER_LIFE_NEAR_END},
    {0x112F, 0x112F, ERR_TONER_EMPTY_CONTINUE},
    {0x1130, 0x1130, ERR_MEMORY_OVERFLOW},
    {0x1132, 0x1132, ERR_INVALID_SETTING},
    {0x1133, 0x1133, ERR_TRAY_MISMATCH},
    {0x1140, 0x1140, ERR_COOLING},
    {0x11A0, 0x11A0, ERR_TRAY_EMPTY},
    {0x11A1, 0x11A1, ERR_MANUAL_FEED_EMPTY},
    {0x11A2, 0x11A2, ERR_MANUAL_FEED_STOP},
    {0x11B0, 0x11B8, ERR_JAM_INSIDE},
    {0x11C0, 0x11C6, ERR_JAM_TRAY},
    {0x11D0, 0x11D6, ERR_JAM_REAR},
    {0x11E0, 0x11E3, ERR_PAPER_SIZE_MISMATCH},
    {0x11EA, 0x11EA, ERR_TONER_RUNNING_OUT},
    {0x11EE, 0x11EF, ERR_TONER_EMPTY_CONTINUE},
    {0x1200, 0x1200, ERR_FIXER},
    {0x1201, 0x1202, ERR_BREAKDOWN},
    {0x1203, 0x1203, ERR_LASER},
    {0x1204, 0x1207, ERR_BREAKDOWN},
    {0x1209, 0x120B, ERR_BREAKDOWN},
    {0x1211, 0x1211, ERR_BREAKDOWN},
    {0x1212, 0x1212, ERR_HIGH_TEMPERATURE},
    {0x1213, 0x121F, ERR_BREAKDOWN},
    {0x2100, 0x2100, ERR_ADF_JAM},
    {0x2102, 0x2102, ERR_ADF_NO_PAPER},
    {0x2103, 0x2103, ERR_ADF_FEED},
    {0x2200, 0x2200, ERR_NO_SCANNER},
    {0x4100, 0x4100, ERR_BREAKDOWN_2},
    {0x4200, 0x4201, ERR_BREAKDOWN_2},
    {0x4210, 0x4210, ERR_BREAKDOWN_2},
    {0x4211, 0x4211, ERR_FLATBED_SCAN},
    {0x4212, 0x4212, ERR_BREAKDOWN_2},
    {0x4213, 0x4213, ERR_ADF_SCAN_NO_PAPER},
    {0x4214, 0x4214, ERR_FILE_SIZE_LIMIT},
    {0x4F00, 0x4F00, ERR_BREAKDOWN_2},
    {0x5000, 0x5000, ERR_IP_CONFLICT},
    {0xE100, 0xE100, ERR_IP_SETTINGS},
};

} // namespace

enPrinterStatus GetPrinterStatusEnum(unsigned long ulStatusCode)
{
    static constexpr std::array<enPrinterStatus, 4> c_arrIdleStates = {PS_READY, PS_INITIALIZE, PS_BUSY, PS_CANCELING};
    static constexpr std::array<enPrinterStatus, 4> c_arrJobStates = {PS_PRINTING, PS_SCANNING, PS_COPYING, PS_REPORTING};
    if (ulStatusCode < c_arrIdleStates.size())
        return c_arrIdleStates[ulStatusCode];
    if (ulStatusCode >= c_ulFirstJobStatusCode && ulStatusCode - c_ulFirstJobStatusCode < c_arrJobStates.size())
        return c_arrJobStates[ulStatusCode - c_ulFirstJobStatusCode];
    return PS_UNKNOWN;
}

enErrorStatus GetErrorStatusEnum(unsigned long ulErrorCode)
{
    for (const stErrorCodeRange& range : c_arrErrorCodeRanges) {
        if (ulErrorCode >= range.ulFirst && ulErrorCode <= range.ulLast)
            return range.enStatus;
    }
    return ERR_UNKNOWN;
}

enTonerType GetTonerTypeEnum(unsigned long)
{
    return TONER_STANDARD;
}
