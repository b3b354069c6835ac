// Option descriptors and values of one open scanner.
#include "VornSaneOptions.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kBitDepthLineart = 1;
constexpr uint8_t kBitDepthGray = 8;
constexpr uint8_t kBitDepthColor = 24;
constexpr int kMilsPerInch = 1000;
// Multi-page feeder jobs let the scanner keep feeding until it runs out of paper.
constexpr uint8_t kFeederMultiPage = 1;

SANE_Option_Descriptor Group(const char* title)
{
    SANE_Option_Descriptor group {};
    group.name = "";
    group.title = title;
    group.desc = "";
    group.type = SANE_TYPE_GROUP;
    group.cap = SANE_CAP_ADVANCED;
    return group;
}

SANE_Option_Descriptor Settable(const char* name, const char* title, const char* desc, SANE_Value_Type type,
                                SANE_Unit unit, SANE_Int size)
{
    SANE_Option_Descriptor option {};
    option.name = name;
    option.title = title;
    option.desc = desc;
    option.type = type;
    option.unit = unit;
    option.size = size;
    option.cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
    return option;
}

SANE_Fixed MmFromMils(uint32_t mils)
{
    return SANE_FIX(mils * kVornMmPerInch / kMilsPerInch);
}

size_t LongestString(const std::vector<const char*>& list)
{
    size_t longest = 0;
    for (const char* text : list) {
        if (text != nullptr)
            longest = std::max(longest, strlen(text) + 1);
    }
    return longest;
}

} // namespace

std::vector<SANE_Int> VornDpiBetween(SANE_Int minDpi, SANE_Int maxDpi)
{
    std::vector<SANE_Int> list;
    for (SANE_Int dpi : kVornStandardDpi) {
        if (dpi >= minDpi && dpi <= maxDpi)
            list.push_back(dpi);
    }
    if (list.empty())
        list.push_back(kVornDefaultDpi);
    return list;
}

VornSaneOptions::VornSaneOptions(const stVornCapabilities& caps)
{
    m_listModes = {SANE_VALUE_SCAN_MODE_LINEART, SANE_VALUE_SCAN_MODE_GRAY};
    if (caps.bColor)
        m_listModes.push_back(SANE_VALUE_SCAN_MODE_COLOR);
    m_listModes.push_back(nullptr);
    m_iMode = caps.bColor ? 2 : 1;
    m_listSources = {kVornSourceFlatbed};
    if (caps.bAdf)
        m_listSources.push_back(kVornSourceAdf);
    m_listSources.push_back(nullptr);

    const std::vector<SANE_Int> dpis = caps.listDpi.empty() ? VornDpiBetween(0, 0) : caps.listDpi;
    m_listDpiWords.push_back(static_cast<SANE_Word>(dpis.size()));
    m_listDpiWords.insert(m_listDpiWords.end(), dpis.begin(), dpis.end());
    m_iDpi = std::find(dpis.begin(), dpis.end(), kVornDefaultDpi) != dpis.end() ? kVornDefaultDpi : dpis.front();

    m_stXRange = {0, MmFromMils(caps.uMaxWidthMils), 0};
    m_stYRange = {0, MmFromMils(caps.uMaxHeightMils), 0};
    m_listArea = {0, 0, m_stXRange.max, m_stYRange.max};

    SANE_Option_Descriptor& count = m_listDescriptors[OPT_NUM_OPTS];
    count.name = SANE_NAME_NUM_OPTIONS;
    count.title = SANE_TITLE_NUM_OPTIONS;
    count.desc = SANE_DESC_NUM_OPTIONS;
    count.type = SANE_TYPE_INT;
    count.size = sizeof(SANE_Word);
    count.cap = SANE_CAP_SOFT_DETECT;

    m_listDescriptors[OPT_MODE_GROUP] = Group("Scan Mode");
    SANE_Option_Descriptor& mode = m_listDescriptors[OPT_MODE] =
        Settable(SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE, SANE_DESC_SCAN_MODE, SANE_TYPE_STRING, SANE_UNIT_NONE,
                 static_cast<SANE_Int>(LongestString(m_listModes)));
    mode.constraint_type = SANE_CONSTRAINT_STRING_LIST;
    mode.constraint.string_list = m_listModes.data();

    SANE_Option_Descriptor& resolution = m_listDescriptors[OPT_RESOLUTION] =
        Settable(SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION, SANE_DESC_SCAN_RESOLUTION, SANE_TYPE_INT,
                 SANE_UNIT_DPI, sizeof(SANE_Word));
    resolution.constraint_type = SANE_CONSTRAINT_WORD_LIST;
    resolution.constraint.word_list = m_listDpiWords.data();

    SANE_Option_Descriptor& source = m_listDescriptors[OPT_SOURCE] =
        Settable(SANE_NAME_SCAN_SOURCE, SANE_TITLE_SCAN_SOURCE, SANE_DESC_SCAN_SOURCE, SANE_TYPE_STRING,
                 SANE_UNIT_NONE, static_cast<SANE_Int>(LongestString(m_listSources)));
    source.constraint_type = SANE_CONSTRAINT_STRING_LIST;
    source.constraint.string_list = m_listSources.data();

    m_listDescriptors[OPT_GEOMETRY_GROUP] = Group("Geometry");
    const struct {
        enVornOption option;
        const char *name, *title, *desc;
        const SANE_Range* range;
    } area[] = {
        {OPT_TL_X, SANE_NAME_SCAN_TL_X, SANE_TITLE_SCAN_TL_X, SANE_DESC_SCAN_TL_X, &m_stXRange},
        {OPT_TL_Y, SANE_NAME_SCAN_TL_Y, SANE_TITLE_SCAN_TL_Y, SANE_DESC_SCAN_TL_Y, &m_stYRange},
        {OPT_BR_X, SANE_NAME_SCAN_BR_X, SANE_TITLE_SCAN_BR_X, SANE_DESC_SCAN_BR_X, &m_stXRange},
        {OPT_BR_Y, SANE_NAME_SCAN_BR_Y, SANE_TITLE_SCAN_BR_Y, SANE_DESC_SCAN_BR_Y, &m_stYRange},
    };
    for (const auto& entry : area) {
        SANE_Option_Descriptor& option = m_listDescriptors[entry.option] =
            Settable(entry.name, entry.title, entry.desc, SANE_TYPE_FIXED, SANE_UNIT_MM, sizeof(SANE_Word));
        option.constraint_type = SANE_CONSTRAINT_RANGE;
        option.constraint.range = entry.range;
    }
}

const SANE_Option_Descriptor* VornSaneOptions::Descriptor(SANE_Int option) const
{
    if (option < 0 || option >= OPT_COUNT)
        return nullptr;
    return &m_listDescriptors[option];
}

SANE_Status VornSaneOptions::Control(SANE_Int option, SANE_Action action, void* value, SANE_Int* info)
{
    if (info != nullptr)
        *info = 0;
    if (option < 0 || option >= OPT_COUNT || value == nullptr)
        return SANE_STATUS_INVAL;
    const SANE_Option_Descriptor& descriptor = m_listDescriptors[option];
    if (descriptor.type == SANE_TYPE_GROUP)
        return SANE_STATUS_INVAL;
    SANE_Word* word = static_cast<SANE_Word*>(value);
    char* text = static_cast<char*>(value);

    if (action == SANE_ACTION_GET_VALUE) {
        switch (option) {
        case OPT_NUM_OPTS: *word = OPT_COUNT; break;
        case OPT_MODE: strcpy(text, ModeName()); break;
        case OPT_SOURCE: strcpy(text, m_listSources[m_iSource]); break;
        case OPT_RESOLUTION: *word = m_iDpi; break;
        default: *word = m_listArea[option - OPT_TL_X]; break;
        }
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE || !SANE_OPTION_IS_SETTABLE(descriptor.cap))
        return SANE_STATUS_INVAL;

    SANE_Int changed = SANE_INFO_RELOAD_PARAMS;
    if (option == OPT_MODE || option == OPT_SOURCE) {
        const std::vector<const char*>& list = option == OPT_MODE ? m_listModes : m_listSources;
        size_t& chosen = option == OPT_MODE ? m_iMode : m_iSource;
        const auto match = std::find_if(list.begin(), list.end() - 1,
                                        [text](const char* name) { return strcasecmp(name, text) == 0; });
        if (match == list.end() - 1)
            return SANE_STATUS_INVAL;
        chosen = static_cast<size_t>(match - list.begin());
    } else if (option == OPT_RESOLUTION) {
        // The nearest offered resolution, as front-ends that type a number expect.
        SANE_Int nearest = m_listDpiWords[1];
        for (size_t i = 1; i < m_listDpiWords.size(); ++i) {
            if (std::abs(m_listDpiWords[i] - *word) < std::abs(nearest - *word))
                nearest = m_listDpiWords[i];
        }
        if (nearest != *word)
            changed |= SANE_INFO_INEXACT;
        m_iDpi = *word = nearest;
    } else {
        const SANE_Range& range = *descriptor.constraint.range;
        const SANE_Fixed clamped = std::clamp(*word, range.min, range.max);
        if (clamped != *word)
            changed |= SANE_INFO_INEXACT;
        m_listArea[option - OPT_TL_X] = *word = clamped;
    }
    if (info != nullptr)
        *info = changed;
    return SANE_STATUS_GOOD;
}

bool VornSaneOptions::IsAdf() const
{
    return strcmp(m_listSources[m_iSource], kVornSourceAdf) == 0;
}

bool VornSaneOptions::IsLineart() const
{
    return strcmp(ModeName(), SANE_VALUE_SCAN_MODE_LINEART) == 0;
}

bool VornSaneOptions::IsColor() const
{
    return strcmp(ModeName(), SANE_VALUE_SCAN_MODE_COLOR) == 0;
}

uint32_t VornSaneOptions::Mils(SANE_Fixed mm) const
{
    return static_cast<uint32_t>(std::lround(SANE_UNFIX(mm) * kMilsPerInch / kVornMmPerInch));
}

SettingInfo VornSaneOptions::Settings() const
{
    // A front-end may set the corners in any order; the area is what lies between them.
    const SANE_Fixed left = std::min(m_listArea[0], m_listArea[2]);
    const SANE_Fixed top = std::min(m_listArea[1], m_listArea[3]);
    SettingInfo info {};
    info.bitDepth = IsLineart() ? kBitDepthLineart : IsColor() ? kBitDepthColor : kBitDepthGray;
    info.compType = COMPRESSION_NONE;
    info.xStart = Mils(left);
    info.yStart = Mils(top);
    info.width = Mils(std::max(m_listArea[0], m_listArea[2]) - left);
    info.height = Mils(std::max(m_listArea[1], m_listArea[3]) - top);
    info.xResolution = info.yResolution = static_cast<uint16_t>(m_iDpi);
    info.feederEnabled = IsAdf();
    info.isClient = IsAdf() ? kFeederMultiPage : 0;
    return info;
}

stVornFrame VornSaneOptions::RawFrame(SANE_Int dpi) const
{
    const SettingInfo info = Settings();
    if (dpi <= 0)
        dpi = m_iDpi;
    stVornFrame frame;
    frame.iPixelsPerLine = static_cast<SANE_Int>(static_cast<long long>(info.width) * dpi / kMilsPerInch);
    frame.iLines = static_cast<SANE_Int>(static_cast<long long>(info.height) * dpi / kMilsPerInch);
    if (IsLineart()) {
        frame.iDepth = 1;
        frame.iBytesPerLine = (frame.iPixelsPerLine + 7) / 8;
    } else if (IsColor()) {
        frame.enFormat = SANE_FRAME_RGB;
        frame.iBytesPerLine = frame.iPixelsPerLine * 3;
    } else {
        frame.iBytesPerLine = frame.iPixelsPerLine;
    }
    return frame;
}
