// The printer list file as the service writes it and the other programs read it.
#include "PrinterListFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class PrinterListFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    PrinterListFile File() const { return PrinterListFile(m_dir.filePath("printerlist.ini")); }
    void WriteRaw(const QByteArray& baContent)
    {
        QFile file(m_dir.filePath("printerlist.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(baContent);
    }
    QTemporaryDir m_dir;
};

const QList<stPrinterInfo> c_listTwo = {
    stPrinterInfo{QString::fromUtf8("办公室"), "Vorn VL2120DN", CONNECT_USB, "Vorn/VL2120DN?serial=1", "usb://Vorn/VL2120DN?serial=1"},
    stPrinterInfo{"Net", "Vorn VM2300NW", CONNECT_NETWORK, "10.0.0.2", "socket://10.0.0.2:9100"},
};

} // namespace

TEST_F(PrinterListFileTest, MissingFileGivesAnEmptyList)
{
    EXPECT_TRUE(File().GetPrinterInfo().isEmpty());
}

TEST_F(PrinterListFileTest, WrittenListReadsBackWholeAndIsReadableByEveryone)
{
    ASSERT_TRUE(File().Write(c_listTwo));
    const QList<stPrinterInfo> list = File().GetPrinterInfo();
    ASSERT_EQ(list.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(list[i].strName, c_listTwo[i].strName);
        EXPECT_EQ(list[i].strModel, c_listTwo[i].strModel);
        EXPECT_EQ(list[i].iConnectType, c_listTwo[i].iConnectType);
        EXPECT_EQ(list[i].strPort, c_listTwo[i].strPort);
        EXPECT_EQ(list[i].strURI, c_listTwo[i].strURI);
    }
    EXPECT_EQ(QFileInfo(File().Path()).permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
}

TEST_F(PrinterListFileTest, UsbFilterKeepsOnlyUsbEntries)
{
    ASSERT_TRUE(File().Write(c_listTwo));
    const QList<stPrinterInfo> list = File().GetPrinterInfo(PrinterListFile::USB_PRINTERS_ONLY);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].iConnectType, CONNECT_USB);
}

TEST_F(PrinterListFileTest, ShrunkListKeepsOldGroupsButReadsOnlyCount)
{
    ASSERT_TRUE(File().Write(c_listTwo));
    ASSERT_TRUE(File().Write({c_listTwo[1]}));
    const QList<stPrinterInfo> list = File().GetPrinterInfo();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].strName, "Net");
}

TEST_F(PrinterListFileTest, MissingOrBrokenCountGivesAnEmptyList)
{
    WriteRaw("[printer_0]\nName=Q\nConnectType=1\n");
    EXPECT_TRUE(File().GetPrinterInfo().isEmpty());
    WriteRaw("[Main]\nCount=abc\n[printer_0]\nName=Q\n");
    EXPECT_TRUE(File().GetPrinterInfo().isEmpty());
    WriteRaw("[Main]\nCount=-4\n[printer_0]\nName=Q\n");
    EXPECT_TRUE(File().GetPrinterInfo().isEmpty());
}

TEST_F(PrinterListFileTest, MissingKeysGiveEmptyFieldsAndAHugeCountDoesNotRunAway)
{
    WriteRaw("[Main]\nCount=2000000000\n[printer_0]\nName=Q\n[printer_1]\nConnectType=x\n");
    const QList<stPrinterInfo> list = File().GetPrinterInfo();
    ASSERT_LE(list.size(), 3);
    ASSERT_GE(list.size(), 2);
    EXPECT_EQ(list[0].strName, "Q");
    EXPECT_EQ(list[0].iConnectType, CONNECT_NONE);
    EXPECT_TRUE(list[0].strURI.isEmpty());
    EXPECT_EQ(list[1].iConnectType, CONNECT_NONE);
}
