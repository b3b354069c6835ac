// The maintenance tool's window and network page offscreen, against simulated USB printers on a
// private bus: page changes, the checks before any exchange, and what the user reads after one.
#include "NetForm.h"
#include "PrinterListFile.h"
#include "SimPrinter.h"
#include "UsbSimPrinter.h"
#include "UsbTestbed.h"
#include "Widget.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace {

const QString c_strModel = QStringLiteral("VL2120DN");

stPrinterInfo Queue(const QString& strName, int iConnectType, const QString& strPort)
{
    stPrinterInfo info;
    info.strName = strName;
    info.iConnectType = iConnectType;
    info.strPort = strPort;
    info.strURI = (iConnectType == CONNECT_USB ? QStringLiteral("usb://") : QStringLiteral("socket://")) + strPort;
    return info;
}

stPrinterInfo UsbQueue(const QString& strSerial)
{
    return Queue(QStringLiteral("Desk"), CONNECT_USB, QStringLiteral("Vorn/%1?serial=%2").arg(c_strModel, strSerial));
}

// One application object for the whole run, gone before the process ends so that Qt frees its
// fonts and screens while the leak checker still counts them as reachable.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_pApp = std::make_unique<QApplication>(m_iArgc, m_arrArgv); }
    void TearDown() override { m_pApp.reset(); }

private:
    int m_iArgc = 1;
    char m_szName[20] = "setting_pages_test";
    char* m_arrArgv[2] = {m_szName, nullptr};
    std::unique_ptr<QApplication> m_pApp;
};
::testing::Environment* const c_pApplication = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

class SettingPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strList = m_dir.filePath(QStringLiteral("printerlist.ini"));
        m_pWindow = std::make_unique<Widget>(m_strList);
        m_pNet = m_pWindow->findChild<NetForm*>();
        ASSERT_NE(m_pNet, nullptr);
    }

    void Publish(const QList<stPrinterInfo>& listPrinter) { ASSERT_TRUE(PrinterListFile(m_strList).Write(listPrinter)); }

    QStackedWidget* Stack() const { return m_pWindow->findChild<QStackedWidget*>(); }
    QComboBox* Combo(const char* szName) const { return m_pWindow->findChild<QComboBox*>(szName); }
    QPushButton* Button(const char* szName) const { return m_pWindow->findChild<QPushButton*>(szName); }
    QList<QLineEdit*> Fields() const { return m_pNet->findChildren<QLineEdit*>(); }
    QLineEdit* Field(int iRow, int iOctet) const { return Fields().at(iRow * 4 + iOctet); }
    QString Address(int iRow) const
    {
        return QStringList{Field(iRow, 0)->text(), Field(iRow, 1)->text(), Field(iRow, 2)->text(), Field(iRow, 3)->text()}
            .join('.');
    }

    // Clicks the button and answers the message box it opens; returns "title|text|button", or
    // an empty text when no box came.
    QString ClickAndAnswer(const char* szButton)
    {
        QString strSeen;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox)
                return;
            strSeen = pBox->windowTitle() + '|' + pBox->text() + '|' + pBox->buttons().value(0)->text();
            pBox->buttons().value(0)->click();
        });
        timer.start(10);
        Button(szButton)->click();
        return strSeen;
    }

    static QString Box(const QString& strText) { return QStringLiteral("Vorn激光打印工具|") + strText + QStringLiteral("|确  定"); }

    QTemporaryDir m_dir;
    QString m_strList;
    std::unique_ptr<Widget> m_pWindow;
    NetForm* m_pNet = nullptr;
};

// Pages against a simulated bus with one USB printer of the model.
class SettingPagesUsb : public SettingPages {
protected:
    void SetUp() override
    {
        if (!m_testbed.IsReady())
            GTEST_SKIP() << m_testbed.NotReadyReason();
        SettingPages::SetUp();
        m_testbed.AddDevice(std::make_shared<UsbSimDevice>(UnrelatedUsbDevice()));
        m_pPrinter = std::make_shared<SimPrinter>(QStringLiteral("U1"), enSimTransport::Usb, *FindModel(c_strModel),
                                                  QStringLiteral("SN0001"));
        m_pPrinter->SetEventSink([this](const QString& strLine) {
            std::lock_guard<std::mutex> lock(m_mutexEvents);
            m_listEvent << strLine;
        });
        m_strNode = m_testbed.AddDevice(std::make_shared<UsbSimPrinter>(m_pPrinter));
        Publish({UsbQueue(QStringLiteral("sn00"))});
        m_pWindow->SlotChangeForm(1);
    }

    QStringList Events()
    {
        std::lock_guard<std::mutex> lock(m_mutexEvents);
        return m_listEvent;
    }

    UsbTestbed m_testbed;
    std::shared_ptr<SimPrinter> m_pPrinter;
    std::string m_strNode;
    std::mutex m_mutexEvents;
    QStringList m_listEvent;
};

} // namespace

TEST_F(SettingPages, WindowIsAFixedSquareAndOnlyPagesInTheStackAreShown)
{
    EXPECT_EQ(m_pWindow->minimumSize(), QSize(400, 400));
    EXPECT_EQ(m_pWindow->maximumSize(), QSize(400, 400));
    EXPECT_FALSE(m_pWindow->windowFlags() & Qt::WindowMaximizeButtonHint);
    ASSERT_EQ(Stack()->count(), 2);
    for (int iIndex : {-1, 2, 99}) {
        m_pWindow->SlotChangeForm(iIndex);
        EXPECT_EQ(Stack()->currentIndex(), 0) << iIndex;
    }

    // The home page's picture button leads to the network page, which reads the list as it opens.
    Publish({UsbQueue(QStringLiteral("A"))});
    Button("pushButtonNet")->click();
    EXPECT_EQ(Stack()->currentIndex(), 1);
    EXPECT_EQ(Combo("comboBoxDevice")->count(), 1);
    Combo("comboBoxSource")->setCurrentIndex(1);
    Field(0, 3)->setText(QStringLiteral("7"));

    // Home does not prepare any page; coming back does, with a fresh list and fresh fields.
    Publish({UsbQueue(QStringLiteral("A")), Queue(QStringLiteral("Office"), CONNECT_NETWORK, QStringLiteral("127.0.0.2"))});
    Button("pushButtonBack")->click();
    EXPECT_EQ(Stack()->currentIndex(), 0);
    EXPECT_EQ(Combo("comboBoxDevice")->count(), 1);
    EXPECT_EQ(Field(0, 3)->text(), QStringLiteral("7"));
    m_pWindow->SlotChangeForm(1);
    EXPECT_EQ(Combo("comboBoxDevice")->count(), 2);
    EXPECT_EQ(Field(0, 3)->text(), QStringLiteral("0"));
    EXPECT_EQ(Combo("comboBoxSource")->currentText(), QStringLiteral("DHCP"));
}

TEST_F(SettingPages, OctetFieldsTakeOnly0To255AndAreEditableForStaticOnly)
{
    m_pWindow->SlotChangeForm(1);
    ASSERT_EQ(Fields().size(), 28);
    EXPECT_FALSE(Field(2, 1)->isEnabled());
    Combo("comboBoxSource")->setCurrentIndex(1);
    for (QLineEdit* pField : Fields())
        EXPECT_TRUE(pField->isEnabled());
    Field(2, 1)->clear();
    QTest::keyClicks(Field(2, 1), QStringLiteral("256"));
    EXPECT_EQ(Field(2, 1)->text(), QStringLiteral("25"));
    Field(2, 2)->clear();
    QTest::keyClicks(Field(2, 2), QStringLiteral("-1"));
    EXPECT_EQ(Field(2, 2)->text(), QStringLiteral("1"));

    // Back to DHCP: the fields lock and keep what they hold.
    Combo("comboBoxSource")->setCurrentIndex(0);
    EXPECT_FALSE(Field(2, 1)->isEnabled());
    EXPECT_EQ(Field(2, 1)->text(), QStringLiteral("25"));
}

TEST_F(SettingPages, ReadAndWriteNeedAChosenUsbPrinterOfAKnownModel)
{
    const struct {
        const char* szCase;
        QList<stPrinterInfo> listPrinter;
        QString strMessage;
    } arrCase[] = {
        {"no printer list", {}, QStringLiteral("请选择一个打印机进行操作！")},
        {"network printer", {Queue(QStringLiteral("Office"), CONNECT_NETWORK, QStringLiteral("127.0.0.2"))},
         QStringLiteral("请选择通过USB连接的打印机进行操作！")},
        {"model without network", {Queue(QStringLiteral("Old"), CONNECT_USB, QStringLiteral("Vorn/VL2120D?serial=1"))},
         QStringLiteral("不支持该打印机型号！")},
    };
    for (const auto& test : arrCase) {
        if (!test.listPrinter.isEmpty())
            Publish(test.listPrinter);
        m_pWindow->SlotChangeForm(1);
        EXPECT_EQ(ClickAndAnswer("pushButtonGet"), Box(test.strMessage)) << test.szCase;
        EXPECT_EQ(ClickAndAnswer("pushButtonSet"), Box(test.strMessage)) << test.szCase;
    }

    // An incomplete address is refused before anything is sent, also while the fields are locked.
    Publish({UsbQueue(QStringLiteral("A"))});
    m_pWindow->SlotChangeForm(1);
    Field(4, 2)->clear();
    EXPECT_EQ(ClickAndAnswer("pushButtonSet"), Box(QStringLiteral("不正确的地址格式！")));
}

TEST_F(SettingPagesUsb, FreshPageWritesDhcpAndZeroAddressesInTheSecondSet)
{
    m_pPrinter->Update([](stSimPrinterState& state) {
        state.stNet.bFirstSet = false;
        state.stNet.bStatic = true;
    });
    EXPECT_EQ(ClickAndAnswer("pushButtonSet"), Box(QStringLiteral("设置成功，请等待打印机完成重连！")));
    const stSimNetSettings net = m_pPrinter->State().stNet;
    EXPECT_FALSE(net.bStatic);
    for (const QString& strAddress : net.arrAddress)
        EXPECT_EQ(strAddress, QStringLiteral("0.0.0.0"));
}

TEST_F(SettingPagesUsb, ReadAsksForTheSetTheSelectorNamesAndFillsThePage)
{
    m_pPrinter->Update([](stSimPrinterState& state) {
        state.stNet.bFirstSet = false;
        state.stNet.bStatic = true;
        state.stNet.arrAddress[2] = QStringLiteral("10.20.30.40");
    });
    EXPECT_EQ(ClickAndAnswer("pushButtonGet"), QString());
    EXPECT_EQ(Events(), (QStringList{QStringLiteral("netread U1 usb 6374"),
                                     QStringLiteral("netread U1 usb 4010,4011,4012,4013,4014,4015,4016,4017")}));
    EXPECT_EQ(Combo("comboBoxSource")->currentText(), QStringLiteral("静态"));
    EXPECT_TRUE(Field(0, 0)->isEnabled());
    EXPECT_EQ(Address(0), QStringLiteral("192.168.0.120"));
    EXPECT_EQ(Address(2), QStringLiteral("10.20.30.40"));

    // A malformed reply changes nothing on the page.
    m_pPrinter->Update([](stSimPrinterState& state) {
        state.stNet.enReply = enSimNetReply::UnknownItem;
        state.stNet.arrAddress[2] = QStringLiteral("10.9.9.9");
    });
    EXPECT_EQ(ClickAndAnswer("pushButtonGet"), Box(QStringLiteral("获取数据失败，请稍后重试！")));
    EXPECT_EQ(Address(2), QStringLiteral("10.20.30.40"));
    m_pPrinter->Update([](stSimPrinterState& state) { state.stNet.enReply = enSimNetReply::LengthPastEnd; });
    EXPECT_EQ(ClickAndAnswer("pushButtonGet"), Box(QStringLiteral("获取数据失败，请稍后重试！")));
}

TEST_F(SettingPagesUsb, FailedExchangesTellWhatWentWrong)
{
    // Another program holds the printer: the first exchange, the status query, fails.
    m_pPrinter->Update([](stSimPrinterState& state) { state.bInterfaceHeld = true; });
    EXPECT_EQ(ClickAndAnswer("pushButtonGet"), Box(QStringLiteral("获取打印机联网方式失败！")));
    EXPECT_EQ(ClickAndAnswer("pushButtonSet"), Box(QStringLiteral("连接打印机失败，请检查连接状态！")));
    m_pPrinter->Update([](stSimPrinterState& state) { state.bInterfaceHeld = false; });

    // The write goes out, no answer comes.
    m_pPrinter->Update([](stSimPrinterState& state) { state.bSilent = true; });
    EXPECT_EQ(ClickAndAnswer("pushButtonSet"), Box(QStringLiteral("与打印机通信失败，请检查打印机状态并重新尝试！")));
}
