// Queue discovery over real files in a temporary CUPS folder, and the listing parser.
#include "CupsQueueDiscovery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CupsQueueDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("ppd"));
    }

    QString ConfPath() const { return m_dir.filePath("printers.conf"); }
    CupsQueueDiscovery Discovery() const { return CupsQueueDiscovery(ConfPath(), m_dir.filePath("ppd")); }

    void WriteFile(const QString& strPath, const QByteArray& baContent)
    {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(baContent);
    }
    void WriteConf(const QByteArray& baContent) { WriteFile(ConfPath(), baContent); }
    void WritePpd(const QString& strQueue, const QByteArray& baContent)
    {
        WriteFile(m_dir.filePath("ppd/" + strQueue + ".ppd"), baContent);
    }

    static QByteArray Section(const QByteArray& baName, const QByteArray& baUri, const QByteArray& baTag = "Printer")
    {
        return "<" + baTag + " " + baName + ">\nInfo x\nDeviceURI " + baUri + "\nState Idle\n</" + baTag + ">\n";
    }

    QTemporaryDir m_dir;
};

QStringList Names(const QList<stPrinterInfo>& list)
{
    QStringList listNames;
    for (const stPrinterInfo& info : list)
        listNames << info.strName;
    return listNames;
}

} // namespace

TEST_F(CupsQueueDiscoveryTest, ReadsUsbAndNetworkQueuesInFileOrder)
{
    WriteConf("# written by cupsd\n" + Section("Office", "usb://Vorn/VL2120DN?serial=ABC123")
              + Section("Net", "socket://192.168.1.20:9100", "DefaultPrinter") + Section("NetNoPort", "socket://printer.lan")
              + Section("Vs", "vornsocket://10.0.0.7:9100") + Section("Ipp", "ipp://127.0.0.1:631/ipp/print")
              + Section("NoHost", "socket:10.0.0.1") + Section("Lower", "USB://Vorn/VM2300N?serial=Z"));
    const QList<stPrinterInfo> list = Discovery().GetPrinterInfo(false);
    ASSERT_EQ(Names(list), (QStringList{"Office", "Net", "NetNoPort", "Vs", "Lower"}));
    EXPECT_EQ(list[0].iConnectType, CONNECT_USB);
    EXPECT_EQ(list[0].strPort, "Vorn/VL2120DN?serial=ABC123");
    EXPECT_EQ(list[0].strURI, "usb://Vorn/VL2120DN?serial=ABC123");
    EXPECT_TRUE(list[0].strModel.isEmpty());
    EXPECT_EQ(list[1].iConnectType, CONNECT_NETWORK);
    EXPECT_EQ(list[1].strPort, "192.168.1.20");
    EXPECT_EQ(list[2].strPort, "printer.lan");
    EXPECT_EQ(list[3].iConnectType, CONNECT_NETWORK);
    EXPECT_EQ(list[3].strPort, "10.0.0.7");
    EXPECT_EQ(list[4].iConnectType, CONNECT_USB);

    int iVendor = 0;
    int iProduct = 0;
    EXPECT_TRUE(list[0].strPort.startsWith("Vorn/"));
    EXPECT_TRUE(GetPrinterVidPid(list[0].strPort, iVendor, iProduct));
}

TEST_F(CupsQueueDiscoveryTest, LowerCaseTagsAndSurroundingBlanksReadTheSame)
{
    WriteConf("  <printer Q1>  \r\n\tdeviceuri usb://Vorn/VL2120DN?serial=1\r\n</printer>\r\n"
              "<defaultprinter Q2>\ndeviceURI socket://h:1\n</DEFAULTPRINTER>\n");
    EXPECT_EQ(Names(Discovery().GetPrinterInfo(false)), (QStringList{"Q1", "Q2"}));
}

TEST_F(CupsQueueDiscoveryTest, SectionsWithoutNameOrUriAreSkipped)
{
    WriteConf("<Printer>\nDeviceURI usb://Vorn/VL2120DN?serial=1\n</Printer>\n"
              "<Printer NoUri>\nInfo only\n</Printer>\n"
              "<Printer Blank>\nDeviceURI\n</Printer>\n"
              "<Printer Good>\nDeviceURI usb://Vorn/VL2120DN?serial=2\n</Printer>\n");
    EXPECT_EQ(Names(Discovery().GetPrinterInfo(false)), QStringList{"Good"});
}

TEST_F(CupsQueueDiscoveryTest, BackupIsReadWhenTheConfigurationIsMissing)
{
    WriteFile(ConfPath() + ".O", Section("FromBackup", "usb://Vorn/VL2120DN?serial=1"));
    EXPECT_EQ(Names(Discovery().GetPrinterInfo(false)), QStringList{"FromBackup"});
    WriteConf(Section("FromMain", "usb://Vorn/VL2120DN?serial=1"));
    EXPECT_EQ(Names(Discovery().GetPrinterInfo(false)), QStringList{"FromMain"});
}

TEST_F(CupsQueueDiscoveryTest, NoConfigurationGivesAnEmptyList)
{
    EXPECT_TRUE(Discovery().GetPrinterInfo(true).isEmpty());
}

TEST_F(CupsQueueDiscoveryTest, DriverCheckKeepsOnlyQueuesWhosePpdNamesASupportedModel)
{
    WriteConf(Section("Ours", "usb://Vorn/VL2120DN?serial=1") + Section("Foreign", "socket://h:9100")
              + Section("NoPpd", "usb://Vorn/VL2120DN?serial=2") + Section("Late", "socket://h2"));
    WritePpd("Ours", "*PPD-Adobe: \"4.3\"\n*ModelName:   \"Vorn VL2120DN\"  \n*ShortNickName: \"x\"\n");
    WritePpd("Foreign", "*ModelName: \"Other Laser 9\"\n");
    WritePpd("Late", "*ModelName: \"Other Laser 9\"\n*MODELNAME: \"vorn vm2300nw\"\n");
    const QList<stPrinterInfo> list = Discovery().GetPrinterInfo(true);
    ASSERT_EQ(Names(list), (QStringList{"Ours", "Late"}));
    EXPECT_EQ(list[0].strModel, "Vorn VL2120DN");
    EXPECT_EQ(list[1].strModel, "vorn vm2300nw") << "the PPD's spelling is kept";
}

TEST_F(CupsQueueDiscoveryTest, PpdModelNameVariants)
{
    struct stCase {
        QByteArray baPpd;
        bool bMatch;
        QString strModel;
    };
    const stCase arrCases[] = {
        {"*ModelName: \"Vorn VL2120DN\"\n", true, "Vorn VL2120DN"},
        {"*ModelName:Vorn VL2120DN\n", true, "Vorn VL2120DN"},
        {"*ModelName: \"  Vorn VL2120DN  \"\n", true, "Vorn VL2120DN"},
        {"*ModelName: \"Vorn VL2120DN\0garbage\"\n", true, "Vorn VL2120DN"},
        {"*ModelName: \"Vorn VL2120\"\n", false, ""},
        {"*ModelName\n", false, ""},
        {"*NickName: \"Vorn VL2120DN\"\n", false, ""},
        {"", false, ""},
    };
    for (const stCase& c : arrCases) {
        QString strModel = "untouched";
        WritePpd("Q", c.baPpd);
        EXPECT_EQ(Discovery().CheckDriverMatch("Q", strModel), c.bMatch) << c.baPpd.constData();
        EXPECT_EQ(strModel, c.bMatch ? c.strModel : QString("untouched"));
    }
}

TEST_F(CupsQueueDiscoveryTest, QueueNameCannotLeadOutOfThePpdFolder)
{
    WriteFile(m_dir.filePath("outside.ppd"), "*ModelName: \"Vorn VL2120DN\"\n");
    QString strModel;
    EXPECT_FALSE(Discovery().CheckDriverMatch("../outside", strModel));
    EXPECT_FALSE(Discovery().CheckDriverMatch("", strModel));
    EXPECT_FALSE(Discovery().CheckDriverMatch("Missing", strModel));
}

TEST(CupsListing, EnglishListingGivesUsbAndNetworkQueues)
{
    const CupsQueueDiscovery discovery("/nonexistent/printers.conf", "/nonexistent/ppd");
    const QString strListing = "device for Office: usb://Vorn/VL2120DN?serial=ABC\n"
                               "device for Net: socket://10.1.2.3:9100\n"
                               "device for Vs: vornsocket://host.lan\n"
                               "device for Ipp: ipp://127.0.0.1:631/ipp/print\n"
                               "device for Bare: socket:10.0.0.1\n"
                               "device for Short:\n"
                               "\n";
    const QList<stPrinterInfo> list = discovery.ParseListing(strListing, false);
    ASSERT_EQ(Names(list), (QStringList{"Office", "Net", "Vs"}));
    EXPECT_EQ(list[0].strPort, "Vorn/VL2120DN?serial=ABC");
    EXPECT_EQ(list[1].strPort, "10.1.2.3");
    EXPECT_EQ(list[2].iConnectType, CONNECT_NETWORK);
    EXPECT_EQ(list[2].strPort, "host.lan");
}

TEST(CupsListing, TranslatedLineFindsTheUriInsideTheThirdField)
{
    const CupsQueueDiscovery discovery("/nonexistent/printers.conf", "/nonexistent/ppd");
    const QString strListing = QString::fromUtf8("用于 Office 的设备：usb://Vorn/VL2120DN?serial=ABC\n"
                                                 "用于 Net 的设备：vornsocket://10.0.0.9:9100\n"
                                                 "用于 Sock 的设备：SOCKET://h.lan\n"
                                                 "用于 Other 的设备：ipp://x\n"
                                                 "用于 Q\n");
    const QList<stPrinterInfo> list = discovery.ParseListing(strListing, false);
    ASSERT_EQ(Names(list), (QStringList{"Office", "Net", "Sock"}));
    EXPECT_EQ(list[0].iConnectType, CONNECT_USB);
    EXPECT_EQ(list[0].strURI, "usb://Vorn/VL2120DN?serial=ABC");
    EXPECT_EQ(list[0].strPort, "Vorn/VL2120DN?serial=ABC");
    EXPECT_EQ(list[1].strURI, "vornsocket://10.0.0.9:9100");
    EXPECT_EQ(list[1].strPort, "10.0.0.9");
    EXPECT_EQ(list[2].strPort, "h.lan");
}

TEST_F(CupsQueueDiscoveryTest, ListingWithDriverCheckKeepsOnlySupportedQueues)
{
    WritePpd("Office", "*ModelName: \"Vorn VL2120DN\"\n");
    const QList<stPrinterInfo> list =
        Discovery().ParseListing("device for Office: usb://Vorn/VL2120DN?serial=1\ndevice for Foreign: socket://h\n", true);
    ASSERT_EQ(Names(list), QStringList{"Office"});
    EXPECT_EQ(list[0].strModel, "Vorn VL2120DN");
}

TEST(CupsDeviceUri, RulesForEachScheme)
{
    stPrinterInfo info;
    EXPECT_TRUE(ApplyDeviceUri("usb://Vorn/VL2120DN?serial=1", info));
    EXPECT_EQ(info.strPort, "Vorn/VL2120DN?serial=1");
    InitStPrinterInfo(info);
    EXPECT_FALSE(ApplyDeviceUri("vornsocket:host", info));
    EXPECT_EQ(info.iConnectType, CONNECT_NETWORK);
    EXPECT_TRUE(info.strURI.isEmpty());
    EXPECT_TRUE(info.strPort.isEmpty());
    InitStPrinterInfo(info);
    EXPECT_FALSE(ApplyDeviceUri("lpd://host/queue", info));
    EXPECT_EQ(info.iConnectType, CONNECT_NONE);
    EXPECT_TRUE(ApplyDeviceUri("socket://[fe80::1]:9100", info)) << "the host ends at the first colon";
    EXPECT_EQ(info.strPort, "[fe80");
}
