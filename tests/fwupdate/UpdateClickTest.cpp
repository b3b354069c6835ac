// The update click as the user meets it: the printer table, the checks in order with their
// messages, the retry rule, and the window while the image goes out on the worker thread.
#include "AnsweredWidget.h"
#include "FirmwareUpdateTexts.h"

#include <QDir>
#include <QLabel>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

using namespace FirmwareUpdateTexts;

namespace {

constexpr int c_iDeskVendorId = 0x3C7A;
constexpr int c_iDeskProductId = 0x101C; // "Vorn VL2120DN" in the model table
const QString c_strDeskPort = QStringLiteral("Vorn/VL2120DN?serial=SN0001");

// What the transport was last given, and how often it was called.
struct stSeen {
    int iAttempts = 0;
    int iVendorId = 0;
    int iProductId = 0;
    QString strUri;
    QByteArray baImage;
    QThread* pThread = nullptr;
};

// Stands in for the USB transport: answers each attempt from a script (then 0), keeps what it
// was given, and can hold an attempt until the test lets it go.
class ScriptedTransport {
public:
    FirmwareSendFunction Function()
    {
        return [this](int iVendorId, int iProductId, const QString& strUri, const unsigned char* pImage,
                      qint64 iLength, const FWUpdateProgress& progress) {
            bool bHold = false;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_seen = {m_seen.iAttempts + 1, iVendorId, iProductId, strUri,
                          QByteArray(reinterpret_cast<const char*>(pImage), int(iLength)), QThread::currentThread()};
                bHold = m_bHold;
            }
            m_semStarted.release();
            if (bHold)
                m_semRelease.acquire();
            progress(iLength);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_dequeResult.empty())
                return 0;
            const int iResult = m_dequeResult.front();
            m_dequeResult.pop_front();
            return iResult;
        };
    }
    void Script(std::deque<int> dequeResult, bool bHold = false)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dequeResult = std::move(dequeResult);
        m_bHold = bHold;
    }
    bool WaitStarted() { return m_semStarted.tryAcquire(1, 5000); }
    void Release() { m_semRelease.release(); }
    stSeen Seen() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

private:
    // Guards the script and what was seen: the transport runs on the updater's worker thread. A
    // standard mutex, so that the thread sanitizer sees the ordering it gives.
    mutable std::mutex m_mutex;
    std::deque<int> m_dequeResult;
    bool m_bHold = false;
    stSeen m_seen;
    QSemaphore m_semStarted;
    QSemaphore m_semRelease;
};

class UpdateClick : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strCfg = m_dir.path() + QLatin1Char('/');
        stPrinterInfo desk{QStringLiteral("Desk"), QStringLiteral("Vorn VL2120DN"), CONNECT_USB, c_strDeskPort,
                           QStringLiteral("usb://") + c_strDeskPort};
        stPrinterInfo office{QStringLiteral("Office"), QStringLiteral("Vorn VC5100DNW"), CONNECT_NETWORK,
                             QStringLiteral("127.0.0.2"), QStringLiteral("socket://127.0.0.2:9100")};
        // The model as a PPD may spell it: the lookup ignores letter case.
        stPrinterInfo lab{QStringLiteral("Lab"), QStringLiteral("vorn vl2120dn"), CONNECT_USB,
                          QStringLiteral("Vorn/VL2120DN?serial=SN0002"), QString()};
        stPrinterInfo odd{QStringLiteral("Odd"), QStringLiteral("Kestrel Writer 500"), CONNECT_USB,
                          QStringLiteral("Kestrel/KW500?serial=K1"), QString()};
        ASSERT_TRUE(PrinterListFile(m_strCfg + QStringLiteral("printerlist.ini")).Write({desk, office, lab, odd}));
        WriteFile(QStringLiteral("Desk.dat"), QByteArray(16, '\0'));
        m_baImage = PatternedImage(300000);
        WriteFile(QStringLiteral("image.fls"), m_baImage);
        m_pWidget.reset(new AnsweredWidget(m_transport.Function(), m_strCfg));
    }

    void WriteFile(const QString& strName, const QByteArray& baContent)
    {
        ASSERT_TRUE(WriteTestFile(m_strCfg + strName, baContent)) << qPrintable(strName);
    }
    template <typename T> T* Child(const char* szName) { return m_pWidget->Child<T>(szName); }
    QString Cell(int iRow, int iColumn) { return Child<QTableWidget>("tablePrinterList")->item(iRow, iColumn)->text(); }
    int ClickUpdate(int iRow, const QString& strPath) { return m_pWidget->ClickUpdate(iRow, strPath, 5000); }

    QTemporaryDir m_dir;
    QString m_strCfg;
    QByteArray m_baImage;
    ScriptedTransport m_transport;
    std::unique_ptr<AnsweredWidget> m_pWidget;
};

TEST_F(UpdateClick, FormShowsOnlyUsbPrintersWithTheirConnectionState)
{
    EXPECT_EQ(m_pWidget->windowTitle(), c_strWindowTitle);
    EXPECT_EQ(m_pWidget->minimumSize(), m_pWidget->maximumSize());
    EXPECT_FALSE(m_pWidget->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Child<QPushButton>("buttonRefresh")->isDefault());
    EXPECT_EQ(Child<QLabel>("label")->text(), c_strChoosePrinter);
    EXPECT_EQ(Child<QLabel>("label_2")->text(), c_strChooseFirmware);
    EXPECT_EQ(Child<QPushButton>("buttonBrowse")->text(), c_strBrowse);
    EXPECT_EQ(Child<QPushButton>("buttonOK")->text(), c_strUpdate);

    QTableWidget* pTable = Child<QTableWidget>("tablePrinterList");
    ASSERT_EQ(pTable->columnCount(), 4);
    const QStringList listHeader{c_strHeaderName, c_strHeaderModel, c_strHeaderConnection, c_strHeaderState};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(pTable->horizontalHeaderItem(c)->text(), listHeader[c]);
    ASSERT_EQ(pTable->rowCount(), 3);
    const QStringList listRow[] = {{"Desk", "Vorn VL2120DN", "USB", "已连接"},
                                   {"Lab", "vorn vl2120dn", "USB", "未连接"},
                                   {"Odd", "Kestrel Writer 500", "USB", "未连接"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(Cell(r, c), listRow[r][c]) << "row " << r << " column " << c;

    // A status file that appears is seen on refresh; a folder of that name is not a status file.
    WriteFile(QStringLiteral("Lab.dat"), QByteArray(16, '\0'));
    ASSERT_TRUE(QDir(m_strCfg).mkdir(QStringLiteral("Odd.dat")));
    pTable->setCurrentCell(1, 0);
    Child<QPushButton>("buttonRefresh")->click();
    EXPECT_EQ(Cell(1, 3), c_strConnected);
    EXPECT_EQ(Cell(2, 3), c_strNotConnected);
    // Refreshing drops the selection, so an update then asks for a printer again.
    EXPECT_TRUE(pTable->selectionModel()->selectedRows().isEmpty());
}

TEST_F(UpdateClick, MissingListFileGivesEmptyTableAndAsksForAPrinter)
{
    ASSERT_TRUE(QFile::remove(m_strCfg + QStringLiteral("printerlist.ini")));
    Child<QPushButton>("buttonRefresh")->click();
    EXPECT_EQ(Child<QTableWidget>("tablePrinterList")->rowCount(), 0);
    ClickUpdate(-1, m_strCfg + QStringLiteral("image.fls"));
    EXPECT_EQ(m_pWidget->listMessage, QStringList{c_strNoPrinterSelected});
}

// Every way the click can end before a byte is sent, and the first check that catches it.
TEST_F(UpdateClick, ChecksRunInOrderAndStopAtTheFirstFailure)
{
    QDir(m_strCfg).mkdir(QStringLiteral("folder.fls"));
    WriteFile(QStringLiteral("empty.fls"), QByteArray());
    // Sparse: larger than the transport takes, without using the disk.
    QFile huge(m_strCfg + QStringLiteral("huge.fls"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64(2) * 1024 * 1024 * 1024 + 1));
    huge.close();

    const QString strImage = m_strCfg + QStringLiteral("image.fls");
    const QString strAsk = QStringLiteral("是否升级打印机 Desk ？");
    struct stCase {
        const char* szWhat;
        int iRow;
        QString strPath;
        int iAnswer;
        QStringList listQuestion;
        QStringList listMessage;
    } cases[] = {
        {"no row selected", -1, strImage, QMessageBox::Ok, {}, {c_strNoPrinterSelected}},
        {"path is a folder", 0, m_strCfg + QStringLiteral("folder.fls"), QMessageBox::Ok, {}, {c_strCheckFilePath}},
        {"path does not exist", 0, m_strCfg + QStringLiteral("none.fls"), QMessageBox::Ok, {}, {c_strCheckFilePath}},
        {"empty path", 0, QString(), QMessageBox::Ok, {}, {c_strCheckFilePath}},
        {"upper-case URL prefix is no URL", 0, QStringLiteral("FILE://") + strImage, QMessageBox::Ok, {},
         {c_strCheckFilePath}},
        {"model not in the table", 2, strImage, QMessageBox::Ok, {}, {c_strModelNotSupported}},
        {"confirmation cancelled", 0, strImage, QMessageBox::Cancel, {strAsk}, {}},
        {"confirmation closed", 0, strImage, QMessageBox::NoButton, {strAsk}, {}},
        {"zero-byte image", 0, m_strCfg + QStringLiteral("empty.fls"), QMessageBox::Ok, {strAsk},
         {c_strReadFileFailed}},
        {"image larger than 2 GiB", 0, m_strCfg + QStringLiteral("huge.fls"), QMessageBox::Ok, {strAsk},
         {c_strReadFileFailed}},
    };
    // As after the table took the focus: a current row that the user never selected.
    QTableWidget* pTable = Child<QTableWidget>("tablePrinterList");
    pTable->selectionModel()->setCurrentIndex(pTable->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    for (const stCase& c : cases) {
        SCOPED_TRACE(c.szWhat);
        m_pWidget->listMessage.clear();
        m_pWidget->listQuestion.clear();
        m_pWidget->iAnswer = c.iAnswer;
        ClickUpdate(c.iRow, c.strPath);
        EXPECT_EQ(m_pWidget->listQuestion, c.listQuestion);
        EXPECT_EQ(m_pWidget->listMessage, c.listMessage);
        EXPECT_FALSE(m_pWidget->IsSending());
    }
    EXPECT_EQ(m_transport.Seen().iAttempts, 0);
}

TEST_F(UpdateClick, FileUrlIsStrippedAndImageGoesOutWhole)
{
    // The lower-case model spelling selects the same model row.
    ClickUpdate(1, QStringLiteral("file://") + m_strCfg + QStringLiteral("image.fls"));
    EXPECT_EQ(Child<QLineEdit>("lineFilePath")->text(), m_strCfg + QStringLiteral("image.fls"));
    EXPECT_EQ(m_pWidget->listQuestion, QStringList{QStringLiteral("是否升级打印机 Lab ？")});
    EXPECT_EQ(m_pWidget->listMessage, QStringList{c_strUpdateSent});
    const stSeen seen = m_transport.Seen();
    EXPECT_EQ(seen.iAttempts, 1);
    EXPECT_EQ(seen.iVendorId, c_iDeskVendorId);
    EXPECT_EQ(seen.iProductId, c_iDeskProductId);
    EXPECT_EQ(seen.strUri, QStringLiteral("Vorn/VL2120DN?serial=SN0002"));
    EXPECT_EQ(seen.baImage, m_baImage);
}

// Retried only while no byte of the image can have reached the printer.
TEST_F(UpdateClick, EachResultHasItsMessageAndOnlyFailuresBeforeTheImageAreRetried)
{
    struct stCase {
        std::deque<int> dequeResult;
        int iAttempts;
        QString strMessage;
    } cases[] = {
        {{0}, 1, c_strUpdateSent},
        {{-1, -1, -1}, 3, c_strInterfaceInitFailed},
        {{-2, -2, -2}, 3, c_strConnectFailed},
        {{-3, -3, -3}, 3, c_strConnectFailed},
        {{-4, -4, -4}, 3, c_strConnectFailed},
        {{-5, -5, -5}, 3, c_strConnectFailed},
        {{-5, -5, 0}, 3, c_strUpdateSent},
        {{-3, -7}, 2, c_strCommunicationFailed},
        {{-7}, 1, c_strCommunicationFailed},
        {{-6}, 1, c_strReadFileFailed},
        {{-8}, 1, c_strUnknownError},
    };
    for (const stCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "first result " << c.dequeResult.front() << ", "
                                          << c.dequeResult.size() << " scripted");
        m_pWidget->listMessage.clear();
        m_transport.Script(c.dequeResult);
        const int iBefore = m_transport.Seen().iAttempts;
        EXPECT_EQ(ClickUpdate(0, m_strCfg + QStringLiteral("image.fls")), c.iAttempts);
        EXPECT_EQ(m_transport.Seen().iAttempts - iBefore, c.iAttempts);
        EXPECT_EQ(m_pWidget->listMessage, QStringList{c.strMessage});
    }
}

TEST_F(UpdateClick, WindowStaysLiveButLockedWhileTheImageGoesOut)
{
    m_transport.Script({}, true);
    QSignalSpy spyFinished(m_pWidget.get(), &Widget::SgnUpdateFinished);
    Child<QTableWidget>("tablePrinterList")->setCurrentCell(0, 0);
    Child<QLineEdit>("lineFilePath")->setText(m_strCfg + QStringLiteral("image.fls"));
    Child<QPushButton>("buttonOK")->click();
    ASSERT_TRUE(m_transport.WaitStarted());
    EXPECT_NE(m_transport.Seen().pThread, QThread::currentThread());

    // The GUI thread is free: events run while the transport is stuck in a chunk.
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_pWidget->IsSending());
    for (const char* szButton : {"buttonOK", "buttonRefresh", "buttonBrowse"})
        EXPECT_FALSE(Child<QPushButton>(szButton)->isEnabled()) << szButton;
    Child<QPushButton>("buttonOK")->click();
    QMetaObject::invokeMethod(m_pWidget.get(), "on_buttonOK_clicked");
    EXPECT_FALSE(m_pWidget->close());
    EXPECT_TRUE(Child<QLabel>("labelProgress")->isVisibleTo(m_pWidget.get()));
    EXPECT_EQ(Child<QLabel>("labelProgress")->text(), c_strProgressFormat.arg(0).arg(m_baImage.size()));

    m_transport.Release();
    ASSERT_TRUE(spyFinished.wait(5000));
    EXPECT_EQ(Child<QLabel>("labelProgress")->text(), c_strProgressFormat.arg(m_baImage.size()).arg(m_baImage.size()));
    EXPECT_EQ(m_transport.Seen().iAttempts, 1);
    EXPECT_EQ(m_pWidget->listMessage, QStringList{c_strUpdateSent});
    EXPECT_TRUE(Child<QPushButton>("buttonOK")->isEnabled());
    EXPECT_FALSE(Child<QLabel>("labelProgress")->isVisibleTo(m_pWidget.get()));
}

} // namespace
