// The options a SANE front-end sees for one scanner (mode, resolution, source, scan area) and
// what they mean for the daemon's scan parameters and the frames the backend delivers.
#pragma once

#include "commDef.h"

#include <sane/sane.h>

#include <array>
#include <cstdint>
#include <vector>

// What the backend learnt about one scanner when it was opened.
struct stVornCapabilities {
    bool bColor = true;
    bool bAdf = false;
    // Pages come as JPEG files instead of raw samples.
    bool bJpeg = false;
    std::vector<SANE_Int> listDpi;
    // Largest scan area, in thousandths of an inch (the unit the daemon passes to scanners).
    uint32_t uMaxWidthMils = 0;
    uint32_t uMaxHeightMils = 0;
};

// Geometry of one frame as the front-end receives it.
struct stVornFrame {
    SANE_Frame enFormat = SANE_FRAME_GRAY;
    SANE_Int iDepth = 8;
    SANE_Int iPixelsPerLine = 0;
    SANE_Int iBytesPerLine = 0;
    SANE_Int iLines = 0;

    long long Bytes() const { return static_cast<long long>(iBytesPerLine) * iLines; }
};

enum enVornOption {
    OPT_NUM_OPTS = 0,
    OPT_MODE_GROUP,
    OPT_MODE,
    OPT_RESOLUTION,
    OPT_SOURCE,
    OPT_GEOMETRY_GROUP,
    OPT_TL_X,
    OPT_TL_Y,
    OPT_BR_X,
    OPT_BR_Y,
    OPT_COUNT
};

constexpr const char* kVornSourceFlatbed = "Flatbed";
constexpr const char* kVornSourceAdf = "ADF";
constexpr double kVornMmPerInch = 25.4;
constexpr SANE_Int kVornDefaultDpi = 300;
// Resolutions offered where a scanner supports them.
constexpr std::array<SANE_Int, 7> kVornStandardDpi = {75, 100, 150, 200, 300, 600, 1200};

// The standard resolutions between minDpi and maxDpi (300 dpi alone when none fits).
std::vector<SANE_Int> VornDpiBetween(SANE_Int minDpi, SANE_Int maxDpi);

class VornSaneOptions {
public:
    explicit VornSaneOptions(const stVornCapabilities& caps);
    VornSaneOptions(const VornSaneOptions&) = delete;
    VornSaneOptions& operator=(const VornSaneOptions&) = delete;

    const SANE_Option_Descriptor* Descriptor(SANE_Int option) const;
    SANE_Status Control(SANE_Int option, SANE_Action action, void* value, SANE_Int* info);

    bool IsAdf() const;
    bool IsLineart() const;
    bool IsColor() const;
    SANE_Int Dpi() const { return m_iDpi; }
    // Scan parameters for the daemon; width, height and offsets in thousandths of an inch.
    SettingInfo Settings() const;
    // The frame a raw page of these settings fills, scanned at dpi (0: the chosen resolution).
    stVornFrame RawFrame(SANE_Int dpi = 0) const;

private:
    uint32_t Mils(SANE_Fixed mm) const;
    const char* ModeName() const { return m_listModes[m_iMode]; }

    std::array<SANE_Option_Descriptor, OPT_COUNT> m_listDescriptors {};
    std::vector<const char*> m_listModes;
    std::vector<const char*> m_listSources;
    // A SANE word list: the count first.
    std::vector<SANE_Word> m_listDpiWords;
    SANE_Range m_stXRange {};
    SANE_Range m_stYRange {};

    size_t m_iMode = 0;
    size_t m_iSource = 0;
    SANE_Int m_iDpi = kVornDefaultDpi;
    std::array<SANE_Fixed, 4> m_listArea {};  // tl-x, tl-y, br-x, br-y in mm
};
