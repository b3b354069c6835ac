// Every text the firmware updater shows, in one place so the window and its tests agree on them.
#pragma once

#include <QString>

namespace FirmwareUpdateTexts {

inline const QString c_strWindowTitle = QStringLiteral("Vorn激光打印机升级助手");
inline const QString c_strChoosePrinter = QStringLiteral("选择您要升级的打印机：");
inline const QString c_strChooseFirmware = QStringLiteral("选择您要升级的固件：");
inline const QString c_strRefresh = QStringLiteral("刷新列表");
inline const QString c_strBrowse = QStringLiteral("浏览");
inline const QString c_strUpdate = QStringLiteral("一键升级");
inline const QString c_strHeaderName = QStringLiteral("打印机名称");
inline const QString c_strHeaderModel = QStringLiteral("打印机型号");
inline const QString c_strHeaderConnection = QStringLiteral("连接方式");
inline const QString c_strHeaderState = QStringLiteral("连接状态");

inline const QString c_strConnectionUsb = QStringLiteral("USB");
inline const QString c_strConnected = QStringLiteral("已连接");
inline const QString c_strNotConnected = QStringLiteral("未连接");

inline const QString c_strFileFilter = QStringLiteral("fls Files(*.fls)");
inline const QString c_strButtonOk = QStringLiteral("确  定");
inline const QString c_strButtonCancel = QStringLiteral("取  消");

inline const QString c_strNoPrinterSelected = QStringLiteral("请选择一个打印机进行操作！");
inline const QString c_strCheckFilePath = QStringLiteral("请检查文件路径！");
inline const QString c_strModelNotSupported = QStringLiteral("不支持该打印机型号！");
inline const QString c_strConfirmPrefix = QStringLiteral("是否升级打印机 ");
inline const QString c_strConfirmSuffix = QStringLiteral(" ？");

inline const QString c_strUpdateSent = QStringLiteral("操作成功，请等待打印机更新完成，更新过程中请勿断开电源。");
inline const QString c_strCommunicationFailed = QStringLiteral("与打印机通信失败，请检查打印机状态并重新尝试更新！");
inline const QString c_strReadFileFailed = QStringLiteral("读取升级文件失败，请检查文件状态！");
inline const QString c_strConnectFailed = QStringLiteral("连接打印机失败，请检查连接状态！");
inline const QString c_strInterfaceInitFailed = QStringLiteral("设备接口初始化失败！");
inline const QString c_strUnknownError = QStringLiteral("未知错误！");

// Shown beside the progress bar while an image goes out: bytes sent, total bytes.
inline const QString c_strProgressFormat = QStringLiteral("正在发送升级文件：%1 / %2 字节");

} // namespace FirmwareUpdateTexts
