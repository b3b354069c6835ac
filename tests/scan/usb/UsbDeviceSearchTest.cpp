// The daemon's device search over a usbfs tree. The tree here is a temporary folder of plain files
// holding device descriptors, which is all the search reads from a device node.
#include "UsbLogCapture.h"
#include "usbfs.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

int OpenDescriptorCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

class UsbDeviceSearch : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorn-usbfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_strRoot = pattern;
        m_iOpenBefore = OpenDescriptorCount();
    }
    void TearDown() override
    {
        for (int i = 0; i < m_iKept; ++i)
            close(m_devices[i].fd);
        EXPECT_EQ(OpenDescriptorCount(), m_iOpenBefore) << "a node that was not kept stayed open";
        fs::remove_all(m_strRoot);
    }

    // A device node "root/bus/device" whose descriptor carries the given ids.
    void AddDevice(const std::string& bus, const std::string& device, uint16_t vid, uint16_t pid)
    {
        usb_device_descriptor descriptor{};
        descriptor.bLength = sizeof descriptor;
        descriptor.bDescriptorType = USB_DT_DEVICE;
        descriptor.idVendor = vid;
        descriptor.idProduct = pid;
        fs::create_directories(m_strRoot + "/" + bus);
        std::ofstream(m_strRoot + "/" + bus + "/" + device, std::ios::binary)
            .write(reinterpret_cast<const char*>(&descriptor), sizeof descriptor);
    }

    int Find(int vid, int pid, bool compareWithPID)
    {
        const char* roots[] = {m_strRoot.c_str(), nullptr};
        m_iKept = vorn_find_device(vid, pid, m_devices.get(), compareWithPID, VORN_MAX_USB_DEV, roots);
        return m_iKept;
    }

    std::string m_strRoot;
    int m_iOpenBefore = 0;
    int m_iKept = 0;
    // Exactly the daemon's 64 slots, so a write past them is caught under AddressSanitizer.
    std::unique_ptr<VORN_USB_DEV[]> m_devices{new VORN_USB_DEV[VORN_MAX_USB_DEV]()};
};

TEST_F(UsbDeviceSearch, VendorIdsWithTheHighBitSetMatch)
{
    AddDevice("001", "002", 0x8001, 0x0101);
    AddDevice("001", "003", 0x0001, 0x0101);
    ASSERT_EQ(Find(0x8001, 0, false), 1);
    EXPECT_EQ(m_devices[0].dev_des.idVendor, 0x8001);
    EXPECT_GT(m_devices[0].fd, 2);
}

TEST_F(UsbDeviceSearch, ProductIsComparedOnlyWhenAsked)
{
    AddDevice("001", "002", 0x3A7E, 0x0101);
    AddDevice("001", "005", 0x3A7E, 0xF002);
    AddDevice("002", "002", 0x3A7E, 0x0101);
    AddDevice("002", "003", 0x1234, 0x0101);
    EXPECT_EQ(Find(0x3A7E, 0xF002, true), 1);
    EXPECT_EQ(m_devices[0].dev_des.idProduct, 0xF002);
    for (int i = 0; i < m_iKept; ++i)
        close(m_devices[i].fd);
    EXPECT_EQ(Find(0x3A7E, 0xF002, false), 3);
}

TEST_F(UsbDeviceSearch, NoMatchingDeviceFindsNothingAndClosesEveryNode)
{
    AddDevice("001", "002", 0x1234, 0x0001);
    AddDevice("003", "001", 0x4321, 0x0001);
    EXPECT_EQ(Find(0x3A7E, 0, false), 0);
}

TEST_F(UsbDeviceSearch, MoreThan64MatchesFillTheArrayAndCloseTheRest)
{
    for (int i = 1; i <= 70; ++i)
        AddDevice(i <= 35 ? "001" : "002", std::to_string(100 + i), 0x3A7E, 0x0101);
    UsbLogCapture logs;
    EXPECT_EQ(Find(0x3A7E, 0x0101, true), VORN_MAX_USB_DEV);
    for (int i = 0; i < VORN_MAX_USB_DEV; ++i)
        EXPECT_GT(m_devices[i].fd, 2);
    EXPECT_TRUE(logs.Contains(VornUsbLog::Error, "too many devices"));
}

TEST_F(UsbDeviceSearch, SkipsEntriesThatAreNotBusesOrDevicesAndNodesThatDoNotOpen)
{
    AddDevice("001", "002", 0x3A7E, 0x0101);
    AddDevice("001", "descriptors", 0x3A7E, 0x0101);
    AddDevice("devices", "004", 0x3A7E, 0x0101);
    fs::create_directories(m_strRoot + "/001/007");  // a folder cannot be opened read-write
    std::ofstream(m_strRoot + "/001/009") << "x";     // a descriptor cut short after one byte
    UsbLogCapture logs;
    EXPECT_EQ(Find(0x3A7E, 0x0101, true), 1);
    EXPECT_TRUE(logs.Contains(VornUsbLog::Error, "open usb err:" + m_strRoot + "/001/007"));
}

TEST_F(UsbDeviceSearch, FallsBackToTheSecondTreeAndFailsWithoutAny)
{
    AddDevice("001", "002", 0x3A7E, 0x0101);
    std::string missing = m_strRoot + "/missing";
    const char* roots[] = {missing.c_str(), m_strRoot.c_str(), nullptr};
    UsbLogCapture logs;
    m_iKept = vorn_find_device(0x3A7E, 0x0101, m_devices.get(), true, VORN_MAX_USB_DEV, roots);
    EXPECT_EQ(m_iKept, 1);
    EXPECT_TRUE(logs.Contains(VornUsbLog::Error, "open dir err:" + missing));

    const char* none[] = {missing.c_str(), nullptr};
    EXPECT_EQ(vorn_find_device(0x3A7E, 0x0101, m_devices.get(), true, VORN_MAX_USB_DEV, none), -1);
    EXPECT_TRUE(logs.Contains(VornUsbLog::Error, "find busdir err"));
    EXPECT_EQ(vorn_find_device(0x3A7E, 0x0101, nullptr, true, VORN_MAX_USB_DEV, roots), -1);
    EXPECT_TRUE(logs.Contains(VornUsbLog::Error, "dev_des is NULL"));
}

}  // namespace
