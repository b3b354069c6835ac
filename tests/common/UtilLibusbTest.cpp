// The bulk pipe against simulated printers on a private bus: which printer a URI selects, which
// interfaces are usable, what each failure reports, and how an image is cut into chunks.
#include "UtilLibusb.h"

#include "SimPrinter.h"
#include "UsbSimPrinter.h"
#include "UsbTestbed.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>
#include <libusb.h>

#include <mutex>

namespace {

const QString c_strModel = QStringLiteral("VL2120DN");
const QString c_strUriPrefix = QStringLiteral("Vorn/VL2120DN?serial=");
constexpr int c_iMiB = 1048576;
// The status query: a read of the one item 0x6374.
const std::vector<uint8_t> c_vecStatusQuery = {0xA5, 0x00, 0x0B, 0x50, 0xE0, 0xB2, 0x02,
                                               0x00, 0x00, 0x01, 0x00, 0x01, 0x63, 0x74};

// Collects the event lines of every simulated printer of a test.
class EventLines {
public:
    std::function<void(const QString&)> Sink()
    {
        return [this](const QString& strLine) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_listLine << strLine;
        };
    }
    int Count(const QString& strLine) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_listLine.count(strLine);
    }
    QStringList Lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_listLine;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_listLine;
};

// A printer-shaped device with a configurable interface list that echoes bulk OUT on bulk IN,
// for the interface-selection rules.
class EchoDevice : public UsbSimDevice {
public:
    explicit EchoDevice(std::vector<stUsbInterfaceDescription> listInterface)
        : UsbSimDevice(Describe(std::move(listInterface)))
    {
    }
    int HandleBulkOut(uint8_t, const std::vector<uint8_t>& vecData) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vecLast = vecData;
        return int(vecData.size());
    }
    int HandleBulkIn(uint8_t, std::vector<uint8_t>& vecData, size_t) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_vecLast.empty())
            return c_iNoDataYet;
        vecData.swap(m_vecLast);
        return int(vecData.size());
    }

private:
    static stUsbDeviceDescription Describe(std::vector<stUsbInterfaceDescription> listInterface)
    {
        const stModelEntry* pModel = FindModel(c_strModel);
        stUsbDeviceDescription description;
        description.wVendorId = uint16_t(pModel->iVendorID);
        description.wProductId = uint16_t(pModel->iProductID);
        description.strSerialNumber = "EC0001";
        description.listInterface = std::move(listInterface);
        return description;
    }
    std::mutex m_mutex;
    std::vector<uint8_t> m_vecLast;
};

class UsbBulk : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        m_strUnrelatedNode = m_testbed.AddDevice(std::make_shared<UsbSimDevice>(UnrelatedUsbDevice()));
        const stModelEntry* pModel = FindModel(c_strModel);
        m_iVendorId = pModel->iVendorID;
        m_iProductId = pModel->iProductID;
    }

    std::shared_ptr<SimPrinter> Plug(const QString& strName, const QString& strSerial, bool bKernelDriverBound = false)
    {
        auto pPrinter = std::make_shared<SimPrinter>(strName, enSimTransport::Usb, *FindModel(c_strModel), strSerial);
        pPrinter->SetEventSink(m_events.Sink());
        m_listNode.push_back(m_testbed.AddDevice(std::make_shared<UsbSimPrinter>(pPrinter, bKernelDriverBound)));
        return pPrinter;
    }

    int StatusQuery(const QString& strUri, QByteArray* pReply = nullptr)
    {
        unsigned char szReply[1024] = {};
        int iReplyLength = -1;
        const int iResult = USBSendRecvData(m_iVendorId, m_iProductId, strUri, c_vecStatusQuery.data(),
                                            int(c_vecStatusQuery.size()), szReply, sizeof(szReply), iReplyLength);
        if (pReply)
            *pReply = QByteArray(reinterpret_cast<char*>(szReply), iReplyLength);
        return iResult;
    }

    UsbTestbed m_testbed;
    EventLines m_events;
    std::string m_strUnrelatedNode;
    std::vector<std::string> m_listNode;
    int m_iVendorId = 0;
    int m_iProductId = 0;
};

quint64 Fnv1a64(const QByteArray& ba)
{
    quint64 uHash = 0xcbf29ce484222325ULL;
    for (char c : ba)
        uHash = (uHash ^ uint8_t(c)) * 0x100000001b3ULL;
    return uHash;
}

} // namespace

TEST_F(UsbBulk, UriSerialSelectsThePrinterAsCaseInsensitivePrefix)
{
    Plug(QStringLiteral("A"), QStringLiteral("AB12345"));
    Plug(QStringLiteral("B"), QStringLiteral("CD67890"));
    const struct {
        QString strUri;
        int iResult;
        QString strAnswering;  // empty: nobody was asked; "*": either printer, once
    } arrCase[] = {
        {c_strUriPrefix + "ab12", 0, "A"},
        {c_strUriPrefix + "CD67890", 0, "B"},
        {c_strUriPrefix + "AB123456", -3, ""},  // longer than the device's serial
        {c_strUriPrefix + "XY", -3, ""},
        {QStringLiteral("Vorn/VL2120DN?"), 0, "*"},  // no serial: the first printer of the model
    };
    for (const auto& test : arrCase) {
        SCOPED_TRACE(test.strUri.toStdString());
        const QStringList listBefore = m_events.Lines();
        QByteArray baReply;
        EXPECT_EQ(StatusQuery(test.strUri, &baReply), test.iResult);
        QStringList listNew = m_events.Lines().mid(listBefore.size());
        if (test.strAnswering.isEmpty()) {
            EXPECT_TRUE(listNew.isEmpty()) << listNew.join('|').toStdString();
            EXPECT_TRUE(baReply.isEmpty());
            continue;
        }
        if (test.strAnswering == QLatin1String("*"))
            EXPECT_EQ(listNew.filter(QRegularExpression("^netread [AB] usb 6374$")).size(), 1) << listNew.join('|').toStdString();
        else
            EXPECT_EQ(listNew, QStringList{QStringLiteral("netread %1 usb 6374").arg(test.strAnswering)});
        ASSERT_GT(baReply.size(), 7);
        EXPECT_EQ(uint8_t(baReply[0]), 0xA5);
    }
}

TEST_F(UsbBulk, OnlyAPrinterClassInterfaceWithBulkOut01AndBulkInIsUsed)
{
    using T = enUsbTransferType;
    const struct {
        const char* szCase;
        std::vector<stUsbInterfaceDescription> listInterface;
        int iResult;
    } arrCase[] = {
        {"bulk OUT 0x02", {{0, 7, 1, 2, {{0x02, T::Bulk}, {0x81, T::Bulk}}}}, -3},
        {"no bulk IN", {{0, 7, 1, 2, {{0x01, T::Bulk}, {0x81, T::Interrupt}}}}, -3},
        {"not printer class", {{0, 0xFF, 0, 0, {{0x01, T::Bulk}, {0x81, T::Bulk}}}}, -3},
        {"second interface fits", {{0, 7, 1, 2, {{0x02, T::Bulk}, {0x82, T::Bulk}}}, {1, 7, 1, 2, {{0x01, T::Bulk}, {0x81, T::Bulk}}}}, 0},
    };
    for (const auto& test : arrCase) {
        SCOPED_TRACE(test.szCase);
        const std::string strNode = m_testbed.AddDevice(std::make_shared<EchoDevice>(test.listInterface));
        unsigned char szReply[64] = {};
        int iReplyLength = 0;
        const unsigned char szRequest[] = {1, 2, 3};
        EXPECT_EQ(USBSendRecvData(m_iVendorId, m_iProductId, c_strUriPrefix + "EC0001", szRequest, 3, szReply,
                                  sizeof(szReply), iReplyLength),
                  test.iResult);
        if (test.iResult == 0) {
            EXPECT_EQ(QByteArray(reinterpret_cast<char*>(szReply), iReplyLength), QByteArray("\1\2\3", 3));
        }
        m_testbed.RemoveDevice(strNode);
    }
}

TEST_F(UsbBulk, FailuresAreReportedByStep)
{
    auto pPrinter = Plug(QStringLiteral("A"), QStringLiteral("AB12345"));
    const QString strUri = c_strUriPrefix + "AB12345";

    // Another program (a CUPS backend printing) holds the interface, and no driver to detach.
    pPrinter->Update([](stSimPrinterState& state) { state.bInterfaceHeld = true; });
    EXPECT_EQ(StatusQuery(strUri), -5);
    pPrinter->Update([](stSimPrinterState& state) { state.bInterfaceHeld = false; });

    // The request goes out, no reply comes within the 3 s the read waits.
    pPrinter->Update([](stSimPrinterState& state) { state.bSilent = true; });
    QElapsedTimer timer;
    timer.start();
    QByteArray baReply;
    EXPECT_EQ(StatusQuery(strUri, &baReply), -7);
    EXPECT_GE(timer.elapsed(), 2500);
    EXPECT_TRUE(baReply.isEmpty());
    EXPECT_EQ(m_events.Count(QStringLiteral("netread A usb 6374")), 1);
    pPrinter->Update([](stSimPrinterState& state) { state.bSilent = false; });

    // Unplugged: the search finds nothing and the endpoint step fails; an empty bus is told apart.
    m_testbed.RemoveDevice(m_listNode.back());
    EXPECT_EQ(StatusQuery(strUri), -3);
    m_testbed.RemoveDevice(m_strUnrelatedNode);
    EXPECT_EQ(StatusQuery(strUri), -2);
}

TEST_F(UsbBulk, KernelDriverIsDetachedForTheExchangeAndAttachedAgainAfterwards)
{
    Plug(QStringLiteral("A"), QStringLiteral("AB12345"), true);
    QByteArray baReply;
    EXPECT_EQ(StatusQuery(c_strUriPrefix + "AB12345", &baReply), 0);
    EXPECT_GT(baReply.size(), 7);

    libusb_context* pContext = nullptr;
    ASSERT_EQ(libusb_init(&pContext), 0);
    libusb_device_handle* pHandle = libusb_open_device_with_vid_pid(pContext, uint16_t(m_iVendorId), uint16_t(m_iProductId));
    ASSERT_NE(pHandle, nullptr);
    EXPECT_EQ(libusb_kernel_driver_active(pHandle, 0), 1);
    libusb_close(pHandle);
    libusb_exit(pContext);

    // And a second exchange detaches it again.
    EXPECT_EQ(StatusQuery(c_strUriPrefix + "AB12345"), 0);
}

TEST_F(UsbBulk, FirmwareImageGoesOutInChunksOfAtMostOneMiB)
{
    auto pPrinter = Plug(QStringLiteral("A"), QStringLiteral("AB12345"));
    QByteArray baImage(5 * c_iMiB / 2, '\0');
    for (int i = 0; i < baImage.size(); ++i)
        baImage[i] = char((i * 7 + i / 4096) & 0xFF);
    QList<qint64> listProgress;
    const int iResult = FWUpdateTask(m_iVendorId, m_iProductId, c_strUriPrefix + "ab", reinterpret_cast<const unsigned char*>(baImage.constData()),
                                     baImage.size(), [&](qint64 iSent) { listProgress << iSent; });
    EXPECT_EQ(iResult, 0);
    const stSimImage image = pPrinter->State().stImage;
    EXPECT_EQ(image.listChunk, (QList<int>{c_iMiB, c_iMiB, c_iMiB / 2}));
    EXPECT_EQ(image.iBytes, baImage.size());
    EXPECT_EQ(image.uFnv1a64, Fnv1a64(baImage));
    EXPECT_EQ(listProgress, (QList<qint64>{c_iMiB, 2 * c_iMiB, 5 * c_iMiB / 2}));

    // Nothing to send is done at once, without touching the printer.
    EXPECT_EQ(FWUpdateTask(m_iVendorId, m_iProductId, c_strUriPrefix + "ab", nullptr, 0), 0);
    EXPECT_EQ(pPrinter->State().stImage.iBytes, baImage.size());
}

TEST_F(UsbBulk, FirmwareChunkThatFailsEndsTheSendWithMinus7)
{
    auto pPrinter = Plug(QStringLiteral("A"), QStringLiteral("AB12345"));
    pPrinter->Update([](stSimPrinterState& state) { state.stImage.iFailAfterBytes = 3 * c_iMiB / 2; });
    const QByteArray baImage(3 * c_iMiB, 'x');
    QList<qint64> listProgress;
    EXPECT_EQ(FWUpdateTask(m_iVendorId, m_iProductId, c_strUriPrefix + "AB12345",
                           reinterpret_cast<const unsigned char*>(baImage.constData()), baImage.size(),
                           [&](qint64 iSent) { listProgress << iSent; }),
              -7);
    EXPECT_EQ(listProgress, QList<qint64>{c_iMiB});
    EXPECT_EQ(pPrinter->State().stImage.iBytes, 3 * c_iMiB / 2);

    // A missing printer fails before anything goes out.
    EXPECT_EQ(FWUpdateTask(m_iVendorId, m_iProductId, c_strUriPrefix + "ZZ",
                           reinterpret_cast<const unsigned char*>(baImage.constData()), baImage.size()),
              -3);
}
