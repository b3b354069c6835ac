// The model-table tool and the udev rules the build generates from it: every model of the
// table, and only those, reaches the desktop user.
#include "ModelTable.h"
#include "UtilProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const QByteArray& baText)
{
    return QString::fromUtf8(baText).split('\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(ModelTableTool, PrintsEveryRowTabSeparatedWithHexIds)
{
    const stProcessResult result = UtilProcess::Run(VORN_MODEL_TABLE_TOOL, {});
    ASSERT_EQ(result.iExitCode, 0);
    const QStringList listLines = Lines(result.baStdout);
    ASSERT_EQ(listLines.size(), c_iModelCount);
    for (int i = 0; i < c_iModelCount; ++i) {
        const stModelEntry& entry = c_stModelInfoList[i];
        const QStringList listFields = listLines[i].split('\t');
        ASSERT_EQ(listFields.size(), 5) << qPrintable(listLines[i]);
        EXPECT_EQ(listFields[0], entry.strModelCode);
        EXPECT_EQ(listFields[1], entry.strModelName);
        EXPECT_EQ(listFields[2], entry.strPPDFile);
        EXPECT_TRUE(QRegularExpression("^0x[0-9a-f]{4}$").match(listFields[3]).hasMatch());
        EXPECT_EQ(listFields[3].toInt(nullptr, 16), entry.iVendorID);
        EXPECT_EQ(listFields[4].toInt(nullptr, 16), entry.iProductID);
    }
}

TEST(ModelTableTool, NetworkOptionPrintsTheNetworkTableAndBadOptionsFail)
{
    const stProcessResult result = UtilProcess::Run(VORN_MODEL_TABLE_TOOL, {"--network"});
    ASSERT_EQ(result.iExitCode, 0);
    const QStringList listLines = Lines(result.baStdout);
    ASSERT_EQ(listLines.size(), int(NetworkModelInfoList().size()));
    for (const QString& strLine : listLines)
        EXPECT_TRUE(IsNetworkModel(strLine.section('\t', 0, 0))) << qPrintable(strLine);

    const stProcessResult bad = UtilProcess::Run(VORN_MODEL_TABLE_TOOL, {"--bogus"});
    EXPECT_EQ(bad.iExitCode, 2);
    EXPECT_TRUE(bad.baStdout.isEmpty());
}

TEST(ModelTableTool, UdevRulesTagEveryModelForTheDesktopUser)
{
    QFile rules(VORN_UDEV_RULES_FILE);
    ASSERT_TRUE(rules.open(QIODevice::ReadOnly));
    const QRegularExpression reRule(
        "^SUBSYSTEM==\"usb\", ENV\\{DEVTYPE\\}==\"usb_device\", ATTR\\{idVendor\\}==\"([0-9a-f]{4})\", "
        "ATTR\\{idProduct\\}==\"([0-9a-f]{4})\", TAG\\+=\"uaccess\"$");
    QSet<int> setProducts;
    for (const QString& strLine : Lines(rules.readAll())) {
        if (strLine.startsWith('#'))
            continue;
        const QRegularExpressionMatch match = reRule.match(strLine);
        ASSERT_TRUE(match.hasMatch()) << qPrintable(strLine);
        EXPECT_EQ(match.captured(1).toInt(nullptr, 16), c_iVendorID);
        setProducts.insert(match.captured(2).toInt(nullptr, 16));
    }
    QSet<int> setExpected;
    for (const stModelEntry& entry : c_stModelInfoList)
        setExpected.insert(entry.iProductID);
    EXPECT_EQ(setProducts, setExpected);
}
