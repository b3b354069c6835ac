// Every text the maintenance tool shows outside its designer forms.
#pragma once

#include <QString>

namespace SettingTexts {

inline const QString c_strWindowTitle = QStringLiteral("Vorn激光打印工具");
inline const QString c_strOk = QStringLiteral("确  定");
inline const QString c_strNetTitle = QStringLiteral("网络配置");

inline const QString c_strSelectPrinter = QStringLiteral("请选择一个打印机进行操作！");
inline const QString c_strSelectUsbPrinter = QStringLiteral("请选择通过USB连接的打印机进行操作！");
inline const QString c_strUnsupportedModel = QStringLiteral("不支持该打印机型号！");
inline const QString c_strStatusQueryFailed = QStringLiteral("获取打印机联网方式失败！");
inline const QString c_strConnectFailed = QStringLiteral("连接打印机失败，请检查连接状态！");
inline const QString c_strCommunicationFailed = QStringLiteral("与打印机通信失败，请检查打印机状态并重新尝试！");
inline const QString c_strInterfaceInitFailed = QStringLiteral("设备接口初始化失败！");
inline const QString c_strUnknownError = QStringLiteral("未知错误！");
inline const QString c_strReadFailed = QStringLiteral("获取数据失败，请稍后重试！");
inline const QString c_strBadAddress = QStringLiteral("不正确的地址格式！");
inline const QString c_strWriteDone = QStringLiteral("设置成功，请等待打印机完成重连！");

} // namespace SettingTexts
