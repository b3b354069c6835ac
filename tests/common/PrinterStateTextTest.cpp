// The texts a user reads for a printer: table lookups, the choice between error, state and
// warning, the toner figure and the connection column.
#include "PrinterStateText.h"

#include <gtest/gtest.h>

TEST(StatusTexts, LookUpByCodeAndLanguage)
{
    EXPECT_EQ(GetStatusText(PS_OFFLINE, LANGUAGE_CHINESE), "脱机");
    EXPECT_EQ(GetStatusText(PS_OFFLINE, LANGUAGE_ENGLISH), "Off-line");
    EXPECT_EQ(GetStatusText(PS_REPORTING, LANGUAGE_CHINESE), "正在打印报告");
    EXPECT_EQ(GetErrorDescText(ERR_TONER_EMPTY_CONTINUE, LANGUAGE_CHINESE), "碳粉已用完，继续打印将影响质量");
    EXPECT_EQ(GetErrorDescText(ERR_UNKNOWN, LANGUAGE_CHINESE), "错误状态未知");
    EXPECT_EQ(GetErrorDescText(ERR_IP_CONFLICT, LANGUAGE_ENGLISH), "IP conflict");
    // Two codes share their Chinese text; the English one still tells them apart.
    EXPECT_EQ(GetErrorDescText(ERR_TONER_LOW, LANGUAGE_CHINESE), GetErrorDescText(ERR_TONER_RUNNING_OUT, LANGUAGE_CHINESE));
    EXPECT_NE(GetErrorDescText(ERR_TONER_LOW, LANGUAGE_ENGLISH), GetErrorDescText(ERR_TONER_RUNNING_OUT, LANGUAGE_ENGLISH));
}

TEST(StatusTexts, EveryChineseTextIsSetAndUsesFullWidthPunctuation)
{
    using namespace UtilLanguageCtrl;
    auto check = [](const QString* pTable, int iRows) {
        for (int i = 0; i < iRows; ++i) {
            const QString& strEnglish = pTable[c_iLanguageCount * i + LANGUAGE_ENGLISH];
            const QString& strChinese = pTable[c_iLanguageCount * i + LANGUAGE_CHINESE];
            EXPECT_FALSE(strEnglish.isEmpty()) << i;
            EXPECT_FALSE(strChinese.isEmpty()) << i;
            EXPECT_FALSE(strChinese.contains(',') || strChinese.contains('!')) << i;
            EXPECT_TRUE(strChinese.toUtf8() != strChinese.toLatin1()) << "not Chinese: " << i;
        }
    };
    check(c_strStatusLanguageText, c_iStatusCodeCount);
    check(c_strErrorDescText, c_iErrorCodeCount);
}

TEST(StatusTexts, CodesOutsideTheTablesReadAsUnknownInsteadOfPastTheEnd)
{
    EXPECT_EQ(GetStatusText(12, LANGUAGE_CHINESE), "未知");
    EXPECT_EQ(GetStatusText(-1, LANGUAGE_ENGLISH), "Unknown");
    EXPECT_EQ(GetErrorDescText(45, LANGUAGE_CHINESE), "错误状态未知");
    EXPECT_EQ(GetErrorDescText(ERR_FIXER, 7), "定影器错误");
}

namespace {

stPrinterState State(enPrinterStatus enStatus, QList<enErrorStatus> listError, QList<enErrorStatus> listWarning)
{
    stPrinterState state;
    state.enCurrentStatus = enStatus;
    state.listError = listError;
    state.listWarning = listWarning;
    state.iNumberOfError = listError.size();
    state.iNumberOfWarning = listWarning.size();
    return state;
}

} // namespace

TEST(StatusPresentation, ErrorFirstThenStateWithWarningInParenthesesOnlyWhilePrinting)
{
    struct stCase {
        const char* szWhat;
        stPrinterState state;
        const char* szText;
        enBalloonKind enBalloon;
        const char* szBalloon;
    };
    const stCase cases[] = {
        {"first error wins over state and warning",
         State(PS_PRINTING, {ERR_FRONT_COVER_OPEN, ERR_PRINTER_LIFE_NEAR_END}, {ERR_TONER_LOW}),
         "前盖已打开", BALLOON_CRITICAL, "前盖已打开"},
        {"warning while printing", State(PS_PRINTING, {}, {ERR_TONER_LOW, ERR_TRAY_EMPTY}),
         "正在打印(碳粉不足)", BALLOON_WARNING, "碳粉不足"},
        {"warning while ready stays out of the column", State(PS_READY, {}, {ERR_TONER_LOW}),
         "就绪", BALLOON_WARNING, "碳粉不足"},
        {"warning while copying stays out of the column", State(PS_COPYING, {}, {ERR_WASTE_TONER_NEAR_FULL}),
         "正在复印", BALLOON_WARNING, "废粉箱将满"},
        {"plain state", State(PS_READY, {}, {}), "就绪", BALLOON_NONE, ""},
        {"off-line", State(PS_OFFLINE, {}, {}), "脱机", BALLOON_NONE, ""},
        {"unknown error code", State(PS_READY, {ERR_UNKNOWN}, {}), "错误状态未知", BALLOON_CRITICAL, "错误状态未知"},
    };
    for (const stCase& c : cases) {
        const stStatusPresentation p = DescribePrinterState(c.state, LANGUAGE_CHINESE);
        EXPECT_EQ(p.strStatusText, QString::fromUtf8(c.szText)) << c.szWhat;
        EXPECT_EQ(p.enBalloon, c.enBalloon) << c.szWhat;
        EXPECT_EQ(p.strBalloonMessage, QString::fromUtf8(c.szBalloon)) << c.szWhat;
    }
    EXPECT_EQ(DescribePrinterState(State(PS_PRINTING, {}, {ERR_TONER_LOW}), LANGUAGE_ENGLISH).strStatusText,
              "Printing(Toner low)");
}

TEST(StatusPresentation, TonerInHundredthsOfAPercentWithTwoDecimals)
{
    const std::pair<unsigned long, const char*> cases[] = {
        {7532, "75.32%"}, {10000, "100.00%"}, {0, "0.00%"}, {5, "0.05%"}, {99999, "999.99%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatRemainingToner(c.first), c.second) << c.first;
}

TEST(StatusPresentation, ConnectionColumnNamesUsbOrTheNetworkPort)
{
    stPrinterInfo info;
    info.strPort = QStringLiteral("192.168.7.20");
    info.iConnectType = CONNECT_USB;
    EXPECT_EQ(FormatConnectType(info), "USB");
    info.iConnectType = CONNECT_NETWORK;
    EXPECT_EQ(FormatConnectType(info), "网络(192.168.7.20)");
    // Whatever the list file says that is not USB reads as a network connection.
    info.iConnectType = 7;
    info.strPort.clear();
    EXPECT_EQ(FormatConnectType(info), "网络()");
}
