// JPEG pages decoded into frames; the pages are made here with libjpeg.
#include "TestJpeg.h"
#include "VornJpegPage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;

std::string WriteJpeg(const char* name, bool color, unsigned char value)
{
    const std::string path = testing::TempDir() + name;
    const std::vector<unsigned char> jpeg = MakeTestJpeg(kWidth, kHeight, color, value);
    FILE* file = fopen(path.c_str(), "wb");
    fwrite(jpeg.data(), 1, jpeg.size(), file);
    fclose(file);
    return path;
}

bool DecodeFile(const std::string& path, bool color, std::vector<unsigned char>& samples, stVornFrame& frame)
{
    const int fd = open(path.c_str(), O_RDONLY);
    const bool decoded = VornDecodeJpegPage(fd, color, samples, frame);
    close(fd);
    return decoded;
}

} // namespace

TEST(SaneJpegPage, GeometryComesFromTheImageInTheFormatAskedFor)
{
    struct {
        bool colorPage, colorFrame;
        SANE_Frame format;
        int components;
    } cases[] = {
        {true, true, SANE_FRAME_RGB, 3},
        {false, false, SANE_FRAME_GRAY, 1},
        // A grey front-end frame from a colour page, and the other way round.
        {true, false, SANE_FRAME_GRAY, 1},
        {false, true, SANE_FRAME_RGB, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.colorPage) + std::to_string(c.colorFrame));
        std::vector<unsigned char> samples;
        stVornFrame frame;
        ASSERT_TRUE(DecodeFile(WriteJpeg("page.jpg", c.colorPage, 200), c.colorFrame, samples, frame));
        EXPECT_EQ(frame.enFormat, c.format);
        EXPECT_EQ(frame.iDepth, 8);
        EXPECT_EQ(frame.iPixelsPerLine, kWidth);
        EXPECT_EQ(frame.iBytesPerLine, kWidth * c.components);
        EXPECT_EQ(frame.iLines, kHeight);
        ASSERT_EQ(samples.size(), static_cast<size_t>(frame.Bytes()));
        for (unsigned char sample : samples)
            ASSERT_NEAR(sample, 200, 2);
    }
}

TEST(SaneJpegPage, WhatIsNoJpegIsRefusedWithoutEndingTheProcess)
{
    const std::string path = testing::TempDir() + "not.jpg";
    for (const std::string& content : {std::string(), std::string("RAW PAGE BYTES, NOT A JPEG"),
                                       std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10)}) {
        FILE* file = fopen(path.c_str(), "wb");
        fwrite(content.data(), 1, content.size(), file);
        fclose(file);
        std::vector<unsigned char> samples;
        stVornFrame frame;
        EXPECT_FALSE(DecodeFile(path, true, samples, frame)) << content;
    }
}
