// The system's names for a printer's state and for its error and warning conditions.
#pragma once

enum enPrinterStatus : int {
    PS_UNKNOWN = 0,
    PS_VERSION_MISMATCH = 1,
    PS_OFFLINE = 2,
    PS_READY = 3,
    PS_INITIALIZE = 4,
    PS_BUSY = 5,
    PS_CANCELING = 6,
    PS_ERROR = 7,
    PS_PRINTING = 8,
    PS_SCANNING = 9,
    PS_COPYING = 10,
    PS_REPORTING = 11,
};

// One enumeration for errors and warnings: the list a code arrives in says which it is.
enum enErrorStatus : int {
    ERR_UNKNOWN = 0,
    ERR_FIXER = 1,
    ERR_LASER = 2,
    ERR_NO_SCANNER = 3,
    ERR_BREAKDOWN = 4,
    ERR_HIGH_TEMPERATURE = 5,
    ERR_FRONT_COVER_OPEN = 6,
    ERR_CARTRIDGE_UNSUPPORTED = 7,
    ERR_CARTRIDGE_MISMATCH = 8,
    ERR_CARTRIDGE_INVALID = 9,
    ERR_CARTRIDGE = 10,
    ERR_TONER_LOW = 11,
    ERR_TONER_EMPTY_CONTINUE = 12,
    ERR_TONER_EMPTY_REPLACE = 13,
    ERR_TONER_RUNNING_OUT = 14,
    ERR_CARTRIDGE_LIFE_NEAR_END = 15,
    ERR_CARTRIDGE_LIFE_END = 16,
    ERR_NO_CARTRIDGE = 17,
    ERR_WASTE_TONER_NEAR_FULL = 18,
    ERR_WASTE_TONER_FULL = 19,
    ERR_CARTRIDGE_PAGES_NEAR_LIMIT = 20,
    ERR_CARTRIDGE_PAGES_LIMIT = 21,
    ERR_PRINTER_LIFE_NEAR_END = 22,
    ERR_PRINTER_LIFE_END = 23,
    ERR_MEMORY_OVERFLOW = 24,
    ERR_COOLING = 25,
    ERR_ADF_JAM = 26,
    ERR_ADF_NO_PAPER = 27,
    ERR_ADF_FEED = 28,
    ERR_INVALID_SETTING = 29,
    ERR_TRAY_EMPTY = 30,
    ERR_MANUAL_FEED_EMPTY = 31,
    ERR_MANUAL_FEED_STOP = 32,
    ERR_TRAY_MISMATCH = 33,
    ERR_JAM_INSIDE = 34,
    ERR_JAM_TRAY = 35,
    ERR_JAM_REAR = 36,
    ERR_PAPER_SIZE_MISMATCH = 37,
    ERR_INITIAL_SETUP = 38,
    ERR_FLATBED_SCAN = 39,
    ERR_ADF_SCAN_NO_PAPER = 40,
    ERR_FILE_SIZE_LIMIT = 41,
    ERR_BREAKDOWN_2 = 42,
    ERR_IP_SETTINGS = 43,
    ERR_IP_CONFLICT = 44,
};

// Cartridges come in one type only so far.
enum enTonerType : int {
    TONER_STANDARD = 0,
};

enPrinterStatus GetPrinterStatusEnum(unsigned long ulStatusCode);
enErrorStatus GetErrorStatusEnum(unsigned long ulErrorCode);
enTonerType GetTonerTypeEnum(unsigned long ulSupplyType);
