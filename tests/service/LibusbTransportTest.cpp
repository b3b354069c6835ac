// The real libusb transport against simulated printers on a private bus: which printer an
// address selects, the requests it sends, and the failures it reports.
#include "LibusbPrinterTransport.h"
#include "ServiceTestDoubles.h"
#include "SimulatedUsbPrinter.h"
#include "TrdGetPrinterStatus.h"

#include <QFile>

#include <gtest/gtest.h>
#include <libusb.h>

namespace {

const QString c_strModelPath = QStringLiteral("Vorn/VL2120DN?serial=");

class LibusbTransport : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        // A real bus is never empty; without another device an unplugged printer would leave
        // an empty device list, which the transport reports differently.
        m_testbed.AddDevice(std::make_shared<UsbSimDevice>(UnrelatedUsbDevice()));
    }

    std::shared_ptr<SimulatedUsbPrinter> Plug(const QString& strSerial, bool bKernelDriverBound = false)
    {
        auto pPrinter = std::make_shared<SimulatedUsbPrinter>(strSerial, bKernelDriverBound);
        m_listNode.push_back(m_testbed.AddDevice(pPrinter));
        return pPrinter;
    }

    int Status(const QString& strPort, QByteArray* pReply = nullptr)
    {
        unsigned char szBuf[1024] = {};
        unsigned int uTransferred = 0;
        const int iResult = m_transport.ControlRequestIn(strPort, 0xA1, 0x33, 0, 0, szBuf, 1024, uTransferred);
        if (pReply)
            *pReply = QByteArray(reinterpret_cast<char*>(szBuf), int(uTransferred));
        return iResult;
    }

    UsbTestbed m_testbed;
    std::vector<std::string> m_listNode;
    LibusbPrinterTransport m_transport;
};

} // namespace

TEST_F(LibusbTransport, StatusRequestReturnsThePrintersReply)
{
    auto pPrinter = Plug("SN0001");
    QByteArray baReply;
    ASSERT_EQ(Status(c_strModelPath + "SN0001", &baReply), 0);
    EXPECT_EQ(baReply, pPrinter->Printer().UsbReply());
    EXPECT_EQ(pPrinter->StatusRequests(), 1);
    EXPECT_EQ(pPrinter->LastStatusLength(), 1024);
}

TEST_F(LibusbTransport, AddressSerialSelectsThePrinterAsCaseInsensitivePrefix)
{
    auto pFirst = Plug("AB12345");
    auto pSecond = Plug("CD12345");
    EXPECT_EQ(Status(c_strModelPath + "cd12"), 0);
    EXPECT_EQ(pSecond->StatusRequests(), 1);
    EXPECT_EQ(pFirst->StatusRequests(), 0);

    // Longer than the device's serial: no match, the printer counts as missing.
    EXPECT_EQ(Status(c_strModelPath + "AB123456"), -5);
    // Without a serial the first printer of the model on the bus answers.
    EXPECT_EQ(Status(QStringLiteral("Vorn/VL2120DN?")), 0);
    EXPECT_EQ(pFirst->StatusRequests() + pSecond->StatusRequests(), 2);
}

TEST_F(LibusbTransport, UnknownModelAndMissingPrinterAreReportedApart)
{
    Plug("SN0001");
    EXPECT_EQ(Status(QStringLiteral("Other/XY999?serial=SN0001")), -1);
    EXPECT_EQ(Status(QStringLiteral("Vorn/VC5100DN?serial=SN0001")), -5);
    m_testbed.RemoveDevice(m_listNode.back());
    EXPECT_EQ(Status(c_strModelPath + "SN0001"), -5);
}

TEST_F(LibusbTransport, KernelDriverIsDetachedBeforeTheRequest)
{
    auto pPrinter = Plug("SN0001", true);
    EXPECT_EQ(Status(c_strModelPath + "SN0001"), 0);
    EXPECT_EQ(pPrinter->StatusRequests(), 1);
}

TEST_F(LibusbTransport, InterfaceHeldByAnotherProgramFailsTheClaim)
{
    auto pPrinter = Plug("SN0001");
    libusb_context* pContext = nullptr;
    ASSERT_EQ(libusb_init(&pContext), 0);
    const stUsbDeviceDescription& description = pPrinter->Description();
    libusb_device_handle* pHandle = libusb_open_device_with_vid_pid(pContext, description.wVendorId,
                                                                    description.wProductId);
    ASSERT_NE(pHandle, nullptr);
    ASSERT_EQ(libusb_claim_interface(pHandle, 0), 0);

    EXPECT_EQ(Status(c_strModelPath + "SN0001"), -6);
    EXPECT_EQ(pPrinter->StatusRequests(), 0);

    libusb_release_interface(pHandle, 0);
    libusb_close(pHandle);
    libusb_exit(pContext);
    EXPECT_EQ(Status(c_strModelPath + "SN0001"), 0);
}

TEST_F(LibusbTransport, WorkerPublishesUsbRecordAndCancelsThroughLibusb)
{
    auto pPrinter = Plug("SN0001");
    stTestEnvironment test;
    test.env.pUsbTransport = std::make_shared<LibusbPrinterTransport>();
    TrdGetPrinterStatus worker(nullptr, test.env);
    stPrinterManager printer;
    printer.stInfo.strName = QStringLiteral("UsbQueue");
    printer.stInfo.iConnectType = CONNECT_USB;
    printer.stInfo.strPort = c_strModelPath + "SN0001";
    printer.bNeedStatus = true;
    SharedPrinterList list;
    list.Replace({printer});
    worker.Init(0, &list);
    worker.SetCurrentPrinter(printer);

    worker.ReadPrinter();
    QFile file(worker.StatusFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(7, '\0') + pPrinter->Printer().UsbReply());
    EXPECT_EQ(worker.CurrentPrinter().stState.enCurrentStatus, PS_READY);

    EXPECT_GE(worker.CancelPrinterJob(printer.stInfo.strPort), 0);
    EXPECT_EQ(pPrinter->CancelRequests(), 1);
    EXPECT_EQ(pPrinter->LastCancelLength(), 1017);

    // Unplugged: off-line at once, its status file gone.
    m_testbed.RemoveDevice(m_listNode.back());
    worker.ReadPrinter();
    EXPECT_FALSE(QFile::exists(worker.StatusFilePath()));
    EXPECT_EQ(worker.CurrentPrinter().stState.enCurrentStatus, PS_OFFLINE);
}
