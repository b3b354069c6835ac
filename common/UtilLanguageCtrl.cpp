// The state and condition text tables, fixed at build time.
#include "UtilLanguageCtrl.h"

using namespace UtilLanguageCtrl;

const QString c_strStatusLanguageText[c_iStatusCodeCount * c_iLanguageCount] = {
    QStringLiteral("Unknown"), QStringLiteral("未知"),
    QStringLiteral("Version mismatch"), QStringLiteral("数据格式错误或版本不匹配"),
    QStringLiteral("Off-line"), QStringLiteral("脱机"),
    QStringLiteral("Ready"), QStringLiteral("就绪"),
    QStringLiteral("Initialize"), QStringLiteral("初始化"),
    QStringLiteral("Busy"), QStringLiteral("忙碌"),
    QStringLiteral("Canceling job"), QStringLiteral("正在取消任务"),
    QStringLiteral("Error"), QStringLiteral("错误"),
    QStringLiteral("Printing"), QStringLiteral("正在打印"),
    QStringLiteral("Scanning"), QStringLiteral("正在扫描"),
    QStringLiteral("Copying"), QStringLiteral("正在复印"),
    QStringLiteral("Reporting"), QStringLiteral("正在打印报告"),
};

const QString c_strErrorDescText[c_iErrorCodeCount * c_iLanguageCount] = {
    QStringLiteral("Unknown error status"), QStringLiteral("错误状态未知"),
    QStringLiteral("Fixer error"), QStringLiteral("定影器错误"),
    QStringLiteral("Laser damage"), QStringLiteral("激光损坏"),
    QStringLiteral("No scanner detected"), QStringLiteral("未检测到扫描仪"),
    QStringLiteral("Printer breakdown"), QStringLiteral("打印机故障"),
    QStringLiteral("High temperature printer"), QStringLiteral("打印机温度较高"),
    QStringLiteral("Front cover open"), QStringLiteral("前盖已打开"),
    QStringLiteral("Cartridge with an unsupported serial number inserted"), QStringLiteral("插入了不支持的序列号的碳粉盒"),
    QStringLiteral("Printer and cartridge do not match"), QStringLiteral("打印机和碳粉盒不匹配"),
    QStringLiteral("Toner cartridge is invalid"), QStringLiteral("碳粉盒无效"),
    QStringLiteral("Cartridge error"), QStringLiteral("碳粉盒错误"),
    QStringLiteral("Toner low"), QStringLiteral("碳粉不足"),
    QStringLiteral("Toner empty, low quality"), QStringLiteral("碳粉已用完，继续打印将影响质量"),
    QStringLiteral("Toner empty, replace cartridge"), QStringLiteral("碳粉已用完，请更换碳粉盒"),
    QStringLiteral("Toner is running out"), QStringLiteral("碳粉不足"),
    QStringLiteral("Cartridge will be full"), QStringLiteral("碳粉盒寿命将要耗尽"),
    QStringLiteral("Cartridge's life is full"), QStringLiteral("碳粉盒寿命已耗尽"),
    QStringLiteral("No toner cartridge is placed"), QStringLiteral("没有检测到碳粉盒"),
    QStringLiteral("The waste toner will be full"), QStringLiteral("废粉箱将满"),
    QStringLiteral("The waste toner full"), QStringLiteral("废粉箱已满"),
    QStringLiteral("Cartridge printing paper near the upper limit"), QStringLiteral("碳粉盒打印页数将达到极限"),
    QStringLiteral("Cartridge prints page limit reached"), QStringLiteral("打印页数已达到极限"),
    QStringLiteral("The printer will exceed the design life!"), QStringLiteral("本机将要超过设计寿命！"),
    QStringLiteral("The printer has exceeded the design life!"), QStringLiteral("本机已超过设计寿命！"),
    QStringLiteral("Printer memory overflow"), QStringLiteral("设备内存不足"),
    QStringLiteral("Cooling"), QStringLiteral("设备温度太高"),
    QStringLiteral("ADF paper jam"), QStringLiteral("ADF卡纸"),
    QStringLiteral("ADF no paper"), QStringLiteral("ADF中无纸"),
    QStringLiteral("ADF feed failed"), QStringLiteral("ADF抽纸失败"),
    QStringLiteral("Invalid setting error"), QStringLiteral("设置无效"),
    QStringLiteral("Paper tray is empty"), QStringLiteral("纸盘中无纸"),
    QStringLiteral("Manual feeder does not put paper"), QStringLiteral("手动进纸器中无纸"),
    QStringLiteral("Manual feeder stop"), QStringLiteral("手动进纸器异常"),
    QStringLiteral("Tray does not match"), QStringLiteral("纸张来源不匹配"),
    QStringLiteral("Paper jam inside"), QStringLiteral("设备内卡纸"),
    QStringLiteral("Paper jam in tray"), QStringLiteral("纸盒内卡纸"),
    QStringLiteral("Paper jam rear"), QStringLiteral("设备后部卡纸"),
    QStringLiteral("Paper size does not match"), QStringLiteral("纸张尺寸不匹配"),
    QStringLiteral("Initial setup error"), QStringLiteral("初始设置错误"),
    QStringLiteral("Tablet scan error"), QStringLiteral("平板扫描出错"),
    QStringLiteral("ADF scan without paper"), QStringLiteral("ADF无纸"),
    QStringLiteral("File size exceeds limit"), QStringLiteral("文件大小超过限制"),
    QStringLiteral("Printer breakdown"), QStringLiteral("打印机故障"),
    QStringLiteral("IP settings error"), QStringLiteral("IP设置错误"),
    QStringLiteral("IP conflict"), QStringLiteral("IP地址冲突"),
};

namespace {

const QString& LookUp(const QString* pTable, int iRowCount, int iCode, int iLanguage)
{
    if (iCode < 0 || iCode >= iRowCount)
        iCode = 0;
    if (iLanguage != LANGUAGE_ENGLISH)
        iLanguage = LANGUAGE_CHINESE;
    return pTable[c_iLanguageCount * iCode + iLanguage];
}

} // namespace

QString GetStatusText(int iStatus, int iLanguage)
{
    return LookUp(c_strStatusLanguageText, c_iStatusCodeCount, iStatus, iLanguage);
}

QString GetErrorDescText(int iError, int iLanguage)
{
    return LookUp(c_strErrorDescText, c_iErrorCodeCount, iError, iLanguage);
}
