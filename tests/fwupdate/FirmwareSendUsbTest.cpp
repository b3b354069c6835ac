// The updater's window sending real images through the USB transport to a simulated printer:
// what arrives at the printer, in which chunks, and how often the updater tries.
#include "AnsweredWidget.h"
#include "FirmwareUpdateTexts.h"
#include "SimPrinter.h"
#include "UsbSimPrinter.h"
#include "UsbTestbed.h"
#include "UtilLibusb.h"

#include <QLabel>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

using namespace FirmwareUpdateTexts;

namespace {

constexpr int c_iMiB = 1024 * 1024;
const QString c_strModelCode = QStringLiteral("VL2120DN");
const QString c_strSerial = QStringLiteral("SN0001");

quint64 Fnv1a64(const QByteArray& baData)
{
    quint64 uHash = stSimImage::c_uFnvOffsetBasis;
    for (char c : baData)
        uHash = (uHash ^ quint8(c)) * 0x100000001b3ULL;
    return uHash;
}

class FirmwareSendUsb : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        ASSERT_TRUE(m_dir.isValid());
        m_strCfg = m_dir.path() + QLatin1Char('/');
        const stModelEntry* pModel = FindModel(c_strModelCode);
        ASSERT_NE(pModel, nullptr);
        const QString strPort = QStringLiteral("Vorn/") + c_strModelCode + QStringLiteral("?serial=") + c_strSerial;
        ASSERT_TRUE(PrinterListFile(m_strCfg + QStringLiteral("printerlist.ini"))
                        .Write({{QStringLiteral("U1"), pModel->strModelName, CONNECT_USB, strPort,
                                 QStringLiteral("usb://") + strPort}}));
        m_pPrinter = std::make_shared<SimPrinter>(QStringLiteral("U1"), enSimTransport::Usb, *pModel, c_strSerial);
        m_pPrinter->SetEventSink([this](const QString& strLine) {
            QMutexLocker lock(&m_mutexEvents);
            m_listEvent << strLine;
        });
        m_strNode = m_testbed.AddDevice(std::make_shared<UsbSimPrinter>(m_pPrinter));
        m_pWidget.reset(new AnsweredWidget(FWUpdateTask, m_strCfg));
    }

    int Update(const QByteArray& baImage)
    {
        const QString strPath = m_strCfg + QStringLiteral("image.fls");
        EXPECT_TRUE(WriteTestFile(strPath, baImage));
        return m_pWidget->ClickUpdate(0, strPath);
    }
    QStringList Events()
    {
        QMutexLocker lock(&m_mutexEvents);
        return m_listEvent;
    }

    UsbTestbed m_testbed;
    QTemporaryDir m_dir;
    QString m_strCfg;
    std::shared_ptr<SimPrinter> m_pPrinter;
    std::string m_strNode;
    std::unique_ptr<AnsweredWidget> m_pWidget;
    QMutex m_mutexEvents;
    QStringList m_listEvent;
};

TEST_F(FirmwareSendUsb, ImageArrivesWholeInChunksOfOneMebibyte)
{
    const QByteArray baImage = PatternedImage(5 * c_iMiB / 2);
    EXPECT_EQ(Update(baImage), 1);
    EXPECT_EQ(m_pWidget->listMessage, QStringList{c_strUpdateSent});
    const stSimImage image = m_pPrinter->State().stImage;
    EXPECT_EQ(image.listChunk, (QList<int>{c_iMiB, c_iMiB, c_iMiB / 2}));
    EXPECT_EQ(image.iBytes, baImage.size());
    EXPECT_EQ(image.uFnv1a64, Fnv1a64(baImage));
    EXPECT_EQ(m_pWidget->Child<QLabel>("labelProgress")->text(),
              c_strProgressFormat.arg(baImage.size()).arg(baImage.size()));
}

// A failure before the image leaves is tried three times; one after part of it left never
// starts the image again (a new attempt would show at the printer as a second failed image).
TEST_F(FirmwareSendUsb, OnlyFailuresBeforeTheImageAreRetried)
{
    struct stCase {
        const char* szWhat;
        std::function<void()> fnPrepare;
        int iAttempts;
        QString strMessage;
        QList<int> listChunk;
        int iFailedImages;
    } cases[] = {
        {"interface held by another program",
         [this] { m_pPrinter->Update([](stSimPrinterState& s) { s.bInterfaceHeld = true; }); }, 3, c_strConnectFailed,
         {}, 0},
        {"fails after 1.5 MiB",
         [this] {
             m_pPrinter->Update([](stSimPrinterState& s) {
                 s.bInterfaceHeld = false;
                 s.stImage.iFailAfterBytes = 3 * c_iMiB / 2;
             });
         },
         1, c_strCommunicationFailed, {c_iMiB}, 1},
        {"unplugged", [this] { m_testbed.RemoveDevice(m_strNode); }, 3, c_strConnectFailed, {c_iMiB}, 0},
    };
    for (const stCase& c : cases) {
        SCOPED_TRACE(c.szWhat);
        m_pWidget->listMessage.clear();
        {
            QMutexLocker lock(&m_mutexEvents);
            m_listEvent.clear();
        }
        c.fnPrepare();
        EXPECT_EQ(Update(PatternedImage(5 * c_iMiB / 2)), c.iAttempts);
        EXPECT_EQ(m_pWidget->listMessage, QStringList{c.strMessage});
        EXPECT_EQ(m_pPrinter->State().stImage.listChunk, c.listChunk);
        EXPECT_EQ(Events().filter(QRegularExpression(QStringLiteral("^image-failed "))).size(), c.iFailedImages)
            << qPrintable(Events().join(QLatin1Char('\n')));
    }
}

} // namespace
