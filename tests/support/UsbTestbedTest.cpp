// The USB harness as its users meet it: libusb enumeration, descriptors and transfers, raw usbfs
// ioctls on the device node, claims, time-outs and unplugging.
#include "UsbPreload.h"
#include "UsbTestbed.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

constexpr uint16_t c_wVendor = 0x3C7A;
constexpr uint16_t c_wProduct = 0x1001;
constexpr uint8_t c_byClassIn = 0xA1;
constexpr uint8_t c_byStatusRequest = 0x33;
constexpr uint8_t c_byBulkOut = 0x01;
constexpr uint8_t c_byBulkIn = 0x82;

stUsbDeviceDescription PrinterLike(const std::string& strSerial)
{
    stUsbDeviceDescription description;
    description.wVendorId = c_wVendor;
    description.wProductId = c_wProduct;
    description.strManufacturer = "Vorn";
    description.strProduct = "Test device";
    description.strSerialNumber = strSerial;
    stUsbInterfaceDescription iface;
    iface.byNumber = 0;
    iface.byClass = 7;
    iface.bySubClass = 1;
    iface.byProtocol = 2;
    iface.listEndpoint = {{c_byBulkOut, enUsbTransferType::Bulk, 512}, {c_byBulkIn, enUsbTransferType::Bulk, 512}};
    description.listInterface = {iface};
    return description;
}

// Answers the class request with a fixed record and echoes every bulk OUT back on bulk IN.
class EchoDevice : public UsbSimDevice {
public:
    using UsbSimDevice::UsbSimDevice;
    std::vector<uint8_t> vecRecord{0x10, 0x20, 0x30};

    int HandleControl(const stUsbControlSetup& setup, std::vector<uint8_t>& vecData) override
    {
        if (setup.bmRequestType != c_byClassIn || setup.bRequest != c_byStatusRequest)
            return c_iStall;
        vecData = vecRecord;
        return int(vecData.size());
    }
    int HandleBulkOut(uint8_t, const std::vector<uint8_t>& vecData) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queueEcho.push_back(vecData);
        return int(vecData.size());
    }
    int HandleBulkIn(uint8_t, std::vector<uint8_t>& vecData, size_t) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queueEcho.empty())
            return c_iNoDataYet;
        vecData = m_queueEcho.front();
        m_queueEcho.pop_front();
        return int(vecData.size());
    }

private:
    std::mutex m_mutex;  // guards m_queueEcho
    std::deque<std::vector<uint8_t>> m_queueEcho;
};

class UsbTestbedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        ASSERT_EQ(libusb_init(&m_pContext), 0);
    }
    void TearDown() override
    {
        if (m_pContext)
            libusb_exit(m_pContext);
    }

    // Opens the device with that serial through a fresh enumeration, as the suite's code does.
    libusb_device_handle* OpenBySerial(const std::string& strSerial)
    {
        libusb_device** ppList = nullptr;
        const ssize_t iCount = libusb_get_device_list(m_pContext, &ppList);
        libusb_device_handle* pFound = nullptr;
        for (ssize_t i = 0; i < iCount && !pFound; ++i) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(ppList[i], &descriptor) != 0 || descriptor.idVendor != c_wVendor)
                continue;
            libusb_device_handle* pHandle = nullptr;
            if (libusb_open(ppList[i], &pHandle) != 0)
                continue;
            unsigned char szSerial[64] = {};
            const int iLen = libusb_get_string_descriptor_ascii(pHandle, descriptor.iSerialNumber, szSerial, sizeof(szSerial));
            if (iLen > 0 && strSerial == reinterpret_cast<char*>(szSerial))
                pFound = pHandle;
            else
                libusb_close(pHandle);
        }
        if (iCount >= 0)
            libusb_free_device_list(ppList, 1);
        return pFound;
    }

    int CountDevices()
    {
        libusb_context* pContext = nullptr;
        libusb_init(&pContext);
        libusb_device** ppList = nullptr;
        const ssize_t iCount = libusb_get_device_list(pContext, &ppList);
        if (iCount >= 0)
            libusb_free_device_list(ppList, 1);
        libusb_exit(pContext);
        return int(iCount);
    }

    UsbTestbed m_testbed;
    libusb_context* m_pContext = nullptr;
};

TEST_F(UsbTestbedTest, PrinterIsEnumeratedWithDescriptorsAndSerial)
{
    m_testbed.AddDevice(std::make_shared<EchoDevice>(PrinterLike("SN0042")));
    libusb_device_handle* pHandle = OpenBySerial("SN0042");
    ASSERT_NE(pHandle, nullptr);
    libusb_device_descriptor descriptor{};
    ASSERT_EQ(libusb_get_device_descriptor(libusb_get_device(pHandle), &descriptor), 0);
    EXPECT_EQ(descriptor.idProduct, c_wProduct);
    libusb_config_descriptor* pConfig = nullptr;
    ASSERT_EQ(libusb_get_config_descriptor(libusb_get_device(pHandle), 0, &pConfig), 0);
    ASSERT_EQ(pConfig->bNumInterfaces, 1);
    const libusb_interface_descriptor& iface = pConfig->interface[0].altsetting[0];
    EXPECT_EQ(iface.bInterfaceClass, 7);
    ASSERT_EQ(iface.bNumEndpoints, 2);
    EXPECT_EQ(iface.endpoint[0].bEndpointAddress, c_byBulkOut);
    EXPECT_EQ(iface.endpoint[1].bEndpointAddress, c_byBulkIn);
    EXPECT_EQ(iface.endpoint[1].bmAttributes & 3, LIBUSB_TRANSFER_TYPE_BULK);
    libusb_free_config_descriptor(pConfig);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, ClassRequestOnInterfaceZeroGetsTheDeviceReply)
{
    m_testbed.AddDevice(std::make_shared<EchoDevice>(PrinterLike("SN1")));
    libusb_device_handle* pHandle = OpenBySerial("SN1");
    ASSERT_NE(pHandle, nullptr);
    EXPECT_EQ(libusb_kernel_driver_active(pHandle, 0), 0);
    ASSERT_EQ(libusb_claim_interface(pHandle, 0), 0);
    unsigned char buf[1024] = {};
    EXPECT_EQ(libusb_control_transfer(pHandle, c_byClassIn, c_byStatusRequest, 0, 0, buf, sizeof(buf), 2000), 3);
    EXPECT_EQ(buf[0], 0x10);
    EXPECT_EQ(buf[2], 0x30);
    // A request the device does not know is a stall.
    EXPECT_EQ(libusb_control_transfer(pHandle, c_byClassIn, 0x7F, 0, 0, buf, sizeof(buf), 2000), LIBUSB_ERROR_PIPE);
    libusb_release_interface(pHandle, 0);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, ReplyLongerThanTheRequestIsCutToWLength)
{
    auto device = std::make_shared<EchoDevice>(PrinterLike("SN1"));
    device->vecRecord.assign(1500, 0xAB);
    m_testbed.AddDevice(device);
    libusb_device_handle* pHandle = OpenBySerial("SN1");
    ASSERT_NE(pHandle, nullptr);
    std::vector<unsigned char> buf(1100, 0);
    EXPECT_EQ(libusb_control_transfer(pHandle, c_byClassIn, c_byStatusRequest, 0, 0, buf.data(), 1024, 2000), 1024);
    EXPECT_EQ(buf[1023], 0xAB);
    EXPECT_EQ(buf[1024], 0);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, TwoDevicesOfOneModelAreToldApartBySerial)
{
    auto first = std::make_shared<EchoDevice>(PrinterLike("AAA"));
    auto second = std::make_shared<EchoDevice>(PrinterLike("BBB"));
    second->vecRecord = {0x77};
    m_testbed.AddDevice(first);
    m_testbed.AddDevice(second);
    libusb_device_handle* pHandle = OpenBySerial("BBB");
    ASSERT_NE(pHandle, nullptr);
    unsigned char buf[16] = {};
    EXPECT_EQ(libusb_control_transfer(pHandle, c_byClassIn, c_byStatusRequest, 0, 0, buf, sizeof(buf), 2000), 1);
    EXPECT_EQ(buf[0], 0x77);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, BulkOutThenInRoundTripsAndEmptyInTimesOut)
{
    m_testbed.AddDevice(std::make_shared<EchoDevice>(PrinterLike("SN1")));
    libusb_device_handle* pHandle = OpenBySerial("SN1");
    ASSERT_NE(pHandle, nullptr);
    ASSERT_EQ(libusb_claim_interface(pHandle, 0), 0);
    unsigned char request[] = {0xA5, 0x00, 0x03, 0x50, 0xE0, 0xB2};
    int iDone = 0;
    ASSERT_EQ(libusb_bulk_transfer(pHandle, c_byBulkOut, request, sizeof(request), &iDone, 3000), 0);
    EXPECT_EQ(iDone, int(sizeof(request)));
    unsigned char reply[1024] = {};
    ASSERT_EQ(libusb_bulk_transfer(pHandle, c_byBulkIn, reply, sizeof(reply), &iDone, 3000), 0);
    EXPECT_EQ(iDone, int(sizeof(request)));
    EXPECT_EQ(std::memcmp(reply, request, sizeof(request)), 0);
    EXPECT_EQ(libusb_bulk_transfer(pHandle, c_byBulkIn, reply, sizeof(reply), &iDone, 100), LIBUSB_ERROR_TIMEOUT);
    libusb_release_interface(pHandle, 0);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, SecondHandleCannotClaimAClaimedInterface)
{
    m_testbed.AddDevice(std::make_shared<EchoDevice>(PrinterLike("SN1")));
    libusb_device_handle* pFirst = OpenBySerial("SN1");
    libusb_device_handle* pSecond = OpenBySerial("SN1");
    ASSERT_NE(pFirst, nullptr);
    ASSERT_NE(pSecond, nullptr);
    ASSERT_EQ(libusb_claim_interface(pFirst, 0), 0);
    EXPECT_EQ(libusb_claim_interface(pSecond, 0), LIBUSB_ERROR_BUSY);
    // Each handle reaps its own transfers while both are open.
    unsigned char buf[16] = {};
    EXPECT_EQ(libusb_control_transfer(pSecond, c_byClassIn, c_byStatusRequest, 0, 0, buf, sizeof(buf), 2000), 3);
    EXPECT_EQ(libusb_control_transfer(pFirst, c_byClassIn, c_byStatusRequest, 0, 0, buf, sizeof(buf), 2000), 3);
    libusb_release_interface(pFirst, 0);
    EXPECT_EQ(libusb_claim_interface(pSecond, 0), 0);
    libusb_release_interface(pSecond, 0);
    libusb_close(pFirst);
    libusb_close(pSecond);
}

// Held by a program outside the test, as a CUPS backend holds a printer while it prints.
class HeldDevice : public EchoDevice {
public:
    using EchoDevice::EchoDevice;
    std::atomic<bool> bHeld{true};
    int HandleClaimInterface(unsigned) override { return bHeld ? -EBUSY : 0; }
};

TEST_F(UsbTestbedTest, DeviceCanRefuseClaimsWhileHeldElsewhere)
{
    auto device = std::make_shared<HeldDevice>(PrinterLike("SN1"));
    m_testbed.AddDevice(device);
    libusb_device_handle* pHandle = OpenBySerial("SN1");
    ASSERT_NE(pHandle, nullptr);
    EXPECT_EQ(libusb_claim_interface(pHandle, 0), LIBUSB_ERROR_BUSY);
    device->bHeld = false;
    EXPECT_EQ(libusb_claim_interface(pHandle, 0), 0);
    libusb_release_interface(pHandle, 0);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, BoundKernelDriverBlocksClaimUntilDetached)
{
    stUsbDeviceDescription description = PrinterLike("SN1");
    description.listInterface[0].bKernelDriverBound = true;
    m_testbed.AddDevice(std::make_shared<EchoDevice>(description));
    libusb_device_handle* pHandle = OpenBySerial("SN1");
    ASSERT_NE(pHandle, nullptr);
    EXPECT_EQ(libusb_kernel_driver_active(pHandle, 0), 1);
    EXPECT_EQ(libusb_claim_interface(pHandle, 0), LIBUSB_ERROR_BUSY);
    EXPECT_EQ(libusb_detach_kernel_driver(pHandle, 0), 0);
    EXPECT_EQ(libusb_kernel_driver_active(pHandle, 0), 0);
    EXPECT_EQ(libusb_claim_interface(pHandle, 0), 0);
    libusb_release_interface(pHandle, 0);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, UnpluggedDeviceLeavesTheBusAndCanComeBack)
{
    const int iBefore = CountDevices();
    auto device = std::make_shared<EchoDevice>(PrinterLike("SN1"));
    const std::string strNode = m_testbed.AddDevice(device);
    ASSERT_FALSE(strNode.empty());
    EXPECT_EQ(CountDevices(), iBefore + 1);
    m_testbed.RemoveDevice(strNode);
    EXPECT_EQ(CountDevices(), iBefore);
    EXPECT_NE(access(strNode.c_str(), F_OK), 0);
    const std::string strAgain = m_testbed.AddDevice(device);
    EXPECT_NE(strAgain, strNode);
    libusb_device_handle* pHandle = OpenBySerial("SN1");
    ASSERT_NE(pHandle, nullptr);
    libusb_close(pHandle);
}

TEST_F(UsbTestbedTest, RawUsbfsUserReadsDescriptorsAndTransfersOnTheNode)
{
    const std::string strNode = m_testbed.AddDevice(std::make_shared<EchoDevice>(PrinterLike("SN1")));
    const int fd = open(strNode.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    unsigned char descriptor[18] = {};
    ASSERT_EQ(read(fd, descriptor, sizeof(descriptor)), 18);
    EXPECT_EQ(descriptor[1], 1);  // device descriptor
    EXPECT_EQ(descriptor[8] | (descriptor[9] << 8), c_wVendor);

    unsigned char status[64] = {};
    usbdevfs_ctrltransfer control{c_byClassIn, c_byStatusRequest, 0, 0, sizeof(status), 1000, status};
    EXPECT_EQ(ioctl(fd, USBDEVFS_CONTROL, &control), 3);
    EXPECT_EQ(status[1], 0x20);

    unsigned char out[] = {1, 2, 3, 4};
    usbdevfs_bulktransfer bulkOut{c_byBulkOut, sizeof(out), 1000, out};
    EXPECT_EQ(ioctl(fd, USBDEVFS_BULK, &bulkOut), 4);
    unsigned char in[512] = {};
    usbdevfs_bulktransfer bulkIn{c_byBulkIn, sizeof(in), 1000, in};
    EXPECT_EQ(ioctl(fd, USBDEVFS_BULK, &bulkIn), 4);
    EXPECT_EQ(in[3], 4);
    errno = 0;
    EXPECT_EQ(ioctl(fd, USBDEVFS_BULK, &bulkIn), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    close(fd);
}

TEST_F(UsbTestbedTest, ChildProcessSeesTheSimulatedDevice)
{
    m_testbed.AddDevice(std::make_shared<EchoDevice>(PrinterLike("SN1")));
    // libusb's event thread may hold its locks at the fork; a child must not inherit a context.
    libusb_exit(m_pContext);
    m_pContext = nullptr;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        libusb_context* pContext = nullptr;
        if (libusb_init(&pContext) != 0)
            _exit(2);
        libusb_device_handle* pHandle = libusb_open_device_with_vid_pid(pContext, c_wVendor, c_wProduct);
        unsigned char buf[16] = {};
        const int iResult = pHandle ? libusb_control_transfer(pHandle, c_byClassIn, c_byStatusRequest, 0, 0, buf, sizeof(buf), 2000) : -1;
        _exit(iResult == 3 && buf[0] == 0x10 ? 0 : 1);
    }
    int iStatus = 0;
    ASSERT_EQ(waitpid(pid, &iStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(iStatus));
    EXPECT_EQ(WEXITSTATUS(iStatus), 0);
}

} // namespace
