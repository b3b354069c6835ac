// The backend's options: what a front-end may set, and the scan parameters and frame geometry
// that follow from them.
#include "VornSaneOptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

stVornCapabilities Caps(bool color = true, bool adf = false)
{
    stVornCapabilities caps;
    caps.bColor = color;
    caps.bAdf = adf;
    caps.listDpi = VornDpiBetween(75, 1200);
    caps.uMaxWidthMils = 8500;
    caps.uMaxHeightMils = 11690;
    return caps;
}

SANE_Status Set(VornSaneOptions& options, SANE_Int option, SANE_Word value, SANE_Int* info = nullptr)
{
    return options.Control(option, SANE_ACTION_SET_VALUE, &value, info);
}

SANE_Status SetText(VornSaneOptions& options, SANE_Int option, const char* value)
{
    char buffer[64] = {};
    strncpy(buffer, value, sizeof buffer - 1);
    return options.Control(option, SANE_ACTION_SET_VALUE, buffer, nullptr);
}

void SetArea(VornSaneOptions& options, double tlx, double tly, double brx, double bry)
{
    ASSERT_EQ(Set(options, OPT_TL_X, SANE_FIX(tlx)), SANE_STATUS_GOOD);
    ASSERT_EQ(Set(options, OPT_TL_Y, SANE_FIX(tly)), SANE_STATUS_GOOD);
    ASSERT_EQ(Set(options, OPT_BR_X, SANE_FIX(brx)), SANE_STATUS_GOOD);
    ASSERT_EQ(Set(options, OPT_BR_Y, SANE_FIX(bry)), SANE_STATUS_GOOD);
}

} // namespace

TEST(SaneOptions, FrameAndScanParametersFollowModeResolutionAndArea)
{
    struct {
        const char* mode;
        SANE_Word dpi;
        double tlx, tly, brx, bry;
        SANE_Frame format;
        SANE_Int depth, pixels, bytesPerLine, lines;
        uint8_t bitDepth;
        uint32_t width, height, xStart, yStart;
    } cases[] = {
        {"Color", 300, 0, 0, 25.4, 12.7, SANE_FRAME_RGB, 8, 300, 900, 150, 24, 1000, 500, 0, 0},
        {"Gray", 300, 0, 0, 25.4, 12.7, SANE_FRAME_GRAY, 8, 300, 300, 150, 8, 1000, 500, 0, 0},
        // Lineart lines end on a whole byte.
        {"Lineart", 75, 0, 0, 25.4, 25.4, SANE_FRAME_GRAY, 1, 75, 10, 75, 1, 1000, 1000, 0, 0},
        // Corners given the wrong way round still mean the area between them.
        {"Gray", 100, 50.8, 25.4, 25.4, 76.2, SANE_FRAME_GRAY, 8, 100, 100, 200, 8, 1000, 2000, 1000, 1000},

        // A4 at 600 dpi, the benchmark page, on a glass 11.69 inches long: the height is cut to it.
        {"Color", 600, 0, 0, 210, 297, SANE_FRAME_RGB, 8, 4960, 14880, 7014, 24, 8268, 11690, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.dpi));
        VornSaneOptions options(Caps());
        ASSERT_EQ(SetText(options, OPT_MODE, c.mode), SANE_STATUS_GOOD);
        ASSERT_EQ(Set(options, OPT_RESOLUTION, c.dpi), SANE_STATUS_GOOD);
        SetArea(options, c.tlx, c.tly, c.brx, c.bry);
        const stVornFrame frame = options.RawFrame();
        EXPECT_EQ(frame.enFormat, c.format);
        EXPECT_EQ(frame.iDepth, c.depth);
        EXPECT_EQ(frame.iPixelsPerLine, c.pixels);
        EXPECT_EQ(frame.iBytesPerLine, c.bytesPerLine);
        EXPECT_EQ(frame.iLines, c.lines);
        const SettingInfo info = options.Settings();
        EXPECT_EQ(info.bitDepth, c.bitDepth);
        EXPECT_EQ(info.compType, COMPRESSION_NONE);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.xStart, c.xStart);
        EXPECT_EQ(info.yStart, c.yStart);
        EXPECT_EQ(info.xResolution, c.dpi);
        EXPECT_EQ(info.yResolution, c.dpi);
        EXPECT_EQ(info.feederEnabled, 0);
    }
}

TEST(SaneOptions, ValuesOutsideTheConstraintsAreRefusedOrAdjusted)
{
    VornSaneOptions options(Caps(false, false));
    SANE_Int info = 0;
    // A typed resolution becomes the nearest offered one, and the front-end is told.
    SANE_Word dpi = 280;
    ASSERT_EQ(options.Control(OPT_RESOLUTION, SANE_ACTION_SET_VALUE, &dpi, &info), SANE_STATUS_GOOD);
    EXPECT_EQ(dpi, 300);
    EXPECT_EQ(options.Dpi(), 300);
    EXPECT_TRUE(info & SANE_INFO_INEXACT);
    // An area beyond the glass is cut to it.
    ASSERT_EQ(Set(options, OPT_BR_X, SANE_FIX(400.0), &info), SANE_STATUS_GOOD);
    EXPECT_TRUE(info & SANE_INFO_INEXACT);
    EXPECT_EQ(options.Settings().width, 8500u);

    EXPECT_EQ(SetText(options, OPT_MODE, "Halftone"), SANE_STATUS_INVAL);
    // No colour and no feeder on this scanner.
    EXPECT_EQ(SetText(options, OPT_MODE, "Color"), SANE_STATUS_INVAL);
    EXPECT_EQ(SetText(options, OPT_SOURCE, "ADF"), SANE_STATUS_INVAL);
    EXPECT_EQ(SetText(options, OPT_MODE, "gray"), SANE_STATUS_GOOD);
    EXPECT_EQ(Set(options, OPT_MODE_GROUP, 0), SANE_STATUS_INVAL);
    EXPECT_EQ(Set(options, OPT_COUNT, 0), SANE_STATUS_INVAL);
    SANE_Word count = 0;
    EXPECT_EQ(options.Control(OPT_NUM_OPTS, SANE_ACTION_SET_VALUE, &count, nullptr), SANE_STATUS_INVAL);
    ASSERT_EQ(options.Control(OPT_NUM_OPTS, SANE_ACTION_GET_VALUE, &count, nullptr), SANE_STATUS_GOOD);
    EXPECT_EQ(count, OPT_COUNT);
}

TEST(SaneOptions, FeederIsOfferedOnlyWhereThereIsOneAndAsksForAMultiPageJob)
{
    VornSaneOptions options(Caps(true, true));
    const SANE_String_Const* sources = options.Descriptor(OPT_SOURCE)->constraint.string_list;
    EXPECT_STREQ(sources[0], "Flatbed");
    EXPECT_STREQ(sources[1], "ADF");
    EXPECT_EQ(sources[2], nullptr);
    ASSERT_EQ(SetText(options, OPT_SOURCE, "ADF"), SANE_STATUS_GOOD);
    EXPECT_TRUE(options.IsAdf());
    EXPECT_EQ(options.Settings().feederEnabled, 1);
    EXPECT_EQ(options.Settings().isClient, 1);
    char value[16] = {};
    ASSERT_EQ(options.Control(OPT_SOURCE, SANE_ACTION_GET_VALUE, value, nullptr), SANE_STATUS_GOOD);
    EXPECT_STREQ(value, "ADF");
}

TEST(SaneOptions, ResolutionsAreTheStandardOnesInTheScannersRange)
{
    EXPECT_EQ(VornDpiBetween(75, 600), (std::vector<SANE_Int> {75, 100, 150, 200, 300, 600}));
    EXPECT_EQ(VornDpiBetween(150, 150), (std::vector<SANE_Int> {150}));
    // A scanner that reports no range still offers one resolution.
    EXPECT_EQ(VornDpiBetween(0, 0), (std::vector<SANE_Int> {300}));
    VornSaneOptions options(Caps());
    const SANE_Word* words = options.Descriptor(OPT_RESOLUTION)->constraint.word_list;
    EXPECT_EQ(words[0], 7);
    EXPECT_EQ(options.Dpi(), 300);
}
