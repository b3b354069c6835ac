// What vorn-printer-status tells a user from the files the service publishes: printers
// printing with a warning, with an error, off-line, and a service whose heartbeat is stale,
// in the text for people and in the JSON for scripts.
#include "PrinterListFile.h"
#include "PrinterStatusReport.h"
#include "StatusReportFormat.h"
#include "UtilPrinterStatus.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QDateTime c_now = QDateTime::fromString(QStringLiteral("2026-12-08T12:00:00"), Qt::ISODate);

constexpr uint8_t c_byReady = 0x00;
constexpr uint8_t c_byPrinting = 0x10;
constexpr uint16_t c_wFrontCoverOpen = 0x1106;
constexpr uint16_t c_wTonerLow = 0x110D;

const stPrinterInfo c_usbPrinter{"Vorn-VL2120DN-USB", "Vorn VL2120DN", CONNECT_USB, "Vorn/VL2120DN?serial=SN1",
                                 "usb://Vorn/VL2120DN?serial=SN1"};

struct stCase {
    const char* pszName;
    bool bStatusFile;
    uint8_t byStatus;
    QList<uint16_t> listError;
    QList<uint16_t> listWarning;
    unsigned long ulToner;
    // Expected lines of the printer's block and JSON facts.
    const char* pszState;
    const char* pszToner;
    const char* pszErrors;
    const char* pszWarnings;
    const char* pszStatusFile;
};

const stCase c_cases[] = {
    {"PrintingWithTonerLow", true, c_byPrinting, {}, {c_wTonerLow}, 1500,
     "Printing(Toner low)", "15.00%", "none", "Toner low", "7 s old"},
    // An error names the state, whatever the printer's own state code says.
    {"FrontCoverOpen", true, c_byReady, {c_wFrontCoverOpen}, {}, 8000,
     "Front cover open", "80.00%", "Front cover open", "none", "7 s old"},
    // The service deletes the status file of a printer that stopped answering.
    {"OffLine", false, 0, {}, {}, 0, "Off-line", "unknown", "none", "none", "none"},
    // A warning shows in the state only while printing; both conditions are listed.
    {"ReadyWithErrorAndWarning", true, c_byReady, {c_wFrontCoverOpen}, {c_wTonerLow}, 200,
     "Front cover open", "2.00%", "Front cover open", "Toner low", "7 s old"},
};

void PrintTo(const stCase& c, std::ostream* pStream)
{
    *pStream << c.pszName;
}

class StatusReportTest : public ::testing::TestWithParam<stCase> {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString Path(const QString& strName) const { return m_dir.filePath(strName); }

    void WriteFile(const QString& strName, const QByteArray& baContent, qint64 iAgeSecs)
    {
        QFile file(Path(strName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(baContent);
        // Unflushed bytes would renew the time stamp on close.
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(c_now.addSecs(-iAgeSecs), QFileDevice::FileModificationTime));
    }

    void Publish(const stCase& c, qint64 iHeartbeatAgeSecs)
    {
        ASSERT_TRUE(PrinterListFile(Path("printerlist.ini")).Write({c_usbPrinter}));
        WriteFile("service.hb", "[2026-12-08 11:59:57.000]", iHeartbeatAgeSecs);
        if (!c.bStatusFile)
            return;
        stStatusRecordFields fields;
        fields.byStatusCode = c.byStatus;
        fields.listErrorCode = c.listError;
        fields.listWarningCode = c.listWarning;
        fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, c.ulToner, 2)};
        WriteFile(c_usbPrinter.strName + ".dat", EncodeStatusRecord(fields), 7);
    }

    stStatusReport Read() const { return PrinterStatusReport(m_dir.path()).Read(c_now); }

    QTemporaryDir m_dir;
};

QString Line(const QString& strLabel, const char* pszValue)
{
    return QStringLiteral("  %1 %2\n").arg(strLabel + QLatin1Char(':'), -12).arg(QString::fromUtf8(pszValue));
}

} // namespace

TEST_P(StatusReportTest, TextNamesStateTonerConditionsAndAge)
{
    const stCase& c = GetParam();
    Publish(c, 3);
    const QString strText = FormatStatusText(Read(), LANGUAGE_ENGLISH);

    EXPECT_TRUE(strText.startsWith("service: running (heartbeat 3 s old)\n")) << qPrintable(strText);
    EXPECT_TRUE(strText.contains("\nVorn-VL2120DN-USB (Vorn VL2120DN)\n  connection:  USB\n")) << qPrintable(strText);
    EXPECT_TRUE(strText.contains(Line("state", c.pszState))) << qPrintable(strText);
    EXPECT_TRUE(strText.contains(Line("toner", c.pszToner))) << qPrintable(strText);
    EXPECT_TRUE(strText.contains(Line("errors", c.pszErrors))) << qPrintable(strText);
    EXPECT_TRUE(strText.contains(Line("warnings", c.pszWarnings))) << qPrintable(strText);
    EXPECT_TRUE(strText.contains(Line("status file", c.pszStatusFile))) << qPrintable(strText);
}

TEST_P(StatusReportTest, JsonCarriesTheSameFactsInBothLanguages)
{
    const stCase& c = GetParam();
    Publish(c, 3);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(FormatStatusJson(Read()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << qPrintable(error.errorString());

    EXPECT_TRUE(document["service"]["alive"].toBool());
    const QJsonArray arrayPrinter = document["printers"].toArray();
    ASSERT_EQ(arrayPrinter.size(), 1);
    const QJsonObject printer = arrayPrinter[0].toObject();
    EXPECT_EQ(printer["name"].toString(), c_usbPrinter.strName);
    EXPECT_EQ(printer["connection"].toString(), "usb");
    EXPECT_EQ(printer["online"].toBool(), c.bStatusFile);
    EXPECT_EQ(printer["summary"]["en"].toString(), QString::fromUtf8(c.pszState));
    EXPECT_EQ(printer["errors"].toArray().size(), c.listError.size());
    EXPECT_EQ(printer["warnings"].toArray().size(), c.listWarning.size());
    if (c.bStatusFile) {
        EXPECT_DOUBLE_EQ(printer["toner_percent"].toDouble(), c.ulToner / 100.0);
        EXPECT_EQ(printer["status_file_age_seconds"].toInt(), 7);
    } else {
        EXPECT_TRUE(printer["toner_percent"].isNull());
        EXPECT_TRUE(printer["status_file_age_seconds"].isNull());
    }
    if (!c.listError.isEmpty()) {
        EXPECT_EQ(printer["errors"][0]["code"].toInt(), int(ERR_FRONT_COVER_OPEN));
        EXPECT_EQ(printer["errors"][0]["text"]["zh"].toString(), QString::fromUtf8("前盖已打开"));
    }
}

INSTANTIATE_TEST_SUITE_P(Printers, StatusReportTest, ::testing::ValuesIn(c_cases),
                         [](const ::testing::TestParamInfo<stCase>& info) { return std::string(info.param.pszName); });

TEST_F(StatusReportTest, ChineseTextIsTheMonitorsRowText)
{
    Publish(c_cases[0], 3);
    const QString strText = FormatStatusText(Read(), LANGUAGE_CHINESE);
    EXPECT_TRUE(strText.contains(Line("state", "正在打印(碳粉不足)"))) << qPrintable(strText);
    EXPECT_TRUE(strText.contains(Line("connection", "USB"))) << qPrintable(strText);
}

// The watchdog restarts a service whose heartbeat is 10 s old; the command reports the same.
TEST_F(StatusReportTest, HeartbeatDecidesWhetherTheServiceIsAlive)
{
    struct stHeartbeat {
        bool bPresent;
        qint64 iAgeSecs;
        bool bAlive;
        const char* pszLine;
    };
    const stHeartbeat c_heartbeats[] = {
        {true, 9, true, "service: running (heartbeat 9 s old)\n"},
        {true, 10, false, "service: not responding (heartbeat 10 s old; stale at 10 s)\n"},
        {true, 600, false, "service: not responding (heartbeat 600 s old; stale at 10 s)\n"},
        // The clock was set back: the service still runs.
        {true, -30, true, "service: running (heartbeat 0 s old)\n"},
        {false, 0, false, "service: not running (no heartbeat in "},
    };
    for (const stHeartbeat& heartbeat : c_heartbeats) {
        Publish(c_cases[0], heartbeat.iAgeSecs);
        if (!heartbeat.bPresent) {
            ASSERT_TRUE(QFile::remove(Path("service.hb")));
        }
        const stStatusReport report = Read();
        EXPECT_EQ(report.IsServiceAlive(), heartbeat.bAlive) << heartbeat.iAgeSecs;
        EXPECT_TRUE(FormatStatusText(report, LANGUAGE_ENGLISH).startsWith(heartbeat.pszLine))
            << qPrintable(FormatStatusText(report, LANGUAGE_ENGLISH));
        const QJsonDocument document = QJsonDocument::fromJson(FormatStatusJson(report));
        EXPECT_EQ(document["service"]["alive"].toBool(), heartbeat.bAlive);
        EXPECT_EQ(document["service"]["heartbeat_age_seconds"].isNull(), !heartbeat.bPresent);
    }
}

TEST_F(StatusReportTest, DamagedStatusFileReadsAsOffLineAndNoListAsNothingPublished)
{
    EXPECT_TRUE(FormatStatusText(Read(), LANGUAGE_ENGLISH).contains("\nno printer list published yet\n"));

    Publish(c_cases[0], 3);
    WriteFile(c_usbPrinter.strName + ".dat", QByteArray(7, '\0'), 1);
    const stStatusReport report = Read();
    ASSERT_EQ(report.listPrinter.size(), 1);
    EXPECT_FALSE(report.listPrinter[0].bHasStatus);
    EXPECT_TRUE(FormatStatusText(report, LANGUAGE_ENGLISH).contains(Line("state", "Off-line")));
}
