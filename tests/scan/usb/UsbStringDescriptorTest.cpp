// String descriptors as the device returns them, turned into the ASCII the client is shown.
#include "usbfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Descriptor(const std::u16string& text)
{
    std::vector<unsigned char> raw = {uint8_t(2 + 2 * text.size()), 3};
    for (char16_t c : text) {
        raw.push_back(uint8_t(c & 0xFF));
        raw.push_back(uint8_t(c >> 8));
    }
    return raw;
}

TEST(UsbStringDescriptor, ConvertsLatinTextAndMarksEverythingElse)
{
    auto raw = Descriptor(u"Vorn \u626B\u63CF SN-1");
    char buf[64];
    EXPECT_EQ(vorn_decode_string_descriptor(raw.data(), int(raw.size()), buf, sizeof buf), 12);
    EXPECT_STREQ(buf, "Vorn ?? SN-1");
}

TEST(UsbStringDescriptor, CutsToTheCallersBufferAndAlwaysTerminates)
{
    auto raw = Descriptor(u"SERIAL0001");
    char buf[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(vorn_decode_string_descriptor(raw.data(), int(raw.size()), buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "SERI");
    EXPECT_EQ(vorn_decode_string_descriptor(raw.data(), int(raw.size()), buf, 0), 0);
}

TEST(UsbStringDescriptor, RefusesMalformedAndTruncatedDescriptors)
{
    char buf[16];
    auto raw = Descriptor(u"ABCD");
    EXPECT_EQ(vorn_decode_string_descriptor(raw.data(), int(raw.size()) - 1, buf, sizeof buf), -27);
    raw[1] = 2;  // a configuration descriptor where a string was asked for
    EXPECT_EQ(vorn_decode_string_descriptor(raw.data(), int(raw.size()), buf, sizeof buf), -5);
    EXPECT_EQ(vorn_decode_string_descriptor(raw.data(), 1, buf, sizeof buf), -5);

    // An odd length leaves half a character, which is dropped rather than read past the end.
    const unsigned char odd[] = {5, 3, 'A', 0, 'B'};
    EXPECT_EQ(vorn_decode_string_descriptor(odd, sizeof odd, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "A");
}

}  // namespace
